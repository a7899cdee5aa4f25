#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QTimer>

// The animated busy picture (picrefresh): a ring of dots turning while a fetch
// runs. One animation drives every busy indicator; its timer runs only while
// at least one indicator showing it is visible.
class BusyAnimation : public QObject
{
    Q_OBJECT
public:
    explicit BusyAnimation(QObject *parent = nullptr);

    // The frames, drawn by us at the indicator's natural size (21 x 17 pixels).
    static QList<QPixmap> drawFrames(QSize size);

    const QPixmap &currentFrame() const;
    int frameIndex() const { return m_frame; }
    int frameCount() const { return int(m_frames.size()); }
    bool isRunning() const { return m_timer.isActive(); }

    // An indicator showing the animation has become visible (acquire) or
    // hidden (release).
    void acquire();
    void release();

signals:
    void frameChanged();

private:
    void advance();

    QList<QPixmap> m_frames;
    QTimer m_timer;
    int m_frame = 0;
    int m_viewers = 0;
};
