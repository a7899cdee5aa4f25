#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <QDateTime>
#include <QPainter>
#include <QString>

#include "DemoCamJpegEncoder.h"
#include "DemoCamScene.h"
#include "Picture.h"
#include "SceneChangeDetector.h"

namespace {

// The two roads a picture takes to the detector: the recorder's eighth-scale
// decode of the camera's JPEG, and the window's panel decode.
enum class Road { Record, Panel };

GreyPicture decodeFor(Road road, const QByteArray &jpeg)
{
    if (road == Road::Record)
        return GreyPicture::fromJpeg(jpeg);
    return GreyPicture::fromImage(Picture::fromBytes(jpeg).thumbnail());
}

// What the detector made of a run of pictures.
struct Run
{
    QList<int> starts; // picture numbers (0-based) where a change started
    QList<int> ends;   // ... and where one ended
    QString trace;     // one line per picture, for a failure message
    int mostCells = 0; // the most cells found changed in one picture
};

struct Feeder
{
    explicit Feeder(DetectionOptions options = {})
        : detector(std::move(options))
    {
    }
    void feed(const GreyPicture &picture)
    {
        const SceneVerdict v = detector.judge(picture);
        if (v.started)
            run.starts << count;
        if (v.ended)
            run.ends << count;
        run.mostCells = std::max(run.mostCells, int(v.changedCells.count(true)));
        run.trace += QStringLiteral("#%1 cells=%2 area=%3%%4%5%6\n")
                         .arg(count)
                         .arg(v.changedCells.count(true))
                         .arg(v.changedPercent, 0, 'f', 1)
                         .arg(v.started ? QStringLiteral(" started") : QString())
                         .arg(v.ended ? QStringLiteral(" ended") : QString())
                         .arg(v.relearned ? QStringLiteral(" relearned") : QString());
        ++count;
    }
    SceneChangeDetector detector;
    Run run;
    int count = 0;
};

// 2026-12-09 00:00:00 UTC, a whole hour, twenty minutes and minute.
constexpr qint64 kMidnight = 1796774400;

struct SceneCase
{
    const char *name;
    DemoSceneKind kind;
    qint64 firstSecond; // after kMidnight
    int stepSeconds;
    int pictures;
    QList<int> starts; // expected
    QList<int> ends;
    int quality = 85; // of the camera's JPEG
    QSize size{1920, 1080};
};

// The demo camera's scenes (1080p at quality 85 unless a row says otherwise), each run long enough
// to hold its whole happening. Walker: pictures 0..9 show seconds 40..58 (empty), the walker
// crosses during seconds 0..19 of the next minute (pictures 11..19; at second
// 0 it is still outside), and the two pictures after end it. Small: the parcel
// lies there at seconds 30, 32 and 34 (pictures 5..7). Clock: the seconds run
// over the turn of an hour, when every digit of the time changes.
const SceneCase kScenes[] = {
    {"still", DemoSceneKind::Still, 0, 2, 20, {}, {}},
    {"dawn", DemoSceneKind::Dawn, 0, 30, 41, {}, {}},
    {"lights", DemoSceneKind::Lights, 0, 5, 25, {}, {}},
    {"clock", DemoSceneKind::Clock, 3600 - 12, 1, 24, {}, {}},
    {"rain", DemoSceneKind::Rain, 0, 2, 20, {}, {}},
    {"walker", DemoSceneKind::Walker, 40, 2, 30, {11}, {21}},
    {"small", DemoSceneKind::Small, 20, 2, 15, {5}, {9}},
    // One picture every 10 s: the walker is in one picture only (second 10 of
    // the minute, picture 3), gone in the next.
    {"walker_seen_once", DemoSceneKind::Walker, 40, 10, 8, {3}, {5}},
    // A camera that compresses hard: blocks and ringing are noise too.
    {"clock_quality_40", DemoSceneKind::Clock, 3600 - 12, 1, 24, {}, {}, 40},
    {"walker_quality_40", DemoSceneKind::Walker, 40, 2, 30, {11}, {21}, 40},
    // An old VGA camera: the eighth-scale decode is only 80 x 60.
    {"rain_vga", DemoSceneKind::Rain, 0, 2, 20, {}, {}, 85, {640, 480}},
    {"small_vga", DemoSceneKind::Small, 20, 2, 15, {5}, {9}, 85, {640, 480}},
};

class SceneTable : public ::testing::TestWithParam<SceneCase>
{
};

TEST_P(SceneTable, DefaultsFindExactlyTheHappenings)
{
    const SceneCase &scene = GetParam();
    DemoCamScene camera(scene.size, scene.kind);
    DemoCamJpegEncoder encoder;
    Feeder record, panel;
    for (int i = 0; i < scene.pictures; ++i) {
        const qint64 second = kMidnight + scene.firstSecond + qint64(i) * scene.stepSeconds;
        const QByteArray jpeg = encoder.encode(
            camera.render(1, QDateTime::fromSecsSinceEpoch(second, Qt::UTC), 1), scene.quality);
        ASSERT_FALSE(jpeg.isEmpty());
        record.feed(decodeFor(Road::Record, jpeg));
        panel.feed(decodeFor(Road::Panel, jpeg));
    }
    for (const Feeder *road : {&record, &panel}) {
        const char *which = road == &record ? "record decode" : "panel decode";
        EXPECT_EQ(road->run.starts, scene.starts) << which << "\n" << road->run.trace.toStdString();
        EXPECT_EQ(road->run.ends, scene.ends) << which << "\n" << road->run.trace.toStdString();
        // The line the README's table of events is made from.
        std::printf("scene %-6s %-13s %2d pictures, %lld changes, most cells changed at once %d\n",
                    scene.name, which, scene.pictures, qlonglong(road->run.starts.size()),
                    road->run.mostCells);
    }
}

INSTANTIATE_TEST_SUITE_P(DemoScenes, SceneTable, ::testing::ValuesIn(kScenes),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

namespace {

const QSize kSize(960, 540);

QDateTime at(qint64 second)
{
    return QDateTime::fromSecsSinceEpoch(kMidnight + second, Qt::UTC);
}

// A still view at picture i, drawn on by paint, through the recorder's road.
template <typename Paint>
GreyPicture still(DemoCamScene &scene, DemoCamJpegEncoder &encoder, int i, Paint paint)
{
    QImage image = scene.render(2, at(i * 2), 1);
    paint(image);
    return GreyPicture::fromJpeg(encoder.encode(image, 85));
}

QImage withGain(const QImage &image, double gain, double gamma = 1.0)
{
    QImage out = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            auto level = [&](int v) {
                return qBound(0, int(255.0 * gain * std::pow(v / 255.0, gamma)), 255);
            };
            row[x] = qRgb(level(qRed(row[x])), level(qGreen(row[x])), level(qBlue(row[x])));
        }
    }
    return out;
}

// The parcel of the small scene, as the scene draws it.
QRect parcelRect(QSize size)
{
    const double side = std::sqrt(0.015 * size.width() * size.height());
    return QRectF(size.width() * 0.55, size.height() * 0.82 - side / 2, side, side).toAlignedRect();
}

struct LightCase
{
    const char *name;
    double gain;
    double gamma;
};

const LightCase kLights[] = {
    {"LightsOff", 0.35, 1.0},
    {"LightsOnClipping", 2.0, 1.0},
    {"ExposureCurve", 1.0, 0.5},
    {"CloudAndCurve", 0.7, 1.6},
};

class Lightswitch : public ::testing::TestWithParam<LightCase>
{
};

TEST_P(Lightswitch, WholePictureBrightnessIsNoChange)
{
    DemoCamScene scene(kSize, DemoSceneKind::Still);
    DemoCamJpegEncoder encoder;
    Feeder feeder;
    for (int i = 0; i < 8; ++i) {
        feeder.feed(still(scene, encoder, i, [&](QImage &image) {
            if (i < 4)
                return;
            image = withGain(image, GetParam().gain, GetParam().gamma);
        }));
    }
    EXPECT_TRUE(feeder.run.starts.isEmpty()) << feeder.run.trace.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Kinds, Lightswitch, ::testing::ValuesIn(kLights),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(SceneChangeDetector, DayNightSwitchToGreyIsNoChangeAndAWalkerAfterItIs)
{
    DemoCamScene scene(kSize, DemoSceneKind::Walker);
    DemoCamJpegEncoder encoder;
    Feeder feeder;
    bool relearnedAtSwitch = false;
    // Seconds 40..58 empty; the night picture (grey, brighter under infrared)
    // comes at second 50; the walker arrives at second 62.
    for (int i = 0; i < 16; ++i) {
        QImage image = scene.render(2, at(40 + 2 * i), 1);
        if (i >= 5)
            image = withGain(image.convertToFormat(QImage::Format_Grayscale8), 1.3);
        const SceneVerdict before =
            feeder.detector.judge(GreyPicture::fromJpeg(encoder.encode(image, 85)));
        if (i == 5)
            relearnedAtSwitch = before.relearned;
        feeder.run.starts << (before.started ? i : -1);
    }
    feeder.run.starts.removeAll(-1);
    EXPECT_TRUE(relearnedAtSwitch);
    EXPECT_EQ(feeder.run.starts, QList<int>{11});
}

TEST(SceneChangeDetector, MaskedCellsHideAChangeThatIsFoundWithoutThem)
{
    DemoCamScene scene(kSize, DemoSceneKind::Small);
    DemoCamJpegEncoder encoder;
    QList<GreyPicture> pictures;
    for (int i = 0; i < 10; ++i)
        pictures << GreyPicture::fromJpeg(encoder.encode(scene.render(2, at(24 + 2 * i), 1), 85));

    Feeder open;
    CellMask mask;
    for (const GreyPicture &picture : pictures) {
        const SceneVerdict v = open.detector.judge(picture);
        for (int c = 0; c < SceneChangeDetector::Cells; ++c) {
            if (v.changedCells.size() && v.changedCells.testBit(c))
                mask.setExcluded(c % CellMask::Columns, c / CellMask::Columns, true);
        }
        open.run.starts << (v.started ? 1 : 0);
    }
    ASSERT_EQ(open.run.starts.count(1), 1);
    // The overlay shows the parcel where it lies, give or take the cells it touches.
    const QRect parcel = parcelRect(kSize);
    for (int c = 0; c < SceneChangeDetector::Cells; ++c) {
        if (mask.isExcluded(c)) {
            EXPECT_TRUE(SceneChangeDetector::cellRect(c, kSize).intersects(parcel))
                << "cell " << c << " changed away from the parcel";
        }
    }

    DetectionOptions options;
    options.mask = mask;
    Feeder masked(options);
    for (const GreyPicture &picture : pictures)
        masked.feed(picture);
    EXPECT_TRUE(masked.run.starts.isEmpty()) << masked.run.trace.toStdString();
}

TEST(SceneChangeDetector, MinimumAreaAndSensitivityDecideWhatCounts)
{
    // A flat, noisy field and a faint square of 3 % of the picture, 8 levels up.
    const auto field = [](int i, bool square) {
        QImage image(240, 135, QImage::Format_Grayscale8);
        quint32 state = quint32(i) * 2654435761u + 1;
        const QRect r(100, 50, 42, 23);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                state = state * 1664525u + 1013904223u;
                const int noise = int(state >> 29) - 4;
                image.scanLine(y)[x] = uchar(100 + noise + (square && r.contains(x, y) ? 8 : 0));
            }
        }
        return GreyPicture::fromImage(image);
    };
    const auto starts = [&](int sensitivity, double minArea) {
        DetectionOptions options;
        options.sensitivity = sensitivity;
        options.minAreaPercent = minArea;
        Feeder feeder(options);
        for (int i = 0; i < 6; ++i)
            feeder.feed(field(i, i == 4));
        return feeder.run.starts;
    };
    EXPECT_EQ(starts(90, 1.0), QList<int>{4});
    EXPECT_EQ(starts(DetectionOptions::DefaultSensitivity, 1.0), QList<int>{4});
    EXPECT_TRUE(starts(DetectionOptions::MinSensitivity, 1.0).isEmpty());
    EXPECT_TRUE(starts(90, 10.0).isEmpty());
}

