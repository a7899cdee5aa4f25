// Timelapse export from 1080p camera pictures: pictures a second through
// decode, conversion, H.264 encoding and the MP4 file, one frame per picture.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/resource.h>

#include "TimelapseExporter.h"

namespace {

constexpr int Pictures = 120;

// A yard-like scene that changes a little from picture to picture, with
// sensor noise, saved as a camera would (quality 90, 4:2:0).
QList<TimelapsePicture> makePictures(const QString &folder)
{
    QList<TimelapsePicture> pictures;
    QImage base(1920, 1080, QImage::Format_RGB32);
    for (int y = 0; y < base.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(base.scanLine(y));
        for (int x = 0; x < base.width(); ++x)
            row[x] = qRgb((x / 7) % 256, (y / 4) % 256, ((x + y) / 11) % 256);
    }
    QRandomGenerator noise(7);
    for (int n = 0; n < Pictures; ++n) {
        QImage image = base;
        QPainter painter(&image);
        painter.fillRect(100 + n * 12, 500, 200, 300, QColor(200, 40, 40));
        painter.end();
        for (int y = 0; y < image.height(); y += 2) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); x += 3)
                row[x] ^= noise.bounded(8);
        }
        const QString path = folder + QStringLiteral("/p%1.jpg").arg(n);
        image.save(path, "JPG", 90);
        pictures.append({qint64(n) * 1000, path});
    }
    return pictures;
}

void BM_Export1080p(benchmark::State &state)
{
    QTemporaryDir folder;
    const QList<TimelapsePicture> pictures = makePictures(folder.path());
    TimelapseOptions options;
    options.output = folder.path() + QStringLiteral("/out.mp4");
    options.fps = 30;
    options.speed = 30; // one picture a frame
    int frames = 0;
    // Process CPU over every thread (x264 has its own): what the export costs
    // whatever else runs on the machine. Two cores give 2000 ms a second.
    auto cpuMs = [] {
        rusage usage = {};
        getrusage(RUSAGE_SELF, &usage);
        return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    };
    const double cpuBefore = cpuMs();
    for (auto _ : state) {
        const TimelapseSummary summary =
            TimelapseExporter::exportNow(pictures, options, {}, std::atomic<bool>(false));
        if (!summary.ok()) {
            state.SkipWithError("the export failed");
            return;
        }
        frames += summary.frames;
    }
    state.counters["cpu_ms_per_picture"] = (cpuMs() - cpuBefore) / std::max(1, frames);
    state.counters["pictures_per_s_on_2_idle_cores"] =
        2000.0 / std::max(1e-9, (cpuMs() - cpuBefore) / std::max(1, frames));
    state.counters["pictures_per_s"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["file_kB"] = double(QFile(options.output).size()) / 1024.0;
}
BENCHMARK(BM_Export1080p)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
