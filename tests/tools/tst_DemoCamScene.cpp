#include <gtest/gtest.h>

#include <cstdlib>

#include <QDateTime>
#include <QImage>
#include <QRect>

#include "DemoCamJpegEncoder.h"
#include "DemoCamScene.h"

namespace {

const QDateTime kMoment = QDateTime::fromSecsSinceEpoch(1700000040, Qt::UTC);

// The smallest rectangle holding every pixel in which the two pictures differ.
QRect differingArea(const QImage &a, const QImage &b)
{
    QRect area;
    for (int y = 0; y < a.height(); ++y) {
        const auto *ra = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *rb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (ra[x] != rb[x])
                area |= QRect(x, y, 1, 1);
        }
    }
    return area;
}

double meanChannelDifference(const QImage &a, const QImage &b)
{
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return double(sum) / (3.0 * a.width() * a.height());
}

} // namespace

TEST(DemoCamScene, SameCameraAndMomentGiveTheSamePictureAndTimeMovesIt)
{
    DemoCamScene scene(QSize(320, 180));
    const QImage a = scene.render(1, kMoment, 2);
    EXPECT_EQ(a.size(), QSize(320, 180));
    EXPECT_EQ(scene.render(1, kMoment, 2), a);
    EXPECT_NE(scene.render(1, kMoment.addSecs(2), 2), a);
    EXPECT_NE(scene.render(2, kMoment, 2), a);

    EXPECT_EQ(DemoCamScene::cameraName(1), QStringLiteral("Demo Yard"));
    EXPECT_EQ(DemoCamScene::cameraName(4), QStringLiteral("Demo Weather"));
    EXPECT_EQ(DemoCamScene::cameraName(30), QStringLiteral("Demo 30"));
}

TEST(DemoCamScene, DrawsTheClockTextWithoutADisplay)
{
    // A day later every shape stands where it stood; only the date in the clock
    // label differs. So text must have been drawn, and only in the bottom-right corner.
    DemoCamScene scene(QSize(640, 360));
    const QImage today = scene.render(3, kMoment, 4);
    const QImage tomorrow = scene.render(3, kMoment.addDays(1), 4);
    const QRect changed = differingArea(today, tomorrow);
    ASSERT_FALSE(changed.isEmpty()) << "no text was drawn";
    EXPECT_GE(changed.left(), 320);
    EXPECT_GE(changed.top(), 270);
}

TEST(DemoCamJpegEncoder, EncodesAFaithfulJpegAndReportsFailure)
{
    DemoCamScene scene(QSize(400, 300));
    const QImage picture = scene.render(5, kMoment, 3);
    DemoCamJpegEncoder encoder;
    const QByteArray good = encoder.encode(picture, 85);
    ASSERT_FALSE(good.isEmpty()) << encoder.errorString().toStdString();
    const QImage decoded = QImage::fromData(good, "JPEG");
    ASSERT_EQ(decoded.size(), picture.size());
    EXPECT_LT(meanChannelDifference(decoded.convertToFormat(QImage::Format_RGB32), picture), 6.0);

    // Channel order: a pure red picture must come back red, not blue.
    QImage red(64, 64, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    const QImage redBack = QImage::fromData(encoder.encode(red, 90), "JPEG");
    ASSERT_FALSE(redBack.isNull());
    EXPECT_GT(qRed(redBack.pixel(32, 32)), 240);
    EXPECT_LT(qBlue(redBack.pixel(32, 32)), 15);

    // Other pixel formats are converted first.
    const QImage rgb888 = picture.convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(QImage::fromData(encoder.encode(rgb888, 85), "JPEG").size(), picture.size());

    EXPECT_LT(encoder.encode(picture, 30).size(), good.size());

    EXPECT_TRUE(encoder.encode(QImage(), 85).isEmpty());
    EXPECT_FALSE(encoder.errorString().isEmpty());
}
