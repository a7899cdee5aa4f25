// Scrubbing in the review window: from a press on the timeline to the
// picture's pixels painted, with 100,000 pictures of one camera in the index
// (a day of 86,400 shown), for 1080p and 4K pictures. The pictures are hard
// links to four real JPEGs each, so the folder costs no disk. Reported as
// percentiles over 400 presses at random places.
#include <benchmark/benchmark.h>

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <unistd.h>

#include "PictureIndex.h"
#include "ReviewTimeline.h"
#include "ReviewWindow.h"
#include "SnapshotFileName.h"

namespace {

constexpr int Pictures = 100000;
const QDate kDay(2026, 7, 12);

QString makeFolder(const QSize &size)
{
    const QString folder =
        QDir::tempPath() +
        QStringLiteral("/tessaly-bench-review-%1x%2").arg(size.width()).arg(size.height());
    if (QFile::exists(folder + QStringLiteral("/.made")))
        return folder;
    QDir().mkpath(folder + QStringLiteral("/src"));
    QStringList sources;
    for (int s = 0; s < 4; ++s) {
        QImage image(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < size.width(); ++x)
                row[x] = qRgb((x * (s + 1) / 9) % 256, (y / 5) % 256, ((x ^ y) / 13) % 256);
        }
        QPainter(&image).fillRect(size.width() / 3, size.height() / 3, 300, 200, Qt::red);
        const QString path = folder + QStringLiteral("/src/s%1.jpg").arg(s);
        image.save(path, "JPG", 90);
        sources.append(path);
    }
    const QDateTime start = kDay.startOfDay();
    for (int n = 0; n < Pictures; ++n) {
        const QString name = folder + QLatin1Char('/') +
                             SnapshotFileName::make(QStringLiteral("Yard"), start.addSecs(n));
        if (::link(QFile::encodeName(sources.at(n % 4)).constData(),
                   QFile::encodeName(name).constData()) != 0)
            return QString();
    }
    QFile(folder + QStringLiteral("/.made")).open(QIODevice::WriteOnly);
    return folder;
}

void BM_Scrub(benchmark::State &state)
{
    const QSize size(int(state.range(0)), int(state.range(1)));
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    const QString folder = makeFolder(size);
    if (folder.isEmpty()) {
        state.SkipWithError("cannot make the folder");
        return;
    }
    PictureIndex index(folder);
    if (!index.open()) {
        state.SkipWithError("no index");
        return;
    }
    index.setKnownCameras({QStringLiteral("Yard")});
    index.scanNow();

    ReviewWindow window(&index, folder);
    window.resize(1280, 860);
    window.show();
    QElapsedTimer dayClock;
    dayClock.start();
    window.selectCamera(QStringLiteral("Yard"));
    window.showDay(kDay);
    const double dayMs = double(dayClock.nsecsElapsed()) / 1e6;
    auto *timeline = window.findChild<ReviewTimeline *>(QStringLiteral("timeline"));
    QApplication::processEvents();

    QRandomGenerator random(11);
    QList<double> latencies;
    for (auto _ : state) {
        for (int n = 0; n < 400; ++n) {
            const QPointF at(random.bounded(timeline->width()), timeline->height() / 2);
            QMouseEvent press(QEvent::MouseButtonPress, at, timeline->mapToGlobal(at),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QMouseEvent release(QEvent::MouseButtonRelease, at, timeline->mapToGlobal(at),
                                Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QElapsedTimer clock;
            clock.start();
            QApplication::sendEvent(timeline, &press);
            window.repaint(); // the pixels, painted now
            latencies.append(double(clock.nsecsElapsed()) / 1e6);
            QApplication::sendEvent(timeline, &release);
        }
    }
    std::sort(latencies.begin(), latencies.end());
    auto percentile = [&](double p) {
        return latencies.at(
            std::min<qsizetype>(latencies.size() - 1, qsizetype(p * latencies.size())));
    };
    state.counters["pictures_in_day"] = double(window.dayPictures().size());
    state.counters["open_day_ms"] = dayMs;
    state.counters["p50_ms"] = percentile(0.50);
    state.counters["p95_ms"] = percentile(0.95);
    state.counters["max_ms"] = latencies.last();
}
BENCHMARK(BM_Scrub)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessaly-bench"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
