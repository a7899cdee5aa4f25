#include "StretchImage.h"

#include <QPainter>

#include "BusyAnimation.h"

StretchImage::StretchImage(QWidget *parent)
    : ClickableWidget(parent)
{
}

StretchImage::~StretchImage()
{
    holdAnimation(false);
}

void StretchImage::setPixmap(const QPixmap &pixmap)
{
    m_pixmap = pixmap;
    updateOpacity();
    update();
}

void StretchImage::updateOpacity()
{
    // A still picture without transparency, stretched over the whole control,
    // hides whatever lies behind: a new camera picture then repaints the
    // picture alone, not the frame behind it too.
    setAttribute(Qt::WA_OpaquePaintEvent,
                 !m_animation && !m_pixmap.isNull() && !m_pixmap.hasAlphaChannel());
}

void StretchImage::setAnimation(BusyAnimation *animation)
{
    if (animation == m_animation)
        return;
    holdAnimation(false);
    if (m_animation)
        disconnect(m_animation, nullptr, this, nullptr);
    m_animation = animation;
    updateOpacity();
    if (m_animation) {
        connect(m_animation, &BusyAnimation::frameChanged, this, qOverload<>(&QWidget::update));
        holdAnimation(isVisible());
    }
    update();
}

void StretchImage::holdAnimation(bool hold)
{
    if (hold == m_holding || !m_animation)
        return;
    m_holding = hold;
    if (hold)
        m_animation->acquire();
    else
        m_animation->release();
}

void StretchImage::paintEvent(QPaintEvent *)
{
    const QPixmap &shown = m_animation ? m_animation->currentFrame() : m_pixmap;
    if (shown.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawPixmap(rect(), shown);
}

void StretchImage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    holdAnimation(true);
}

void StretchImage::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    holdAnimation(false);
}
