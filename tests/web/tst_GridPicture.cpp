#include <gtest/gtest.h>

#include <QImage>

#include "GridPicture.h"
#include "TestPictures.h"

// Grid tiles get a small copy, decoded at a DCT scale and encoded again.

TEST(GridPicture, LargePicturesShrinkByTheDctScaleAndSmallOnesStayTheCamerasOwn)
{
    const struct
    {
        QSize camera;
        QSize tile;
    } cases[] = {
        {{1920, 1080}, {240, 135}}, {{1280, 720}, {320, 180}}, {{2592, 1944}, {324, 243}},
        {{640, 480}, {320, 240}},   {{321, 241}, {161, 121}},  {{320, 240}, {320, 240}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(
            QStringLiteral("%1x%2").arg(c.camera.width()).arg(c.camera.height()).toStdString());
        EXPECT_EQ(GridPicture::scaledSize(c.camera), c.tile);
        const QByteArray jpeg = TestPictures::encode(TestPictures::quadrants(c.camera), "JPEG");
        const QByteArray tile = GridPicture::make(jpeg);
        const QImage image = QImage::fromData(tile, "JPEG");
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), c.tile);
        if (c.tile == c.camera)
            EXPECT_EQ(tile, jpeg);
        else
            EXPECT_LT(tile.size(), jpeg.size());
    }
    // What is no JPEG gives no tile.
    EXPECT_TRUE(GridPicture::make("not a picture").isEmpty());
    EXPECT_TRUE(GridPicture::make(TestPictures::gif(QSize(800, 600))).isEmpty());
}
