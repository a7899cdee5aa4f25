#pragma once

#include <array>
#include <functional>
#include <utility>
#include <vector>

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QTimer;

// How long the event loop keeps a click waiting. The thread's busy stretches
// are timed as they happen (from the first event it handles after waking to
// the moment it goes back to wait), and against them stands a clock that
// ticks every intervalMs: a tick inside a busy stretch waits until its end,
// one in idle time waits not at all. That is what a timer firing every
// intervalMs would see, without the timer: its hundred wake-ups a second
// would cost the program more than some of what is measured.
//
// Kept in a histogram of 0.1 ms steps, so an hour of probing costs the same
// few kilobytes as a second of it.
class EventLoopProbe : public QObject
{
    Q_OBJECT
public:
    static constexpr int BucketsPerMs = 10;
    static constexpr int MaxTrackedMs = 2000; // later firings count in the last bucket

    explicit EventLoopProbe(QObject *parent = nullptr);
    ~EventLoopProbe() override;

    void start(int intervalMs = 10);
    void stop();

    // Records one tick that waited lagMs.
    void record(double lagMs);
    // The thread was busy from startNs to endNs (on the probe's clock): the
    // ticks due before startNs found it idle, those from then on waited for endNs.
    void busy(qint64 startNs, qint64 endNs);

    qint64 samples() const { return m_samples; }
    // The lag below which fraction (0..1) of the firings came, in ms.
    double percentileMs(double fraction) const;
    double maxMs() const { return m_maxMs; }
    // A count the report carries beside the lag, read when the summary is
    // made: what the lag was measured against (pictures shown, say).
    void addTally(const QString &name, std::function<qint64()> read);

    // "lag_ms samples=N p50=0.1 p99=3.2 max=14.0", then " name=value" per tally
    QString summary() const;

    // Started by the program when the environment names a file
    // (TESSALY_LAG_PROBE=path): the summary is written there every second and
    // when the probe goes, for the benchmark script to read. Null otherwise.
    static EventLoopProbe *startFromEnvironment(QObject *parent);

protected:
    // Where a busy stretch starts: the first event after waking.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void goesToWait();
    // The ticks due before untilNs that found the thread idle.
    void idleUntil(qint64 untilNs);
    void writeReport();

    QTimer *m_reportTimer = nullptr;
    QElapsedTimer m_clock;
    qint64 m_intervalNs = 10'000'000;
    qint64 m_nextTickNs = 0;
    qint64 m_busySinceNs = -1; // -1: waiting, or not started
    bool m_running = false;
    std::array<qint64, MaxTrackedMs * BucketsPerMs + 1> m_buckets{};
    qint64 m_samples = 0;
    double m_maxMs = 0;
    QString m_reportPath;
    std::vector<std::pair<QString, std::function<qint64()>>> m_tallies;
};
