#include "EventLoopProbe.h"

#include <algorithm>

#include <QFile>
#include <QTimer>

EventLoopProbe::EventLoopProbe(QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &EventLoopProbe::fired);
}

void EventLoopProbe::start(int intervalMs)
{
    m_intervalMs = std::max(1, intervalMs);
    m_clock.start();
    m_lastNs = 0;
    m_timer->start(m_intervalMs);
}

void EventLoopProbe::stop()
{
    m_timer->stop();
}

void EventLoopProbe::fired()
{
    const qint64 now = m_clock.nsecsElapsed();
    const double lag = double(now - m_lastNs) / 1e6 - m_intervalMs;
    m_lastNs = now;
    record(std::max(0.0, lag));
    // Rewritten once a second rather than at exit, so a benchmark that ends
    // the program with a signal still finds the figures.
    if (!m_reportPath.isEmpty() && now - m_lastReportNs >= 1'000'000'000) {
        m_lastReportNs = now;
        writeReport();
    }
}

void EventLoopProbe::writeReport() const
{
    QFile file(m_reportPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(summary().toUtf8() + '\n');
}

EventLoopProbe::~EventLoopProbe()
{
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
