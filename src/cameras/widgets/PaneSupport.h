#pragma once

// What the main window and its panes share.

#include <exception>
#include <initializer_list>
#include <memory>

#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QString>

#include "OffThread.h"

// Runs one event handler to its end; nothing it throws may reach the event
// loop. What stopped it is handed to say, which puts it before the user.
template <typename Say, typename Handler>
void guarded(Say &&say, Handler &&handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        say(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        say(QObject::tr("An unexpected error stopped the last command."));
    }
}

// A window loaded on its first request and unloaded when closed: made when
// it is not loaded, then shown on top.
template <typename Window, typename... Args>
Window *showLoaded(QPointer<Window> &window, Args &&...args)
{
    if (!window)
        window = new Window(std::forward<Args>(args)...);
    window->show();
    window->raise();
    return window;
}

// Closes and unloads the loaded ones among windows, in their order.
inline void unloadWindows(std::initializer_list<QWidget *> windows)
{
    for (QWidget *window : windows) {
        if (!window)
            continue;
        window->close();
        delete window;
    }
}

// A button named for the program and the tests, with its tooltip when it has one.
inline QPushButton *makeButton(const QString &name, const QString &caption, const QString &tip,
                               QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    if (!tip.isEmpty())
        button->setToolTip(tip);
    return button;
}
