#include <gtest/gtest.h>

#include <algorithm>
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
};

// The demo camera's scenes at 1080p, each run long enough to hold its whole
// happening. Walker: pictures 0..9 show seconds 40..58 (empty), the walker
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
};

class SceneTable : public ::testing::TestWithParam<SceneCase>
{
};

TEST_P(SceneTable, DefaultsFindExactlyTheHappenings)
{
    const SceneCase &scene = GetParam();
    DemoCamScene camera(QSize(1920, 1080), scene.kind);
    DemoCamJpegEncoder encoder;
    Feeder record, panel;
    for (int i = 0; i < scene.pictures; ++i) {
        const qint64 second = kMidnight + scene.firstSecond + qint64(i) * scene.stepSeconds;
        const QByteArray jpeg =
            encoder.encode(camera.render(1, QDateTime::fromSecsSinceEpoch(second, Qt::UTC), 1), 85);
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
