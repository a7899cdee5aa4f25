#include "CameraChangeWatch.h"

#include <algorithm>

CameraChangeWatch::CameraChangeWatch(const QString &camera, const DetectionOptions &detection,
                                     ChangeCapture::Options capture)
    : m_camera(camera)
    , m_detector(detection)
    , m_capture(capture)
{
}

void CameraChangeWatch::setCapturing(bool on)
{
    if (on != m_capturing)
        m_capture.reset();
    m_capturing = on;
}

QString CameraChangeWatch::durationText(qint64 seconds)
{
    seconds = std::max<qint64>(seconds, 0);
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

CameraChangeWatch::Outcome CameraChangeWatch::offer(const QByteArray &bytes, const QDateTime &time,
                                                    const GreyPicture &grey)
{
    Outcome outcome;
    outcome.verdict = m_detector.judge(grey.isNull() ? GreyPicture::fromJpeg(bytes) : grey);
    const SceneVerdict &v = outcome.verdict;
    if (v.started) {
        m_started = time;
        outcome.lines << QStringLiteral("change started %1 (%2 % of the picture)")
                             .arg(m_camera)
                             .arg(v.changedPercent, 0, 'f', 1);
    }
    if (v.ended) {
        const qint64 lasted = m_started.isValid() ? m_started.secsTo(time) : 0;
        outcome.lines
            << QStringLiteral("change ended %1 after %2").arg(m_camera, durationText(lasted));
        m_started = QDateTime();
    }
    if (m_capturing)
        outcome.saves = m_capture.offer(bytes, time, v.changed);
    return outcome;
}
