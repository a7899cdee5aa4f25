#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>

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

namespace {

// Pixels whose grey level differs by more than `by` between the two pictures.
struct Difference
{
    double share = 0;     // of the picture
    QRect area;           // bounding box of those pixels
    double meanRatio = 1; // mean brightness of b over a
    double meanShift = 0; // mean brightness of b less a's, in grey levels
};

Difference compare(const QImage &a, const QImage &b, int by)
{
    Difference d;
    qint64 count = 0, sumA = 0, sumB = 0;
    const QImage ga = a.convertToFormat(QImage::Format_Grayscale8);
    const QImage gb = b.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < ga.height(); ++y) {
        for (int x = 0; x < ga.width(); ++x) {
            const int pa = ga.constScanLine(y)[x], pb = gb.constScanLine(y)[x];
            sumA += pa;
            sumB += pb;
            if (std::abs(pa - pb) > by) {
                ++count;
                d.area |= QRect(x, y, 1, 1);
            }
        }
    }
    d.share = double(count) / (double(ga.width()) * ga.height());
    d.meanRatio = double(sumB) / double(std::max<qint64>(sumA, 1));
    d.meanShift = double(sumB - sumA) / (double(ga.width()) * ga.height());
    return d;
}

QImage sceneAt(DemoSceneKind kind, qint64 second)
{
    // One scene a kind: it keeps the painted background between renders.
    static std::map<DemoSceneKind, DemoCamScene> scenes;
    DemoCamScene &scene = scenes.try_emplace(kind, QSize(640, 360), kind).first->second;
    // A whole hour, so the second of the minute is the scene's phase.
    return scene.render(1, QDateTime::fromSecsSinceEpoch(1796774400 + second, Qt::UTC), 1);
}

} // namespace

TEST(DemoCamScene, DetectionScenesHappenWhenAndWhereTheySay)
{
    // Still: only noise between two moments.
    EXPECT_EQ(compare(sceneAt(DemoSceneKind::Still, 0), sceneAt(DemoSceneKind::Still, 7), 8).share,
              0.0);

    // Walker: there in the first 20 s of a minute, on the ground, person-sized.
    const Difference walker =
        compare(sceneAt(DemoSceneKind::Walker, 30), sceneAt(DemoSceneKind::Walker, 10), 30);
    EXPECT_GT(walker.share, 0.005);
    EXPECT_LT(walker.share, 0.06);
    EXPECT_GT(walker.area.height(), 360 / 3);
    EXPECT_EQ(
        compare(sceneAt(DemoSceneKind::Walker, 30), sceneAt(DemoSceneKind::Walker, 50), 8).share,
        0.0);

    // Small: a parcel of about 1.5 % from second 30 to 35.
    const Difference parcel =
        compare(sceneAt(DemoSceneKind::Small, 20), sceneAt(DemoSceneKind::Small, 32), 30);
    EXPECT_GT(parcel.share, 0.012);
    EXPECT_LT(parcel.share, 0.018);
    EXPECT_EQ(
        compare(sceneAt(DemoSceneKind::Small, 20), sceneAt(DemoSceneKind::Small, 36), 8).share,
        0.0);

    // Lights: the whole picture jumps at the half minute.
    EXPECT_LT(compare(sceneAt(DemoSceneKind::Lights, 10), sceneAt(DemoSceneKind::Lights, 40), 8)
                  .meanRatio,
              0.5);

    // Dawn: dark to bright over ten minutes, never a jump between two half minutes.
    EXPECT_GT(
        compare(sceneAt(DemoSceneKind::Dawn, 0), sceneAt(DemoSceneKind::Dawn, 600), 8).meanRatio,
        4.0);
    for (qint64 s = 0; s < 1200; s += 30) {
        const double step =
            compare(sceneAt(DemoSceneKind::Dawn, s), sceneAt(DemoSceneKind::Dawn, s + 30), 8)
                .meanShift;
        EXPECT_LT(std::abs(step), 8.0) << s;
    }

    // Clock: only the top left corner, where the time is written.
    const Difference clock =
        compare(sceneAt(DemoSceneKind::Clock, 8), sceneAt(DemoSceneKind::Clock, 9), 30);
    EXPECT_GT(clock.share, 0.0);
    EXPECT_LT(clock.area.right(), 640 / 2);
    EXPECT_LT(clock.area.bottom(), 360 / 8);

    // Rain: all over the picture.
    const Difference rain =
        compare(sceneAt(DemoSceneKind::Rain, 0), sceneAt(DemoSceneKind::Rain, 1), 12);
    EXPECT_GT(rain.area.width(), 640 * 3 / 4);
    EXPECT_GT(rain.area.height(), 360 * 3 / 4);
}
