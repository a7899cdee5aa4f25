#pragma once

#include <QWidget>

// A control that reports a click the way a button does: the left button
// pressed and released inside it. Dragging out before the release is no click,
// so a user can change their mind.
class ClickableWidget : public QWidget
{
    Q_OBJECT
public:
    explicit ClickableWidget(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};
