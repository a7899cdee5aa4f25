// The autosave path for a 1920 x 1080 camera picture against its two
// unavoidable parts, a bare full decode and a bare q90 encode, in one run.
//
//   cmake --build build --target bench_SavePath && build/bench/bench_SavePath
//
// BM_AutosaveVsBare times, in every iteration and in turn:
// - bare decode: QImageReader reading the received JPEG at full size (the
//   decoder pictures use), nothing around it;
// - bare encode: tjCompress2 at quality 90 on the same pixels as bottom-up BGR
//   rows (what SaveJpegFile hands the encoder);
// - arrival: the panel's picture made from the received bytes as picture
//   arrival makes it with autosave on and a new picture: decoded once in full
//   (Picture::fromBytesInFull), the thumbnail made from those pixels, the
//   decode held until the save step has run;
// - save step: PictureSaver's reaction to pictureArrived for a new picture:
//   name, full decode, bitmap, encode, exclusive write, the panel showing the
//   saved file, the status text.
// It reports each by the process's CPU time (steadier than the wall clock on a
// shared machine, and it counts the work Qt hands to its thread pool when it
// scales or converts large images) and by the wall clock, and the ratios to bare decode + bare
// encode: save_cpu_ratio for the save step alone, picture_cpu_ratio for everything a new picture
// costs with autosave on (arrival + save step). Target: <= 1.2.

#include <chrono>
#include <ctime>
#include <memory>

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "BenchCodecs.h"
#include "BenchScene.h"
#include "BenchTiming.h"
#include "CameraEngine.h"
#include "DibSection.h"
#include "Picture.h"
#include "PictureSaver.h"

namespace {

constexpr int kQuality = 90;

// What a camera sends: the scene as a JPEG (quality 85, as cameras often use).
QByteArray received()
{
    return cameraJpeg(cameraScene(), 85);
}

void BM_AutosaveVsBare(benchmark::State &state)
{
    QTemporaryDir home;
    qputenv("TESSALY_HOME", QFile::encodeName(home.path()));
    QDir(home.path()).mkpath(QStringLiteral("cam"));

    const QByteArray jpeg = received();
    DibSection pixels;
    pixels.CreateFromPicture(bareDecode(jpeg));
    if (pixels.isEmpty()) {
        state.SkipWithError("cannot decode the test picture");
        return;
    }

    const QSize thumbnailSize = Picture::panelSize();
    PictureSaver saver;
    saver.setAutoSave(true);
    saver.setTimeSource([] { return QDateTime(QDate(2026, 7, 12), QTime(8, 5, 9)); });
    QString savedPath;
    QObject::connect(&saver, &PictureSaver::pictureSaved,
                     [&](const SaveReport &report) { savedPath = report.path; });

    // 1: arrival as the engine does it with autosave on; 0: a thumbnail-size
    // decode on arrival and the full decode in the save, for comparison.
    const bool inFull = state.range(0) != 0;
    tjhandle handle = tjInitCompress();
    Lap decode, encode, arrival, save;
    for (auto _ : state) {
        timed(decode, CLOCK_PROCESS_CPUTIME_ID,
              [&] { benchmark::DoNotOptimize(bareDecode(jpeg)); });
        timed(encode, CLOCK_PROCESS_CPUTIME_ID,
              [&] { benchmark::DoNotOptimize(bareCompress(handle, pixels, kQuality)); });
        Picture picture;
        std::shared_ptr<const QImage> held;
        timed(arrival, CLOCK_PROCESS_CPUTIME_ID, [&] {
            picture = inFull ? Picture::fromBytesInFull(jpeg, thumbnailSize, &held)
                             : Picture::fromBytes(jpeg, thumbnailSize);
        });
        savedPath.clear();
        // The writer thread's time counts too: the clock is the process's.
        timed(save, CLOCK_PROCESS_CPUTIME_ID, [&] {
            saver.saveIfNew(QStringLiteral("Front Door"), 0, picture, true);
            saver.waitForIdle(60000);
        });
        picture = Picture();
        timed(save, CLOCK_PROCESS_CPUTIME_ID,
              [&] { held.reset(); }); // arrival lets go of the decode
        // Every picture gets the plain name, so the name search stays the same.
        if (savedPath.isEmpty() || !QFile::remove(savedPath)) {
            state.SkipWithError("the autosave did not write its file");
            break;
        }
    }
    tjDestroy(handle);

    const double n = double(state.iterations());
    const double bareCpu = decode.cpu + encode.cpu;
    const double bareWall = decode.wall + encode.wall;
    state.counters["decode_ms"] = decode.cpu / n;
    state.counters["encode_ms"] = encode.cpu / n;
    state.counters["arrival_ms"] = arrival.cpu / n;
    state.counters["save_ms"] = save.cpu / n;
    state.counters["save_cpu_ratio"] = save.cpu / bareCpu;
    state.counters["picture_cpu_ratio"] = (arrival.cpu + save.cpu) / bareCpu;
    state.counters["picture_wall_ratio"] = (arrival.wall + save.wall) / bareWall;
}
BENCHMARK(BM_AutosaveVsBare)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(5.0);

} // namespace

int main(int argc, char **argv)
{
    // The image reader finds its JPEG plugin through the application.
    return runBenchmarks<QCoreApplication>(argc, argv);
}
