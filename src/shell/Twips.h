#pragma once

#include <QRect>
#include <QSize>

class QWidget;

// Window geometry is worked out in twips, as the windows were designed; it
// becomes pixels once, where it is applied: px = twips * logical dpi / 1440,
// 15 twips to the pixel at 96 dpi.
class Twips
{
public:
    static constexpr int PerInch = 1440;

    // Horizontal measures (left, width) use the horizontal dpi, vertical ones the
    // vertical dpi, of the screen widget is on (the primary screen without one).
    static int toPx(int twips, const QWidget *widget = nullptr);
    static int toPxY(int twips, const QWidget *widget = nullptr);
    static QSize toPx(const QSize &twips, const QWidget *widget = nullptr);
    static QRect toPx(const QRect &twips, const QWidget *widget = nullptr);

    // Places widget at a rectangle given in twips (left, top, width, height).
    static void setGeometry(QWidget *widget, int left, int top, int width, int height);
};
