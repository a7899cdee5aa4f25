#include "ZoomImage.h"

#include <QPaintEvent>
#include <QPainter>

#include "ViewerZoom.h"

ZoomImage::ZoomImage(QWidget *parent)
    : ClickableWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void ZoomImage::setPicture(const QImage &picture, const QImage &shrunk)
{
    m_picture = picture;
    m_shrunk = shrunk;
    if (!m_shrunk.isNull())
        m_shrunk.setDevicePixelRatio(devicePixelRatioF());
    if (picture.isNull()) {
        m_drawable = QImage();
    } else {
        const QImage::Format format =
            picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
        m_drawable = picture.format() == format ? picture : picture.convertToFormat(format);
    }
    update();
}

QSize ZoomImage::naturalSize() const
{
    if (m_picture.isNull())
        return QSize();
    return (QSizeF(m_picture.size()) / m_picture.devicePixelRatio()).toSize();
}

void ZoomImage::setKeepAspect(bool keep)
{
    m_keepAspect = keep;
    m_shrunk = QImage();
    update();
}

QRect ZoomImage::pictureRect() const
{
    if (!m_keepAspect || m_picture.isNull())
        return rect();
    const QSize natural = naturalSize();
    const ViewerZoom::Rect r =
        ViewerZoom::fitRect({natural.width(), natural.height()}, {width(), height()});
    return {r.left, r.top, r.width, r.height};
}

void ZoomImage::paintEvent(QPaintEvent *event)
{
    if (m_drawable.isNull() || width() <= 0 || height() <= 0)
        return;
    QPainter painter(this);
    painter.setClipRect(event->rect());

    const QRect place = pictureRect();
    if (place.isEmpty())
        return;
    const qreal dpr = devicePixelRatioF();
    const QSize target = (QSizeF(place.size()) * dpr).toSize();
    // A cache the size of a huge enlargement would cost more than it saves.
    constexpr qint64 kLargestCache = 16 * 1024 * 1024;
    const bool shrinking =
        (target.width() < m_drawable.width() || target.height() < m_drawable.height()) &&
        qint64(target.width()) * target.height() <= kLargestCache;
    if (shrinking) {
        if (m_shrunk.size() != target) {
            m_shrunk = m_drawable.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            m_shrunk.setDevicePixelRatio(dpr);
        }
        painter.drawImage(QPointF(place.topLeft()), m_shrunk);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(place), m_drawable, QRectF(m_drawable.rect()));
    }
    if (m_cells.isEmpty() || m_cellColumns <= 0 || m_cellRows <= 0)
        return;
    // Amber, see-through: the picture under a changed cell stays readable.
    const QColor fill(255, 170, 0, 90);
    const QColor edge(255, 170, 0, 200);
    painter.setPen(edge);
    const double w = double(place.width()) / m_cellColumns;
    const double h = double(place.height()) / m_cellRows;
    for (qsizetype cell = 0; cell < m_cells.size(); ++cell) {
        if (!m_cells.testBit(cell))
            continue;
        const QRectF rect(place.x() + w * double(cell % m_cellColumns),
                          place.y() + h * double(cell / m_cellColumns), w, h);
        painter.fillRect(rect, fill);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
    }
}

void ZoomImage::setCellOverlay(const QBitArray &cells, int columns, int rows)
{
    // A grid that does not fit the bits would tint the wrong places.
    const bool fits = columns > 0 && rows > 0 && cells.size() == qsizetype(columns) * rows;
    const QBitArray shown = fits ? cells : QBitArray();
    if (shown == m_cells)
        return;
    m_cells = shown;
    m_cellColumns = columns;
    m_cellRows = rows;
    update();
}

void ZoomImage::resizeEvent(QResizeEvent *event)
{
    // The cache is rebuilt on the next paint, and only if still shrinking.
    m_shrunk = QImage();
    QWidget::resizeEvent(event);
}
