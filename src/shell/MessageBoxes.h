#pragma once

#include <functional>

#include <QMessageBox>
#include <QString>

class QWidget;

// Every message box of the program goes through here, so that tests can answer
// them without a modal loop. Production shows a real QMessageBox.
class MessageBoxes
{
public:
    struct Request
    {
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        // What exactly went wrong (the file and the reason), behind the box's
        // "Show Details..." button, so a fixed text can still say which file.
        QString details;
    };
    using Asker = std::function<QMessageBox::StandardButton(const Request &)>;

    // Shows the box (or asks the installed asker) and returns the button pressed.
    static QMessageBox::StandardButton ask(QWidget *parent, const Request &request);
    // The same for a box without details.
    static QMessageBox::StandardButton ask(QWidget *parent, const QString &title,
                                           const QString &text,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::Icon icon);

    // Replaces the real boxes; an empty asker restores them. Returns the previous one.
    static Asker setAsker(Asker asker);
};
