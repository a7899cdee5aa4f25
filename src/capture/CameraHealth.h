#pragma once

#include <QString>

// Whether one camera is delivering, told from its pictures and failures.
//
// Left running for weeks, a dead camera must be easy to see and cheap to log:
// a panel that keeps its last picture looks alive, and a line per failed fetch
// at a one-second refresh is 86,400 lines a day. So this keeps what a person
// needs: when the last picture came, the last failure, and which changes are
// worth a line: the first failure of a run, a reminder at most every
// RemindEveryMs while the camera stays down, and its return.
//
// Times are milliseconds on a monotonic timer the caller reads, so tests drive
// it with a fake one.
class CameraHealth
{
public:
    static constexpr qint64 RemindEveryMs = 10 * 60 * 1000;
    // A camera is stale when no picture came for twice its refresh, and at
    // least this long.
    static constexpr qint64 MinStaleMs = 10 * 1000;

    enum class Change {
        None,
        StartedFailing, // the first failure after pictures (or since the start)
        StillFailing,   // down for another RemindEveryMs since the last line
        Recovered,      // a picture after failures
    };

    // started: when the camera was opened (a camera that never delivered is
    // stale from then on).
    explicit CameraHealth(qint64 startedMs = 0);

    Change picture(qint64 nowMs);
    Change failure(const QString &reason, qint64 nowMs);

    bool isStale(qint64 nowMs, int refreshSeconds) const;
    static qint64 staleAfterMs(int refreshSeconds);

    qint64 startedMs() const { return m_startedMs; }
    bool isFailing() const { return m_failing; }
    bool hasPicture() const { return m_hasPicture; }
    qint64 lastPictureMs() const { return m_lastPictureMs; }
    const QString &lastFailure() const { return m_lastFailure; }
    // Failures since the current (or last) run of failures began.
    qint64 failuresInRun() const { return m_failuresInRun; }
    // When the current (or last) run of failures began.
    qint64 downSinceMs() const { return m_downSinceMs; }
    qint64 totalFailures() const { return m_totalFailures; }

    // "3 min 20 s", "2 h 5 min", "45 s": how long a person reads a span.
    static QString spanText(qint64 ms);

private:
    qint64 m_startedMs = 0;
    qint64 m_lastPictureMs = 0;
    bool m_hasPicture = false;
    bool m_failing = false;
    QString m_lastFailure;
    qint64 m_downSinceMs = 0;
    qint64 m_lastLineMs = 0;
    qint64 m_failuresInRun = 0;
    qint64 m_totalFailures = 0;
};
