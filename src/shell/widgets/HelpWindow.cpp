#include "HelpWindow.h"

#include <QScreen>

#include "AppInfo.h"
#include "RtfReader.h"
#include "Settings.h"
#include "Skin.h"
#include "Twips.h"
#include "WindowUtils.h"

HelpWindow::HelpWindow(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Form8"));
    rtf1->setObjectName(QStringLiteral("rtf1"));
    Check1->setObjectName(QStringLiteral("Check1"));
    setWindowTitle(QStringLiteral("Readme/Help"));

    setFixedSize(Twips::toPx(QSize(ClientWidth, ClientHeight), this));
    // The text fills the window above the check box.
    Twips::setGeometry(rtf1, 0, 0, ClientWidth, 7560);
    Twips::setGeometry(Check1, 60, 7620, 1995, 255);
    Check1->setText(QStringLiteral("Show at Startup"));
    rtf1->setOpenLinks(false);
    // Only a user's click stores the setting, not Form_Load setting the box.
    connect(Check1, &QCheckBox::clicked, this, &HelpWindow::Check1_Click);

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    Form_Load();
}

bool HelpWindow::Form_Load()
{
    if (Skin::skinningSwitch())
        SkinForm(this);
    const QString path = AppInfo::helpFile();
    m_hasHelpText = WindowUtils::FileExists(path);
    if (!m_hasHelpText) {
        hide();
        return false;
    }
    // A damaged file still shows what could be read of it.
    RtfReader().readFile(path, rtf1->document());
    rtf1->document()->setDocumentMargin(10);
    rtf1->moveCursor(QTextCursor::Start);
    WindowUtils::SetOnTop(this, true);
    setCheckFromSetting();
    return true;
}

void HelpWindow::setVisible(bool visible)
{
    if (visible && !m_hasHelpText)
        return;
    QWidget::setVisible(visible);
}

void HelpWindow::setCheckFromSetting()
{
    // A text that is neither 0 nor 1 leaves the box as it is.
    if (const std::optional<bool> shown = Settings::showHelp())
        Check1->setChecked(*shown);
}

void HelpWindow::Check1_Click()
{
    if (!Settings::setShowHelp(Check1->isChecked())) {
        // Not stored: the box goes back to what the next start will really do.
        setCheckFromSetting();
    }
}
