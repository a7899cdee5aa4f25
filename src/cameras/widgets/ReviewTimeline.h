#pragma once

#include <QList>
#include <QWidget>

// One day from midnight to midnight, left to right: a band where pictures
// exist (dark where there are none, the gaps), a mark at each change event and
// a line at the picture shown. Pressing or dragging on it asks for the moment
// under the pointer; the window shows the picture of that moment.
class ReviewTimeline : public QWidget
{
    Q_OBJECT
public:
    explicit ReviewTimeline(QWidget *parent = nullptr);

    // Seconds since midnight of the pictures (ascending) and of the events' starts.
    void setDay(const QList<int> &pictureSeconds, const QList<int> &eventSeconds);
    void setCurrent(int secondOfDay);
    int current() const { return m_current; }

    // The second of the day at x, and back.
    int secondAt(int x) const;
    int xOf(int secondOfDay) const;

    QSize sizeHint() const override { return {720, 56}; }
    QSize minimumSizeHint() const override { return {240, 40}; }

signals:
    void scrubbed(int secondOfDay);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    void rebuildColumns();

    QList<int> m_pictures;
    QList<int> m_events;
    // For each pixel column, whether any picture falls in it: drawn without
    // a pass over 86,400 pictures on every paint.
    QList<bool> m_columns;
    int m_current = -1;
};
