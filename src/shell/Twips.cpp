#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

int convert(int twips, int dpi)
{
    if (dpi <= 0)
        dpi = 96;
    return int(qRound64(double(twips) * dpi / Twips::PerInch));
}

int dpiX(const QWidget *widget)
{
    if (widget)
        return widget->logicalDpiX();
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? qRound(screen->logicalDotsPerInchX()) : 96;
}

int dpiY(const QWidget *widget)
{
    if (widget)
        return widget->logicalDpiY();
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? qRound(screen->logicalDotsPerInchY()) : 96;
}

} // namespace

int Twips::toPx(int twips, const QWidget *widget)
{
    return convert(twips, dpiX(widget));
}

int Twips::toPxY(int twips, const QWidget *widget)
{
    return convert(twips, dpiY(widget));
}

QSize Twips::toPx(const QSize &twips, const QWidget *widget)
{
    return {toPx(twips.width(), widget), toPxY(twips.height(), widget)};
}

QRect Twips::toPx(const QRect &twips, const QWidget *widget)
{
    return {toPx(twips.left(), widget), toPxY(twips.top(), widget), toPx(twips.width(), widget),
            toPxY(twips.height(), widget)};
}

void Twips::setGeometry(QWidget *widget, int left, int top, int width, int height)
{
    if (widget)
        widget->setGeometry(toPx(QRect(left, top, width, height), widget));
}
