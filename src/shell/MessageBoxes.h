#pragma once

#include <functional>

#include <QFlags>
#include <QString>

class QWidget;

// Every message box of the program goes through here, so that tests can answer
// them without a modal loop and a program without windows can answer them on
// its own. The program with windows installs a presenter that shows a real box.
class MessageBoxes
{
public:
    // The buttons a box can carry, with the values the widget toolkit uses.
    enum Button {
        NoButton = 0x00000000,
        Ok = 0x00000400,
        Yes = 0x00004000,
        No = 0x00010000,
        Abort = 0x00040000,
        Retry = 0x00080000,
        Ignore = 0x00100000,
        Cancel = 0x00400000,
    };
    Q_DECLARE_FLAGS(Buttons, Button)
    enum Icon { NoIcon = 0, Information = 1, Warning = 2, Critical = 3, Question = 4 };

    struct Request
    {
        QString title;
        QString text;
        Buttons buttons = Ok;
        Icon icon = NoIcon;
        // What exactly went wrong (the file and the reason), behind the box's
        // "Show Details..." button, so a fixed text can still say which file.
        QString details;
    };
    using Asker = std::function<Button(const Request &)>;
    using Presenter = std::function<Button(QWidget *parent, const Request &)>;

    // Asks the installed asker, else shows the box through the presenter, else
    // answers carefulAnswer(); returns the button pressed.
    static Button ask(QWidget *parent, const Request &request);
    // The same for a box without details.
    static Button ask(QWidget *parent, const QString &title, const QString &text, Buttons buttons,
                      Icon icon);

    // Replaces the boxes (tests, a console); an empty asker restores them.
    // Returns the previous one.
    static Asker setAsker(Asker asker);
    // How a box is really shown; the program with windows installs one.
    // Returns the previous one.
    static Presenter setPresenter(Presenter presenter);

    // The answer when nobody can press a button: Abort, Cancel, No or Ok,
    // whichever the box has first in that order; NoButton otherwise.
    static Button carefulAnswer(const Request &request);
};

Q_DECLARE_OPERATORS_FOR_FLAGS(MessageBoxes::Buttons)
