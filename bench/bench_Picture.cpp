// Decoding a 1920 x 1080 snapshot (about 280 KB of JPEG) in full against
// decoding it at the size a panel shows it (85 x 64): libjpeg scales in the
// DCT, so the panel-size decode skips most of the work.
//
//   cmake --build build --target bench_Picture && build/bench/bench_Picture
//
// BM_PanelSizeVsFull runs both in every iteration and reports the ratio by
// this thread's CPU time, the steadier figure on a busy machine.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include "BenchCodecs.h"
#include "BenchScene.h"
#include "JpegStructure.h"
#include "Picture.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// Light, shapes with edges, texture and sensor noise: a camera-like picture
// that encodes to about 280 KB at quality 85, not a flat one that decodes
// suspiciously fast.
const QByteArray &snapshot()
{
    static const QByteArray bytes = [] {
        QImage image = noisyPicture(kWidth, kHeight, [](int x, int y, std::uint32_t noise) {
            const int grain = int(noise >> 29) - 4;
            const double light = 0.5 + 0.5 * std::sin(x * 0.004) * std::cos(y * 0.006);
            const double texture = 20 * std::sin(x * 0.31 + y * 0.17);
            return qRgb(std::clamp(int(200 * light + texture) + grain, 0, 255),
                        std::clamp(int(90 + 110 * light) + grain, 0, 255),
                        std::clamp(int(60 + 120 * light - texture) + grain, 0, 255));
        });
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < 12; ++i) {
            painter.setBrush(QColor::fromHsv((i * 37) % 360, 200, 220));
            painter.drawEllipse(QPointF(150 + i * 140, 300 + 200 * std::sin(i)), 90, 60);
            painter.drawRect(100 + i * 150, 700, 80, 200 - i * 10);
        }
        painter.end();
        return cameraJpeg(image, 85);
    }();
    return bytes;
}

bool checkSnapshot(benchmark::State &state)
{
    if (snapshot().isEmpty()) {
        state.SkipWithError("cannot encode the snapshot");
        return false;
    }
    state.counters["jpeg_kb"] = double(snapshot().size()) / 1024.0;
    return true;
}

// Every pixel of the picture, as the viewer at zoom 1 or a save needs it.
void BM_DecodeFull(benchmark::State &state)
{
    if (!checkSnapshot(state))
        return;
    for (auto _ : state) {
        const QImage image = bareDecode(snapshot());
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_DecodeFull)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// What picture arrival does: validate and make the panel thumbnail in one
// scaled decode.
void BM_DecodePanelSize(benchmark::State &state)
{
    if (!checkSnapshot(state))
        return;
    for (auto _ : state) {
        const Picture picture = Picture::fromBytes(snapshot());
        benchmark::DoNotOptimize(picture.isNull());
    }
}
BENCHMARK(BM_DecodePanelSize)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The naive way to the same thumbnail: decode everything, then scale down.
void BM_DecodeFullThenScale(benchmark::State &state)
{
    if (!checkSnapshot(state))
        return;
    for (auto _ : state) {
        const QImage thumb =
            bareDecode(snapshot())
                .scaled(Picture::panelSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(thumb.constBits());
    }
}
BENCHMARK(BM_DecodeFullThenScale)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Where nobody looks at the picture (recording without saving): the
// structure check that still refuses torn bodies, without decoding.
void BM_StructureCheck(benchmark::State &state)
{
    if (!checkSnapshot(state))
        return;
    for (auto _ : state) {
        const JpegStructure::Result result = JpegStructure::check(snapshot());
        benchmark::DoNotOptimize(result.complete);
    }
}
BENCHMARK(BM_StructureCheck)->Unit(benchmark::kMicrosecond);

double threadCpuMs()
{
    timespec now = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Both decodes in every iteration, so drifting load hits them alike.
void BM_PanelSizeVsFull(benchmark::State &state)
{
    if (!checkSnapshot(state))
        return;
    double panel = 0;
    double full = 0;
    for (auto _ : state) {
        double t0 = threadCpuMs();
        benchmark::DoNotOptimize(Picture::fromBytes(snapshot()).isNull());
        double t1 = threadCpuMs();
        panel += t1 - t0;
        benchmark::DoNotOptimize(bareDecode(snapshot()).constBits());
        full += threadCpuMs() - t1;
    }
    const double n = double(state.iterations());
    state.counters["panel_cpu_ms"] = panel / n;
    state.counters["full_cpu_ms"] = full / n;
    state.counters["full_over_panel"] = full / panel;
}
BENCHMARK(BM_PanelSizeVsFull)->Unit(benchmark::kMillisecond)->MinTime(4.0);

} // namespace

BENCHMARK_MAIN();
