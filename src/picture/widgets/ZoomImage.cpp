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
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(place), m_drawable, QRectF(m_drawable.rect()));
}

void ZoomImage::resizeEvent(QResizeEvent *event)
{
    // The cache is rebuilt on the next paint, and only if still shrinking.
    m_shrunk = QImage();
    QWidget::resizeEvent(event);
}
