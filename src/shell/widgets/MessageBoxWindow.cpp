#include "MessageBoxWindow.h"

#include <QMessageBox>

// The button and icon values are the toolkit's own; a box that shows another
// button than asked for would be a quiet, dangerous mistake.
static_assert(int(MessageBoxes::Ok) == int(QMessageBox::Ok));
static_assert(int(MessageBoxes::Yes) == int(QMessageBox::Yes));
static_assert(int(MessageBoxes::No) == int(QMessageBox::No));
static_assert(int(MessageBoxes::Abort) == int(QMessageBox::Abort));
static_assert(int(MessageBoxes::Retry) == int(QMessageBox::Retry));
static_assert(int(MessageBoxes::Ignore) == int(QMessageBox::Ignore));
static_assert(int(MessageBoxes::Cancel) == int(QMessageBox::Cancel));
static_assert(int(MessageBoxes::Critical) == int(QMessageBox::Critical));
static_assert(int(MessageBoxes::Question) == int(QMessageBox::Question));

namespace MessageBoxWindow {

MessageBoxes::Button show(QWidget *parent, const MessageBoxes::Request &request)
{
    QMessageBox box(QMessageBox::Icon(request.icon), request.title, request.text,
                    QMessageBox::StandardButtons(request.buttons.toInt()), parent);
    if (!request.details.isEmpty())
        box.setDetailedText(request.details);
    return MessageBoxes::Button(box.exec());
}

void install()
{
    MessageBoxes::setPresenter(show);
}

} // namespace MessageBoxWindow
