// The first scan of a cam/ folder of 600,000 pictures: 24 cameras with 25,000
// each, empty files under the saving rule's names. The folder is made once
// (TESSALY_BENCH_CAM, or a folder in the temporary directory) and kept for
// the next run; each iteration starts from no index at all.
#include <benchmark/benchmark.h>

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include "PictureIndex.h"
#include "SnapshotFileName.h"

namespace {

constexpr int Cameras = 24;
constexpr int PerCamera = 25000;

QStringList cameraNames()
{
    QStringList names;
    for (int c = 0; c < Cameras; ++c)
        names.append(QStringLiteral("Camera %1").arg(c + 1));
    return names;
}

QString benchFolder()
{
    const QString chosen = qEnvironmentVariable("TESSALY_BENCH_CAM");
    const QString folder =
        chosen.isEmpty() ? QDir::tempPath() + QStringLiteral("/tessaly-bench-cam-600k") : chosen;
    const QString done = folder + QStringLiteral("/.made");
    if (QFile::exists(done))
        return folder;
    QDir().mkpath(folder);
    const QDateTime start(QDate(2026, 7, 12), QTime(0, 0, 0));
    for (int c = 0; c < Cameras; ++c) {
        const QString camera = QStringLiteral("Camera %1").arg(c + 1);
        for (int n = 0; n < PerCamera; ++n) {
            // Three seconds apart, so the day and the next are both used.
            const QByteArray path =
                QFile::encodeName(folder + QLatin1Char('/') +
                                  SnapshotFileName::make(camera, start.addSecs(qint64(n) * 3)));
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::close(fd);
        }
    }
    QFile(done).open(QIODevice::WriteOnly);
    return folder;
}

void BM_FirstScan600k(benchmark::State &state)
{
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    const QString folder = benchFolder();
    int added = 0;
    qint64 slowestLookUpUs = 0;
    for (auto _ : state) {
        const QString database = PictureIndex::databasePathFor(folder);
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(database + QString::fromLatin1(suffix));
        QElapsedTimer clock;
        clock.start();

        PictureIndex index(folder);
        if (!index.open()) {
            state.SkipWithError("the index does not open");
            return;
        }
        // The program knows its camera list; that settles names that read two ways.
        index.setKnownCameras(cameraNames());
        ScanSummary summary;
        QObject::connect(
            &index, &PictureIndex::scanFinished, &index,
            [&summary](const ScanSummary &s) { summary = s; }, Qt::DirectConnection);
        index.startScan();
        // What a window would feel meanwhile: a day's look-up every few milliseconds.
        while (index.isScanning()) {
            QElapsedTimer lookUp;
            lookUp.start();
            benchmark::DoNotOptimize(index.count(QStringLiteral("Camera1")));
            slowestLookUpUs = std::max(slowestLookUpUs, lookUp.nsecsElapsed() / 1000);
            usleep(5000);
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        added = summary.added;
        // The sizes that follow are not part of the scan.
    }
    state.counters["pictures"] = added;
    state.counters["slowestLookUpMs"] = double(slowestLookUpUs) / 1000.0;
}
BENCHMARK(BM_FirstScan600k)->Iterations(1)->Unit(benchmark::kSecond)->UseManualTime();

void BM_RescanUnchanged600k(benchmark::State &state)
{
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    const QString folder = benchFolder();
    double openMs = 0;
    {
        PictureIndex first(folder);
        if (!first.open()) {
            state.SkipWithError("the index does not open");
            return;
        }
        first.setKnownCameras(cameraNames());
        first.scanNow();
    }
    // Opening a full index again: SQLite's quick check of 600,000 rows.
    PictureIndex index(folder);
    QElapsedTimer clock;
    clock.start();
    if (!index.open()) {
        state.SkipWithError("the index does not open again");
        return;
    }
    openMs = double(clock.nsecsElapsed()) / 1e6;
    index.setKnownCameras(cameraNames());
    for (auto _ : state)
        benchmark::DoNotOptimize(index.scanNow().kept);
    state.counters["open_ms"] = openMs;
    QElapsedTimer day;
    day.start();
    const int pictures = int(index.day(QStringLiteral("Camera7"), QDate(2026, 7, 12)).size());
    state.counters["day_query_ms"] = double(day.nsecsElapsed()) / 1e6;
    state.counters["day_pictures"] = pictures;
}
BENCHMARK(BM_RescanUnchanged600k)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessaly-bench"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
