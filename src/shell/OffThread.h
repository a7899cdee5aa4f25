#pragma once

#include <memory>

#include <QFutureWatcher>
#include <QObject>
#include <QPromise>
#include <QThreadPool>

// Runs work on the shared thread pool and hands its result to done on
// context's thread, unless context has gone by then. The worker only ever
// touches the promise, so context may be deleted at any moment.
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
