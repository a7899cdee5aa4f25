#include "BusyIndicator.h"

#include <QPainter>
#include <QPainterPath>

BusyIndicator::BusyIndicator(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    resize(kSize);
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, &BusyIndicator::advance);
}

void BusyIndicator::advance()
{
    m_frame = (m_frame + 1) % kFrames;
    update();
}

void BusyIndicator::showEvent(QShowEvent *event)
{
    m_timer.start();
    QWidget::showEvent(event);
}

void BusyIndicator::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF plate = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(QColor(255, 255, 255, 90), 1));
    painter.setBrush(QColor(0, 0, 0, 170));
    painter.drawRoundedRect(plate, 3, 3);

    // A three-quarter arc turning clockwise, one twelfth of a turn per frame.
    const qreal side = qMin(width(), height()) - 6;
    QRectF ring(0, 0, side, side);
    ring.moveCenter(plate.center());
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255, 60), 2));
    painter.drawEllipse(ring);
    painter.setPen(QPen(QColor(120, 200, 255), 2, Qt::SolidLine, Qt::RoundCap));
    const int start = -m_frame * (360 / kFrames) * 16;
    painter.drawArc(ring, start, 270 * 16);
}
