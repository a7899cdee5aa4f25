#pragma once

#include <QList>
#include <QPointer>

class QObject;

// Stands in for a skin support component this platform does not need: its
// three calls only note that they were made, so the order of the calls around
// it can still be checked.
class SkinSupport
{
public:
    // The one component, made on first use and kept for the whole run.
    static SkinSupport &instance();
    static bool exists();

    // Handed the program skin's support object while the splash window loads.
    void adoptSkinObject(QObject *skinObject);
    // Called right after adoptSkinObject.
    void afterSkinObject();
    // Called at start-up of the main window on systems that need it, and when
    // the main window closes.
    void refreshSkin();

    // The slots called so far, in order (8, 11, 12).
    const QList<int> &calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }

private:
    SkinSupport() = default;

    QPointer<QObject> m_skinObject;
    QList<int> m_calls;
};
