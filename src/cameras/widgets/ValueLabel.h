#pragma once

#include <QLabel>

// A label whose text the program changes while it runs (the viewer's detail
// values, the time, the status bar panel). It is its own class so that the
// skin's label copying, which copies plain labels once at load time, leaves it
// alone: a copied label would keep showing the text of the moment it was made.
// Its text comes from cameras and the camera list, so markup in it is shown as
// written, never drawn.
class ValueLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ValueLabel(QWidget *parent = nullptr)
        : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
    }
};
