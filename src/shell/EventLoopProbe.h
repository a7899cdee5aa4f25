#pragma once

#include <array>
#include <functional>
#include <utility>
#include <vector>

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QTimer;

// How long the event loop keeps a click waiting: a timer that should fire
// every intervalMs, and how late each firing comes. A late firing means the
// thread was busy with something else (decoding, painting) for that long, so
// the same delay would have met a click or a key.
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

    // Records one firing that came lagMs late (also what the timer calls).
    void record(double lagMs);

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

private:
    void fired();
    void writeReport() const;

    QTimer *m_timer = nullptr;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    qint64 m_lastReportNs = 0;
    int m_intervalMs = 10;
    std::array<qint64, MaxTrackedMs * BucketsPerMs + 1> m_buckets{};
    qint64 m_samples = 0;
    double m_maxMs = 0;
    QString m_reportPath;
    std::vector<std::pair<QString, std::function<qint64()>>> m_tallies;
};