TEST(SceneChangeDetector, AThingThatStaysBecomesBackgroundAndTheChangeEnds)
{
    DemoCamScene scene(kSize, DemoSceneKind::Still);
    DemoCamJpegEncoder encoder;
    Feeder feeder;
    const QRect parcel = parcelRect(kSize);
    for (int i = 0; i < 20; ++i) {
        feeder.feed(still(scene, encoder, i, [&](QImage &image) {
            if (i >= 3)
                QPainter(&image).fillRect(parcel, QColor(230, 150, 60));
        }));
    }
    EXPECT_EQ(feeder.run.starts, QList<int>{3}) << feeder.run.trace.toStdString();
    ASSERT_EQ(feeder.run.ends.size(), 1) << feeder.run.trace.toStdString();
    EXPECT_LE(feeder.run.ends.front(), 3 + 8 + DetectionOptions::DefaultQuietToEnd);
}

TEST(SceneChangeDetector, PicturesItCannotJudgeTeachItNothing)
{
    SceneChangeDetector detector;
    EXPECT_TRUE(detector.judge(GreyPicture()).changedCells.isEmpty());
    EXPECT_TRUE(detector.judge(GreyPicture::fromImage(QImage(10, 10, QImage::Format_RGB32)))
                    .changedCells.isEmpty());
    EXPECT_TRUE(GreyPicture::fromJpeg("not a jpeg").isNull());
    DemoCamScene scene(QSize(640, 360), DemoSceneKind::Still);
    DemoCamJpegEncoder encoder;
    const QImage colour = scene.render(1, at(0), 1);
    const QByteArray jpeg = encoder.encode(colour, 85);
    EXPECT_TRUE(GreyPicture::fromJpeg(jpeg.left(jpeg.size() / 2)).isNull()) << "a torn body";
    // An eighth of each side, and the colour a switch to night would lose.
    const GreyPicture day = GreyPicture::fromJpeg(jpeg);
    EXPECT_EQ(day.size(), QSize(80, 45));
    EXPECT_GT(day.colourfulness(), 3.0);
    EXPECT_GT(GreyPicture::fromImage(colour).colourfulness(), 3.0);
    const QByteArray night = encoder.encode(colour.convertToFormat(QImage::Format_Grayscale8), 85);
    EXPECT_LT(GreyPicture::fromJpeg(night).colourfulness(), 1.0);
    // The first picture it can judge is still its first.
    QImage grey(64, 48, QImage::Format_Grayscale8);
    grey.fill(90);
    EXPECT_TRUE(detector.judge(GreyPicture::fromImage(grey)).relearned);
}

TEST(CellMask, TextReadsBackAndRefusesOtherGrids)
{
    CellMask mask;
    EXPECT_EQ(mask.toText(), QString());
    mask.setExcluded(0, 0, true);
    mask.setExcluded(23, 17, true);
    mask.setExcluded(5, 9, true);
    mask.setExcluded(24, 0, true); // outside: ignored
    EXPECT_EQ(mask.excludedCount(), 3);
    const QString text = mask.toText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("24x18:8")));
    EXPECT_EQ(CellMask::fromText(text), mask);
    EXPECT_EQ(CellMask::fromText(QString()), CellMask());
    EXPECT_FALSE(CellMask::fromText(QStringLiteral("32x18:") + text.mid(6)));
    EXPECT_FALSE(CellMask::fromText(text.left(text.size() - 1)));
    EXPECT_FALSE(CellMask::fromText(text.left(text.size() - 1) + QLatin1Char('g')));
}

} // namespace
