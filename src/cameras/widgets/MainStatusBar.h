#pragma once

#include <QStatusBar>

class ValueLabel;

// StatusBar1: one panel, StatusBar1_Panel1, across the window's foot, where
// every part of the program says what happened last. Camera text reaches it,
// so control characters and markup are shown, not obeyed.
class MainStatusBar : public QStatusBar
{
    Q_OBJECT
public:
    explicit MainStatusBar(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const;
    // While the window is minimised the text is only kept: every change of a
    // label posts layout work, and downloads change it many times a second.
    void setHeld(bool held);

    // The panel spans the whole bar: it stretches with it, so a fixed width
    // that would keep the window from shrinking is not needed.
    void fitPanel();

private:
    ValueLabel *m_panel = nullptr;
    bool m_held = false;
    QString m_heldText;
};
