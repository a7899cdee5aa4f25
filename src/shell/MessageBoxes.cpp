#include "MessageBoxes.h"

namespace {
MessageBoxes::Asker &installedAsker()
{
    static MessageBoxes::Asker asker;
    return asker;
}

MessageBoxes::Presenter &installedPresenter()
{
    static MessageBoxes::Presenter presenter;
    return presenter;
}
} // namespace

MessageBoxes::Button MessageBoxes::ask(QWidget *parent, const Request &request)
{
    if (installedAsker())
        return installedAsker()(request);
    if (installedPresenter())
        return installedPresenter()(parent, request);
    return carefulAnswer(request);
}

MessageBoxes::Button MessageBoxes::ask(QWidget *parent, const QString &title, const QString &text,
                                       Buttons buttons, Icon icon)
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

MessageBoxes::Presenter MessageBoxes::setPresenter(Presenter presenter)
{
    Presenter previous = std::move(installedPresenter());
    installedPresenter() = std::move(presenter);
    return previous;
}

MessageBoxes::Button MessageBoxes::carefulAnswer(const Request &request)
{
    for (const Button careful : {Abort, Cancel, No, Ok}) {
        if (request.buttons.testFlag(careful))
            return careful;
    }
    return NoButton;
}
