#pragma once

#include <QLabel>

// A label whose text the program changes while it runs (the viewer's detail
// values, the time, the status bar panel). It is its own class so that the
// skin's label copying, which copies plain labels once at load time, leaves it
// alone: a copied label would keep showing the text of the moment it was made.
class ValueLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ValueLabel(QWidget *parent = nullptr)
        : QLabel(parent)
    {
    }
};
