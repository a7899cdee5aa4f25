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
    if (!request.details.isEmpty())
        box.setDetailedText(request.details);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton MessageBoxes::ask(QWidget *parent, const QString &title,
                                              const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::Icon icon)
{
    Request request;
    request.title = title;
    request.text = text;
    request.buttons = buttons;
    request.icon = icon;
    return ask(parent, request);
}

MessageBoxes::Asker MessageBoxes::setAsker(Asker asker)
{
    Asker previous = std::move(installedAsker());
    installedAsker() = std::move(asker);
    return previous;
}
