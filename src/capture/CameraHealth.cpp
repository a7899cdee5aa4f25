#include "CameraHealth.h"

#include <algorithm>

CameraHealth::CameraHealth(qint64 startedMs)
    : m_startedMs(startedMs)
{
}

CameraHealth::Change CameraHealth::picture(qint64 nowMs)
{
    m_hasPicture = true;
    m_lastPictureMs = nowMs;
    if (!m_failing)
        return Change::None;
    m_failing = false;
    return Change::Recovered;
}

CameraHealth::Change CameraHealth::failure(const QString &reason, qint64 nowMs)
{
    m_lastFailure = reason;
    ++m_totalFailures;
    if (!m_failing) {
        m_failing = true;
        m_downSinceMs = nowMs;
        m_lastLineMs = nowMs;
        m_failuresInRun = 1;
        return Change::StartedFailing;
    }
    ++m_failuresInRun;
    if (nowMs - m_lastLineMs < RemindEveryMs)
        return Change::None;
    m_lastLineMs = nowMs;
    return Change::StillFailing;
}

qint64 CameraHealth::staleAfterMs(int refreshSeconds)
{
    return std::max(MinStaleMs, 2 * qint64(std::max(refreshSeconds, 0)) * 1000);
}

bool CameraHealth::isStale(qint64 nowMs, int refreshSeconds) const
{
    const qint64 since = m_hasPicture ? m_lastPictureMs : m_startedMs;
    return nowMs - since > staleAfterMs(refreshSeconds);
}

QString CameraHealth::spanText(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return seconds % 60 ? QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60)
                            : QStringLiteral("%1 min").arg(seconds / 60);
    if (seconds < 86400)
        return (seconds / 60) % 60
                   ? QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg((seconds / 60) % 60)
                   : QStringLiteral("%1 h").arg(seconds / 3600);
    return (seconds / 3600) % 24
               ? QStringLiteral("%1 d %2 h").arg(seconds / 86400).arg((seconds / 3600) % 24)
               : QStringLiteral("%1 d").arg(seconds / 86400);
}
