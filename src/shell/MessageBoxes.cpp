#include "MessageBoxes.h"

namespace {
MessageBoxes::Asker &installedAsker()
{
    static MessageBoxes::Asker asker;
    return asker;
}
} // namespace

QMessageBox::StandardButton MessageBoxes::ask(QWidget *parent, const Request &request)
{
    if (installedAsker())
        return installedAsker()(request);
    QMessageBox box(request.icon, request.title, request.text, request.buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

MessageBoxes::Asker MessageBoxes::setAsker(Asker asker)
{
    Asker previous = std::move(installedAsker());
    installedAsker() = std::move(asker);
    return previous;
}
