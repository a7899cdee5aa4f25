// Saving a 1920 x 1080 picture at quality 90 through SaveJpegFile against a
// bare tjCompress2 on the same pixels: the writer's own work (temporary file,
// rename, metadata) must stay small beside the encoding.
//
//   cmake --build build --target bench_JpegWriter && build/bench/bench_JpegWriter
//
// BM_SaveVsBare runs the bare encoder, a save to a new name and a save over
// an existing file in turn in every iteration and reports the times and the
// ratios to the bare encoder (target: <= 1.25), by the wall clock and by this
// thread's CPU time (the steadier figure on a busy machine).

#include <chrono>
#include <ctime>

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <QTemporaryDir>

#include "BenchCodecs.h"
#include "BenchScene.h"
#include "BenchTiming.h"
#include "DibSection.h"
#include "JpegWriter.h"

namespace {

constexpr int kQuality = 90;

// The shared scene with its top row first in memory, byte for byte the bitmap
// this benchmark has always encoded (the encoder, reading bottom-up, sees it
// upside down), so that figures compare with earlier runs.
const DibSection &scene()
{
    static const DibSection dib = [] {
        DibSection d;
        d.CreateFromPicture(cameraScene().mirrored());
        return d;
    }();
    return dib;
}

void BM_BareTjCompress2(benchmark::State &state)
{
    const DibSection &dib = scene();
    tjhandle handle = tjInitCompress();
    unsigned long size = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(size = bareCompress(handle, dib, kQuality));
    tjDestroy(handle);
    if (size == 0)
        state.SkipWithError("tjCompress2 failed");
    state.counters["jpeg_bytes"] = double(size);
}
BENCHMARK(BM_BareTjCompress2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The autosave case: every picture gets a name of its own.
void BM_SaveJpegFile_NewFile(benchmark::State &state)
{
    const DibSection &dib = scene();
    QTemporaryDir dir;
    int n = 0;
    for (auto _ : state)
        SaveJpegFile(dib, dir.filePath(QStringLiteral("scene%1.jpg").arg(n++)), kQuality);
}
BENCHMARK(BM_SaveJpegFile_NewFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Saving over the same file again and again: temporary file, rename over the
// old one, its permissions and times carried over.
void BM_SaveJpegFile_Replace(benchmark::State &state)
{
    const DibSection &dib = scene();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scene.jpg"));
    for (auto _ : state)
        SaveJpegFile(dib, path, kQuality);
}
BENCHMARK(BM_SaveJpegFile_Replace)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// All three in the same iteration, so drifting machine load hits them alike.
void BM_SaveVsBare(benchmark::State &state)
{
    const DibSection &dib = scene();
    QTemporaryDir dir;
    const QString replaced = dir.filePath(QStringLiteral("scene.jpg"));
    tjhandle handle = tjInitCompress();
    Lap bare, fresh, replace;
    int n = 0;
    for (auto _ : state) {
        timed(bare, CLOCK_THREAD_CPUTIME_ID,
              [&] { benchmark::DoNotOptimize(bareCompress(handle, dib, kQuality)); });
        const QString name = dir.filePath(QStringLiteral("new%1.jpg").arg(n++));
        timed(fresh, CLOCK_THREAD_CPUTIME_ID, [&] { SaveJpegFile(dib, name, kQuality); });
        timed(replace, CLOCK_THREAD_CPUTIME_ID, [&] { SaveJpegFile(dib, replaced, kQuality); });
    }
    tjDestroy(handle);
    const double iterations = double(state.iterations());
    state.counters["bare_ms"] = bare.wall / iterations;
    state.counters["new_ms"] = fresh.wall / iterations;
    state.counters["replace_ms"] = replace.wall / iterations;
    state.counters["new_ratio"] = fresh.wall / bare.wall;
    state.counters["replace_ratio"] = replace.wall / bare.wall;
    state.counters["new_cpu_ratio"] = fresh.cpu / bare.cpu;
    state.counters["replace_cpu_ratio"] = replace.cpu / bare.cpu;
}
BENCHMARK(BM_SaveVsBare)->Unit(benchmark::kMillisecond)->MinTime(4.0);

void BM_Resample(benchmark::State &state)
{
    const DibSection &dib = scene();
    const int newWidth = int(state.range(0));
    const int newHeight = int(state.range(1));
    for (auto _ : state) {
        auto result = dib.Resample(newHeight, newWidth);
        benchmark::DoNotOptimize(result.get());
    }
    state.SetItemsProcessed(state.iterations() * newWidth * newHeight);
}
BENCHMARK(BM_Resample)->Args({960, 540})->Args({640, 480})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
