#pragma once

#include <QCheckBox>
#include <QTextBrowser>
#include <QWidget>

// The help window (Form8, "Readme/Help"): shows Help.rtf (AppInfo::helpFile:
// the program directory's, else an installed program's own) above the "Show
// at Startup" check box, which mirrors the per-user setting "showHelp".
// Without a Help.rtf the window never shows: requests to show it are ignored.
// Deleted when closed; hold it in a QPointer.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    // The client area, in twips.
    static constexpr int ClientWidth = 10290;
    static constexpr int ClientHeight = 7920;

    // Runs Form_Load.
    explicit HelpWindow(QWidget *parent = nullptr);

    // Loads Help.rtf into rtf1, keeps the window on top and sets Check1 from
    // "showHelp". Returns whether there was a help text, that is whether the
    // window may be shown; every step runs even when one before it failed.
    bool Form_Load();
    bool hasHelpText() const { return m_hasHelpText; }

    // Showing is refused while there is no help text.
    void setVisible(bool visible) override;

    QTextBrowser *const rtf1 = new QTextBrowser(this);
    QCheckBox *const Check1 = new QCheckBox(this);

private:
    void Check1_Click();
    void setCheckFromSetting();

    bool m_hasHelpText = false;
};
