#pragma once

#include <QTimer>
#include <QWidget>

// The busy picture of our own: a small spinning arc on a dark rounded plate,
// 21 x 17 pixels, readable over any camera picture. It animates only while it
// is visible, and lets clicks through to whatever lies beneath it.
class BusyIndicator : public QWidget
{
    Q_OBJECT
public:
    static constexpr QSize kSize{21, 17};

    explicit BusyIndicator(QWidget *parent = nullptr);

    QSize sizeHint() const override { return kSize; }
    // The current animation frame, 0 to kFrames - 1.
    int frame() const { return m_frame; }
    static constexpr int kFrames = 12;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void advance();

    QTimer m_timer;
    int m_frame = 0;
};
