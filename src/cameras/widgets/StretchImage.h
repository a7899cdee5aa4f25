#pragma once

#include <QPixmap>
#include <QPointer>

#include "BusyAnimation.h"
#include "ClickableWidget.h"

// An image control with its stretch switch on: it draws its picture scaled to
// its own size, or, when given an animation, the animation's current frame.
// A click on it is reported, so panels can select their camera.
class StretchImage : public ClickableWidget
{
    Q_OBJECT
public:
    explicit StretchImage(QWidget *parent = nullptr);
    ~StretchImage() override;

    // A null pixmap shows nothing: the empty picture.
    void setPixmap(const QPixmap &pixmap);
    const QPixmap &pixmap() const { return m_pixmap; }

    // Shows the animation instead of the still picture; nullptr goes back to it.
    void setAnimation(BusyAnimation *animation);
    BusyAnimation *animation() const { return m_animation; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void holdAnimation(bool hold);
    void updateOpacity();

    QPixmap m_pixmap;
    QPointer<BusyAnimation> m_animation;
    bool m_holding = false;
};
