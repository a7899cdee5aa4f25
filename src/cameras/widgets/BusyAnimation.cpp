#include "BusyAnimation.h"

#include <cmath>
#include <numbers>

#include <QPainter>

namespace {
constexpr int kFrameCount = 8;
constexpr int kFrameIntervalMs = 110;
} // namespace

BusyAnimation::BusyAnimation(QObject *parent)
    : QObject(parent)
    , m_frames(drawFrames(QSize(21, 17)))
{
    m_timer.setInterval(kFrameIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &BusyAnimation::advance);
}

QList<QPixmap> BusyAnimation::drawFrames(QSize size)
{
    QList<QPixmap> frames;
    const double cx = size.width() / 2.0;
    const double cy = size.height() / 2.0;
    const double radius = std::min(size.width(), size.height()) / 2.0 - 2.5;
    for (int f = 0; f < kFrameCount; ++f) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        // A dark backing disc keeps the dots readable over any camera picture.
        p.setBrush(QColor(20, 14, 36, 170));
        p.drawEllipse(QPointF(cx, cy), radius + 2.2, radius + 2.2);
        for (int d = 0; d < kFrameCount; ++d) {
            // The head dot is brightest, the tail fades out behind it.
            const int age = (f - d + kFrameCount) % kFrameCount;
            const double angle = 2 * std::numbers::pi * d / kFrameCount - std::numbers::pi / 2;
            const int alpha = 255 - age * 28;
            p.setBrush(QColor(236, 222, 255, std::max(alpha, 40)));
            const double dot = age == 0 ? 1.8 : 1.4;
            p.drawEllipse(QPointF(cx + radius * std::cos(angle), cy + radius * std::sin(angle)),
                          dot, dot);
        }
        p.end();
        frames.append(QPixmap::fromImage(image));
    }
    return frames;
}

const QPixmap &BusyAnimation::currentFrame() const
{
    return m_frames.at(m_frame);
}

void BusyAnimation::acquire()
{
    if (m_viewers++ == 0)
        m_timer.start();
}

void BusyAnimation::release()
{
    if (m_viewers == 0)
        return;
    if (--m_viewers == 0)
        m_timer.stop();
}

void BusyAnimation::advance()
{
    m_frame = (m_frame + 1) % int(m_frames.size());
    emit frameChanged();
}
