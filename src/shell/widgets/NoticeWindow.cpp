#include "NoticeWindow.h"

#include <QScreen>

#include "Skin.h"
#include "Twips.h"

NoticeWindow::NoticeWindow(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Form4"));
    Label1->setObjectName(QStringLiteral("Label1"));
    setFixedSize(Twips::toPx(QSize(4680, 1020), this));
    Twips::setGeometry(Label1, 240, 240, 4200, 540);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setWordWrap(true);

    // Over the window that asked for it, or in the middle of the screen.
    QRect area;
    if (parent)
        area = parent->window()->frameGeometry();
    else if (const QScreen *screen = this->screen())
        area = screen->availableGeometry();
    if (area.isValid())
        move(area.center() - rect().center());

    Form_Load();
}

void NoticeWindow::Form_Load()
{
    setWindowTitle(QStringLiteral("Oops!"));
    Label1->setText(QStringLiteral("You must first select a cam from the list."));
    SkinDialog(this);
}
