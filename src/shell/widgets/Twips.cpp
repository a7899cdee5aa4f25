#include "Twips.h"

#include <cmath>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {
constexpr double kFallbackDpi = 96.0;

double roundedPixels(double twips, double dpi)
{
    if (dpi <= 0)
        dpi = kFallbackDpi;
    return std::round(twips * dpi / Twips::kPerInch);
}
} // namespace

namespace Twips {

int toPixels(double twips, double logicalDpi)
{
    return static_cast<int>(roundedPixels(twips, logicalDpi));
}

double fromPixels(double pixels, double logicalDpi)
{
    if (logicalDpi <= 0)
        logicalDpi = kFallbackDpi;
    return pixels * kPerInch / logicalDpi;
}

QRect toPixels(const TwipsRect &rect, double dpiX, double dpiY)
{
    const int left = toPixels(rect.left, dpiX);
    const int top = toPixels(rect.top, dpiY);
    const int right = toPixels(double(rect.left) + rect.width, dpiX);
    const int bottom = toPixels(double(rect.top) + rect.height, dpiY);
    return QRect(left, top, right - left, bottom - top);
}

QRect toPixels(const TwipsRect &rect, const QWidget *reference)
{
    return toPixels(rect, dpiX(reference), dpiY(reference));
}

double dpiX(const QWidget *reference)
{
    if (reference)
        return reference->logicalDpiX();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        return screen->logicalDotsPerInchX();
    return kFallbackDpi;
}

double dpiY(const QWidget *reference)
{
    if (reference)
        return reference->logicalDpiY();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        return screen->logicalDotsPerInchY();
    return kFallbackDpi;
}

int toPx(int twips, const QWidget *widget)
{
    return toPixels(twips, dpiX(widget));
}

int toPxY(int twips, const QWidget *widget)
{
    return toPixels(twips, dpiY(widget));
}

QSize toPx(const QSize &twips, const QWidget *widget)
{
    return {toPx(twips.width(), widget), toPxY(twips.height(), widget)};
}

QRect toPx(const QRect &twips, const QWidget *widget)
{
    return {toPx(twips.left(), widget), toPxY(twips.top(), widget), toPx(twips.width(), widget),
            toPxY(twips.height(), widget)};
}

void setGeometry(QWidget *widget, int left, int top, int width, int height)
{
    if (widget)
        widget->setGeometry(toPx(QRect(left, top, width, height), widget));
}

} // namespace Twips
