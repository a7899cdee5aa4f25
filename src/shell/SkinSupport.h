#pragma once

#include <QList>
#include <QPointer>

class QObject;

// Stands in for the skin support component that came with the original skin
// engine. Nothing on this platform needs what it did, so its three calls only
// note that they were made; the order of calls around it is kept.
class SkinSupport
{
public:
    // The one component, made on first use and kept for the whole run.
    static SkinSupport &instance();
    static bool exists();

    // Handed the program skin's support object while the splash window loads.
    void slot8(QObject *skinObject);
    // Called right after slot8.
    void slot11();
    // Called at start-up of the main window on systems that need it, and when
    // the main window closes.
    void slot12();

    // The slots called so far, in order (8, 11, 12).
    const QList<int> &calls() const { return m_calls; }
    void clearCalls() { m_calls.clear(); }

private:
    SkinSupport() = default;

    QPointer<QObject> m_skinObject;
    QList<int> m_calls;
};
