#include "StretchImage.h"

#include <QMouseEvent>
#include <QPainter>

#include "BusyAnimation.h"

StretchImage::StretchImage(QWidget *parent)
    : QWidget(parent)
{
}

StretchImage::~StretchImage()
{
    holdAnimation(false);
}

void StretchImage::setPixmap(const QPixmap &pixmap)
{
    m_pixmap = pixmap;
    update();
}

void StretchImage::setAnimation(BusyAnimation *animation)
{
    if (animation == m_animation)
        return;
    holdAnimation(false);
    if (m_animation)
        disconnect(m_animation, nullptr, this, nullptr);
    m_animation = animation;
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

void StretchImage::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void StretchImage::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    event->accept();
    if (click)
        emit clicked();
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
