#include "ReviewTimeline.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr int SecondsPerDay = 86400;
constexpr int Margin = 6;
} // namespace

ReviewTimeline::ReviewTimeline(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("timeline"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setToolTip(tr("Drag to see the pictures of the day; Left and Right step, Ctrl+Left and "
                  "Ctrl+Right jump between changes, Space plays"));
}

void ReviewTimeline::setDay(const QList<int> &pictureSeconds, const QList<int> &eventSeconds)
{
    m_pictures = pictureSeconds;
    m_events = eventSeconds;
    rebuildColumns();
    update();
}

void ReviewTimeline::setCurrent(int secondOfDay)
{
    if (m_current == secondOfDay)
        return;
    m_current = secondOfDay;
    update();
}

int ReviewTimeline::secondAt(int x) const
{
    const int span = std::max(1, width() - 2 * Margin);
    const qint64 second = qint64(x - Margin) * SecondsPerDay / span;
    return int(std::clamp<qint64>(second, 0, SecondsPerDay - 1));
}

int ReviewTimeline::xOf(int secondOfDay) const
{
    const int span = std::max(1, width() - 2 * Margin);
    return Margin + int(qint64(secondOfDay) * span / SecondsPerDay);
}

void ReviewTimeline::rebuildColumns()
{
    const int span = std::max(1, width() - 2 * Margin);
    m_columns = QList<bool>(span, false);
    for (int second : std::as_const(m_pictures))
        m_columns[std::min<qint64>(span - 1, qint64(second) * span / SecondsPerDay)] = true;
}

void ReviewTimeline::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    rebuildColumns();
}

void ReviewTimeline::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect band(Margin, 14, width() - 2 * Margin, height() - 28);
    painter.fillRect(rect(), palette().window());
    painter.fillRect(band, QColor(40, 40, 44)); // the gaps
    const QColor present(90, 160, 220);
    for (qsizetype c = 0; c < m_columns.size(); ++c) {
        if (m_columns.at(c))
            painter.fillRect(QRect(band.left() + int(c), band.top(), 1, band.height()), present);
    }
    // The hours, every three of them labelled.
    painter.setPen(palette().color(QPalette::WindowText));
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
    painter.setFont(small);
    for (int hour = 0; hour <= 24; ++hour) {
        const int x = xOf(std::min(hour * 3600, SecondsPerDay - 1));
        painter.drawLine(x, band.bottom() + 1, x, band.bottom() + (hour % 3 == 0 ? 6 : 3));
        if (hour % 3 == 0 && hour < 24)
            painter.drawText(x + 2, height() - 2, QStringLiteral("%1:00").arg(hour));
    }
    // Change events: a red mark above the band.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(220, 60, 50));
    for (int second : std::as_const(m_events)) {
        const int x = xOf(second);
        const QPoint mark[3] = {{x - 4, 2}, {x + 4, 2}, {x, 12}};
        painter.drawPolygon(mark, 3);
    }
    if (m_current >= 0) {
        painter.setPen(QPen(QColor(255, 210, 60), 2));
        const int x = xOf(m_current);
        painter.drawLine(x, band.top() - 2, x, band.bottom() + 2);
    }
}

void ReviewTimeline::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit scrubbed(secondAt(event->position().toPoint().x()));
}

void ReviewTimeline::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        emit scrubbed(secondAt(event->position().toPoint().x()));
}
