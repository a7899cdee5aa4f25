#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImageWriter>

#include "BenchScene.h"
#include "GridPicture.h"
#include "WebCameraBoard.h"

// What a grid tile costs the web view: one DCT-scaled decode and one small
// encode per new picture of a 1080p camera, made once however many phones
// watch.

namespace {
QByteArray sceneJpeg()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(85);
    writer.write(cameraScene());
    return bytes;
}
} // namespace

static void BM_GridPicture1080p(benchmark::State &state)
{
    const QByteArray jpeg = sceneJpeg();
    for (auto _ : state)
        benchmark::DoNotOptimize(GridPicture::make(jpeg));
    state.counters["camera KiB"] = double(jpeg.size()) / 1024;
    state.counters["tile KiB"] = double(GridPicture::make(jpeg).size()) / 1024;
}
BENCHMARK(BM_GridPicture1080p)->Unit(benchmark::kMillisecond);

// Three phones asking for the same new picture: one tile made, two served from the board.
static void BM_BoardGridForThreePhones(benchmark::State &state)
{
    const QByteArray jpeg = sceneJpeg();
    WebCameraBoard board;
    board.setCamera(1, QStringLiteral("Yard"), QStringLiteral("1"));
    qint64 n = 0;
    for (auto _ : state) {
        QByteArray changed = jpeg;
        changed[changed.size() - 3] = char(++n); // a new picture every round
        board.setPicture(1, changed, QDateTime());
        for (int phone = 0; phone < 3; ++phone)
            benchmark::DoNotOptimize(board.gridPicture(1, GridPicture::make));
    }
}
BENCHMARK(BM_BoardGridForThreePhones)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
