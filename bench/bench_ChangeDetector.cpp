// What change detection costs per 1080p picture: the detector alone on the
// small grey picture, the eighth-scale grey decode the recorder needs for it
// (the window reuses its panel decode instead), both together against the
// panel-size decode that is the floor of picture arrival, and the window's
// share (grey from the panel thumbnail, then the detector).
//
//   cmake --build build --target bench_ChangeDetector && build/bench/bench_ChangeDetector
//
// The pictures are the demo camera's walker scene at 1920 x 1080, quality 85:
// a minute of it, so the detector sees quiet pictures and a change alike.

#include <ctime>

#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QList>

#include "BenchTiming.h"
#include "DemoCamJpegEncoder.h"
#include "DemoCamScene.h"
#include "GreyPicture.h"
#include "Picture.h"
#include "SceneChangeDetector.h"

namespace {

const QList<QByteArray> &snapshots()
{
    static const QList<QByteArray> jpegs = [] {
        QList<QByteArray> list;
        DemoCamScene scene(QSize(1920, 1080), DemoSceneKind::Walker);
        DemoCamJpegEncoder encoder;
        const qint64 start = 1796774400 + 40;
        for (int i = 0; i < 30; ++i) {
            list << encoder.encode(
                scene.render(1, QDateTime::fromSecsSinceEpoch(start + 2 * i, Qt::UTC), 2), 85);
        }
        return list;
    }();
    return jpegs;
}

const QList<GreyPicture> &greys()
{
    static const QList<GreyPicture> list = [] {
        QList<GreyPicture> out;
        for (const QByteArray &jpeg : snapshots())
            out << GreyPicture::fromJpeg(jpeg);
        return out;
    }();
    return list;
}

bool ready(benchmark::State &state)
{
    for (const QByteArray &jpeg : snapshots()) {
        if (jpeg.isEmpty() || GreyPicture::fromJpeg(jpeg).isNull()) {
            state.SkipWithError("cannot make the demo pictures");
            return false;
        }
    }
    state.counters["jpeg_kb"] = double(snapshots().front().size()) / 1024.0;
    state.counters["grey_w"] = greys().front().size().width();
    return true;
}

// The detector alone, on the recorder's grey picture (240 x 135).
void BM_DetectOnly(benchmark::State &state)
{
    if (!ready(state))
        return;
    SceneChangeDetector detector;
    qsizetype i = 0;
    for (auto _ : state) {
        const SceneVerdict verdict = detector.judge(greys().at(i++ % greys().size()));
        benchmark::DoNotOptimize(verdict.changed);
    }
}
BENCHMARK(BM_DetectOnly)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// The eighth-scale grey decode alone.
void BM_GreyDecode(benchmark::State &state)
{
    if (!ready(state))
        return;
    qsizetype i = 0;
    for (auto _ : state) {
        const GreyPicture grey = GreyPicture::fromJpeg(snapshots().at(i++ % snapshots().size()));
        benchmark::DoNotOptimize(grey.isNull());
    }
}
BENCHMARK(BM_GreyDecode)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The recorder's whole cost of detection (grey decode and detector) beside
// the panel-size decode, in the same iteration so drifting load hits both;
// CPU time of this thread.
void BM_RecordDetectionVsPanelDecode(benchmark::State &state)
{
    if (!ready(state))
        return;
    SceneChangeDetector detector;
    Lap detection, panel;
    qsizetype i = 0;
    for (auto _ : state) {
        const QByteArray &jpeg = snapshots().at(i++ % snapshots().size());
        timed(detection, CLOCK_THREAD_CPUTIME_ID, [&] {
            benchmark::DoNotOptimize(detector.judge(GreyPicture::fromJpeg(jpeg)).changed);
        });
        timed(panel, CLOCK_THREAD_CPUTIME_ID,
              [&] { benchmark::DoNotOptimize(Picture::fromBytes(jpeg).isNull()); });
    }
    const double n = double(state.iterations());
    state.counters["detect_cpu_ms"] = detection.cpu / n;
    state.counters["panel_decode_cpu_ms"] = panel.cpu / n;
    state.counters["detect_over_panel"] = detection.cpu / panel.cpu;
}
BENCHMARK(BM_RecordDetectionVsPanelDecode)->Unit(benchmark::kMillisecond)->MinTime(4.0);

// The window's share: the panel thumbnail is there already; grey from it
// and the detector.
void BM_WindowDetection(benchmark::State &state)
{
    if (!ready(state))
        return;
    QList<QImage> thumbnails;
    for (const QByteArray &jpeg : snapshots())
        thumbnails << Picture::fromBytes(jpeg).thumbnail();
    SceneChangeDetector detector;
    qsizetype i = 0;
    for (auto _ : state) {
        const GreyPicture grey = GreyPicture::fromImage(thumbnails.at(i++ % thumbnails.size()));
        benchmark::DoNotOptimize(detector.judge(grey).changed);
    }
}
BENCHMARK(BM_WindowDetection)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
