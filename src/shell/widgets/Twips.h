#pragma once

#include <QRect>
#include <QSize>

class QWidget;

// A position and size in twips (1/1440 inch), relative to the container. Window
// arithmetic is done in these units and only turned into pixels where geometry
// is applied, so the numbers stay the same on every screen.
struct TwipsRect
{
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;

    friend bool operator==(const TwipsRect &, const TwipsRect &) = default;
};

// Conversions between twips and device-independent pixels:
// pixels = twips * logical DPI / 1440, i.e. 15 twips per pixel at 96 DPI.
namespace Twips {

inline constexpr double kPerInch = 1440.0;

// Nearest pixel for a length or coordinate in twips.
int toPixels(double twips, double logicalDpi);
// Twips for a pixel count (not rounded).
double fromPixels(double pixels, double logicalDpi);

// A rectangle in pixels whose edges are each rounded to the nearest pixel, so
// that neighbouring controls never open a one-pixel gap between them.
QRect toPixels(const TwipsRect &rect, double dpiX, double dpiY);
// The same, with the logical DPI of the widget's screen.
QRect toPixels(const TwipsRect &rect, const QWidget *reference);

// Horizontal and vertical logical DPI of the screen the widget is on (the
// primary screen without a widget, 96 without a screen).
double dpiX(const QWidget *reference);
double dpiY(const QWidget *reference);

// Whole-twips shorthands for fixed layouts: horizontal measures (left, width)
// use the horizontal DPI, vertical ones the vertical DPI.
int toPx(int twips, const QWidget *widget = nullptr);
int toPxY(int twips, const QWidget *widget = nullptr);
QSize toPx(const QSize &twips, const QWidget *widget = nullptr);
QRect toPx(const QRect &twips, const QWidget *widget = nullptr);

// Places widget at a rectangle given in twips (left, top, width, height).
void setGeometry(QWidget *widget, int left, int top, int width, int height);

} // namespace Twips
