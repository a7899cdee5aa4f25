#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPixmap>

#include "TestPictures.h"
#include "ZoomImage.h"

namespace {

void sendMouse(QWidget *target, QEvent::Type type, QPoint pos, Qt::MouseButton button)
{
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::MouseButtons();
    QMouseEvent event(type, QPointF(pos), target->mapToGlobal(QPointF(pos)), button, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

QImage render(ZoomImage &image)
{
    return image.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(ZoomImage, EnlargedPictureIsSmoothNotBlocky)
{
    // Two pixels, black and white, stretched over 200 pixels: blocky scaling
    // would give a hard edge, smooth scaling a ramp of greys.
    QImage picture(2, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(0, 0, 0));
    picture.setPixel(1, 0, qRgb(255, 255, 255));
    ZoomImage image;
    image.setPicture(picture);
    EXPECT_EQ(image.naturalSize(), QSize(2, 1));
    image.resize(200, 20);

    const QImage shown = render(image);
    ASSERT_EQ(shown.size(), QSize(200, 20));
    int greys = 0;
    int previous = -1;
    for (int x = 0; x < shown.width(); ++x) {
        const int v = qGray(shown.pixel(x, 10));
        EXPECT_GE(v, previous) << "the ramp runs one way, x " << x;
        if (v > 10 && v < 245)
            ++greys;
        previous = v;
    }
    EXPECT_GT(greys, 40);
    EXPECT_LT(qGray(shown.pixel(0, 10)), 20);
    EXPECT_GT(qGray(shown.pixel(199, 10)), 235);
}

TEST(ZoomImage, ShrunkPictureIsAveraged)
{
    // A two-pixel checkerboard shrunk tenfold must come out an even grey, not
    // a moiré of whichever pixels the filter happened to hit.
    const QImage picture = TestPictures::fromPixels(QSize(200, 200), [](int x, int y) {
        return (x / 2 + y / 2) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    });
    ZoomImage image;
    image.setPicture(picture);
    image.resize(20, 20);
    const QImage shown = render(image);
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            ASSERT_NEAR(qGray(shown.pixel(x, y)), 128, 40) << x << "," << y;

    // A new size rebuilds it, a new picture replaces it.
    image.resize(50, 40);
    EXPECT_EQ(render(image).size(), QSize(50, 40));
    QImage red(200, 200, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    image.setPicture(red);
    EXPECT_EQ(render(image).pixel(25, 20), qRgb(255, 0, 0));
}

TEST(ZoomImage, ShowsNothingWithoutAPicture)
{
    QWidget parent;
    parent.setAutoFillBackground(true);
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, Qt::blue);
    parent.setPalette(palette);
    ZoomImage image(&parent);
    image.setGeometry(0, 0, 30, 30);
    parent.resize(30, 30);
    QImage green(4, 4, QImage::Format_RGB32);
    green.fill(qRgb(0, 255, 0));
    image.setPicture(green);
    EXPECT_EQ(parent.grab().toImage().pixel(15, 15), qRgb(0, 255, 0));
    image.setPicture(QImage());
    EXPECT_TRUE(image.naturalSize().isEmpty());
    EXPECT_EQ(parent.grab().toImage().pixel(15, 15), QColor(Qt::blue).rgb());
}

TEST(ZoomImage, ClickIsPressAndReleaseInside)
{
    ZoomImage image;
    image.resize(40, 40);
    int clicks = 0;
    QObject::connect(&image, &ZoomImage::clicked, [&] { ++clicks; });

    sendMouse(&image, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
    sendMouse(&image, QEvent::MouseButtonRelease, {12, 11}, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    // Dragged off before letting go: no click.
    sendMouse(&image, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton);
    sendMouse(&image, QEvent::MouseButtonRelease, {90, 10}, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    // Other buttons do not click, nor does a release without a press.
    sendMouse(&image, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton);
    sendMouse(&image, QEvent::MouseButtonRelease, {10, 10}, Qt::RightButton);
    sendMouse(&image, QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}
