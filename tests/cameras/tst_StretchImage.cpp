#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QPixmap>

#include "BusyAnimation.h"
#include "PaintCounter.h"
#include "StretchImage.h"
#include "WaitUntil.h"

namespace {

QPixmap filled(const QColor &colour, bool alpha)
{
    QImage image(QSize(16, 12), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image.fill(colour);
    return QPixmap::fromImage(image);
}

} // namespace

TEST(StretchImage, OnlyAStillPictureWithoutTransparencyHidesWhatLiesBehind)
{
    StretchImage image;
    EXPECT_FALSE(image.testAttribute(Qt::WA_OpaquePaintEvent)) << "empty: the frame shows";
    image.setPixmap(filled(Qt::red, false));
    EXPECT_TRUE(image.testAttribute(Qt::WA_OpaquePaintEvent));
    image.setPixmap(filled(QColor(255, 0, 0, 100), true));
    EXPECT_FALSE(image.testAttribute(Qt::WA_OpaquePaintEvent)) << "see-through";
    image.setPixmap(filled(Qt::red, false));
    BusyAnimation animation;
    image.setAnimation(&animation);
    EXPECT_FALSE(image.testAttribute(Qt::WA_OpaquePaintEvent)) << "the animation has holes";
    image.setAnimation(nullptr);
    EXPECT_TRUE(image.testAttribute(Qt::WA_OpaquePaintEvent));
    image.setPixmap(QPixmap());
    EXPECT_FALSE(image.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST(StretchImage, ANewOpaquePictureRepaintsItselfAndNotItsParent)
{
    QWidget parent;
    parent.resize(200, 150);
    parent.setAutoFillBackground(true);
    auto *image = new StretchImage(&parent);
    image->setGeometry(20, 20, 85, 64);
    image->setPixmap(filled(Qt::red, false));
    parent.show();
    PaintCounter behind(&parent);
    PaintCounter picture(image);
    ASSERT_TRUE(waitUntil([&] { return picture.paints > 0; }));
    QApplication::processEvents();

    behind.paints = 0;
    picture.paints = 0;
    image->setPixmap(filled(Qt::blue, false));
    ASSERT_TRUE(waitUntil([&] { return picture.paints > 0; }));
    EXPECT_EQ(behind.paints, 0);

    // A see-through one needs what lies behind it drawn first.
    image->setPixmap(filled(QColor(0, 0, 255, 80), true));
    ASSERT_TRUE(waitUntil([&] { return behind.paints > 0; }));
}
