// What a hostile body costs: refused by the structure gate, against what the
// decoders would have spent on it.
//
//   cmake --build build --target bench_HostilePictures && build/bench/bench_HostilePictures
//
// BM_Refuse* run every regression input (tests/data/regressions) and a
// 1920 x 1080 progressive JPEG with one scan over the limit through
// Picture::fromBytes, as an arriving body goes. BM_DecoderAlone* hand the
// same kind of bodies to the image reader with no gate, to show what the gate
// saves.

#include <map>

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>

#include "JpegStructure.h"
#include "Picture.h"
#include "TestPictures.h"

namespace {

const QList<QByteArray> &regressionInputs()
{
    static const QList<QByteArray> inputs = [] {
        QList<QByteArray> read;
        const QDir dir(QStringLiteral(TESSALY_TEST_DATA_DIR "/regressions"));
        for (const QString &name : dir.entryList(QDir::Files)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                read.append(file.readAll());
        }
        return read;
    }();
    return inputs;
}

const QByteArray &manyScans(int scans)
{
    static std::map<int, QByteArray> made;
    auto &bytes = made[scans];
    if (bytes.isEmpty())
        bytes = TestPictures::manyScanJpeg(QSize(1920, 1080), scans);
    return bytes;
}

QImage readerAlone(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setScaledSize(Picture::panelSize());
    return reader.read();
}

void BM_RefuseRegressionInputs(benchmark::State &state)
{
    if (regressionInputs().isEmpty()) {
        state.SkipWithError("no regression inputs found");
        return;
    }
    for (auto _ : state) {
        for (const QByteArray &input : regressionInputs()) {
            const Picture picture = Picture::fromBytes(input);
            if (!picture.isNull())
                state.SkipWithError("a regression input was accepted");
        }
    }
    state.counters["inputs"] = double(regressionInputs().size());
}
BENCHMARK(BM_RefuseRegressionInputs)->Unit(benchmark::kMicrosecond);

// The fewest scans over the limit for 1920 x 1080.
int scansOverTheLimit()
{
    return int(JpegStructure::MaxScanWork / (1920 * 1080)) + 1;
}

void BM_RefuseManyScanJpeg(benchmark::State &state)
{
    const QByteArray &bytes = manyScans(scansOverTheLimit());
    for (auto _ : state) {
        if (!Picture::fromBytes(bytes).isNull())
            state.SkipWithError("a JPEG over the scan limit was accepted");
    }
    state.counters["bytes"] = double(bytes.size());
}
BENCHMARK(BM_RefuseManyScanJpeg)->Unit(benchmark::kMicrosecond);

// The image reader alone on a many-scan JPEG, at the panel's size: what one
// such body cost every interval before the gate. Arg: number of scans.
void BM_DecoderAloneManyScanJpeg(benchmark::State &state)
{
    const QByteArray &bytes = manyScans(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(readerAlone(bytes).isNull());
    state.counters["bytes"] = double(bytes.size());
}
// 10 is what an encoder writes; one under scansOverTheLimit() is the worst the
// gate lets through at this size.
BENCHMARK(BM_DecoderAloneManyScanJpeg)
    ->Arg(10)
    ->Arg(int(JpegStructure::MaxScanWork / (1920 * 1080)))
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

BENCHMARK_MAIN();
