#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

// Counts the paints a widget receives: what tests of "repaints only what
// changed" measure.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *watched) { watched->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};
