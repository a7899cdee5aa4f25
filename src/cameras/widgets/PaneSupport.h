#pragma once

// What the main window and its panes share.

#include <exception>
#include <initializer_list>
#include <memory>

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QPromise>
#include <QPushButton>
#include <QString>
#include <QThreadPool>

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

// Runs work on the shared thread pool and hands its result to done on
// context's thread, unless context has gone by then.
template <typename T, typename Work, typename Done>
void offThread(QObject *context, Work work, Done done)
{
    auto promise = std::make_shared<QPromise<T>>();
    auto *watcher = new QFutureWatcher<T>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, context,
                     [watcher, done = std::move(done)] {
                         if (watcher->future().resultCount() > 0)
                             done(watcher->future().result());
                         watcher->deleteLater();
                     });
    watcher->setFuture(promise->future());
    promise->start();
    QThreadPool::globalInstance()->start([promise, work = std::move(work)]() mutable {
        promise->addResult(work());
        promise->finish();
    });
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
