#include "EventLoopProbe.h"

#include <algorithm>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>

EventLoopProbe::EventLoopProbe(QObject *parent)
    : QObject(parent)
    , m_reportTimer(new QTimer(this))
{
    // Rewritten once a second rather than at exit, so a benchmark that ends
    // the program with a signal still finds the figures.
    m_reportTimer->setInterval(1000);
    connect(m_reportTimer, &QTimer::timeout, this, &EventLoopProbe::writeReport);
}

void EventLoopProbe::start(int intervalMs)
{
    m_intervalNs = qint64(std::max(1, intervalMs)) * 1'000'000;
    m_clock.start();
    m_nextTickNs = m_intervalNs;
    m_busySinceNs = -1;
    if (m_running)
        return;
    m_running = true;
    // Every event of this thread passes the application's filters; the
    // dispatcher tells when the thread is done and about to wait again. The
    // glib dispatcher says "awake" after handling what woke it, the plain one
    // "about to block": either ends the stretch.
    QCoreApplication::instance()->installEventFilter(this);
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, &EventLoopProbe::goesToWait,
                Qt::DirectConnection);
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &EventLoopProbe::goesToWait, Qt::DirectConnection);
    }
    if (!m_reportPath.isEmpty())
        m_reportTimer->start();
}

void EventLoopProbe::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_reportTimer->stop();
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeEventFilter(this);
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(thread()))
        disconnect(dispatcher, nullptr, this, nullptr);
}

bool EventLoopProbe::eventFilter(QObject *, QEvent *)
{
    if (m_busySinceNs < 0 && m_running)
        m_busySinceNs = m_clock.nsecsElapsed();
    return false;
}

void EventLoopProbe::goesToWait()
{
    if (m_busySinceNs < 0)
        return;
    busy(m_busySinceNs, m_clock.nsecsElapsed());
    m_busySinceNs = -1;
}

void EventLoopProbe::idleUntil(qint64 untilNs)
{
    if (m_nextTickNs >= untilNs)
        return;
    const qint64 ticks = (untilNs - m_nextTickNs + m_intervalNs - 1) / m_intervalNs;
    m_buckets[0] += ticks;
    m_samples += ticks;
    m_nextTickNs += ticks * m_intervalNs;
}

void EventLoopProbe::busy(qint64 startNs, qint64 endNs)
{
    idleUntil(startNs);
    for (; m_nextTickNs < endNs; m_nextTickNs += m_intervalNs)
        record(double(endNs - m_nextTickNs) / 1e6);
}

void EventLoopProbe::writeReport()
{
    // The ticks of the idle time since the last busy stretch; the report is
    // itself written inside one.
    idleUntil(m_busySinceNs >= 0 ? m_busySinceNs : m_clock.nsecsElapsed());
    QFile file(m_reportPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(summary().toUtf8() + '\n');
}

EventLoopProbe::~EventLoopProbe()
{
    stop();
    if (!m_reportPath.isEmpty())
        writeReport();
}

void EventLoopProbe::record(double lagMs)
{
    const qsizetype last = qsizetype(m_buckets.size()) - 1;
    const qsizetype bucket = std::clamp<qsizetype>(qsizetype(lagMs * BucketsPerMs), 0, last);
    ++m_buckets[size_t(bucket)];
    ++m_samples;
    m_maxMs = std::max(m_maxMs, lagMs);
}

double EventLoopProbe::percentileMs(double fraction) const
{
    if (m_samples == 0)
        return 0;
    const qint64 wanted = std::max<qint64>(1, qint64(fraction * double(m_samples) + 0.5));
    qint64 seen = 0;
    for (size_t i = 0; i < m_buckets.size(); ++i) {
        seen += m_buckets[i];
        // The last bucket holds everything beyond what is tracked.
        if (seen >= wanted)
            return i + 1 == m_buckets.size() ? m_maxMs
                                             : std::min(m_maxMs, double(i + 1) / BucketsPerMs);
    }
    return m_maxMs;
}

void EventLoopProbe::addTally(const QString &name, std::function<qint64()> read)
{
    m_tallies.emplace_back(name, std::move(read));
}

QString EventLoopProbe::summary() const
{
    QString text = QStringLiteral("lag_ms samples=%1 p50=%2 p99=%3 max=%4")
                       .arg(m_samples)
                       .arg(percentileMs(0.50), 0, 'f', 1)
                       .arg(percentileMs(0.99), 0, 'f', 1)
                       .arg(m_maxMs, 0, 'f', 1);
    for (const auto &[name, read] : m_tallies)
        text += QStringLiteral(" %1=%2").arg(name).arg(read());
    return text;
}

EventLoopProbe *EventLoopProbe::startFromEnvironment(QObject *parent)
{
    const QString path = qEnvironmentVariable("TESSALY_LAG_PROBE");
    if (path.isEmpty())
        return nullptr;
    auto *probe = new EventLoopProbe(parent);
    probe->m_reportPath = path;
    probe->start();
    return probe;
}
