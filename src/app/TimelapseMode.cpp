#include "TimelapseMode.h"

#include <cstdio>

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>

#include "AppInfo.h"
#include "PictureIndex.h"
#include "SnapshotNameReader.h"
#include "StopSignals.h"
#include "TimelapseExporter.h"

namespace {

void writeText(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

QString durationText(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    if (seconds >= 3600)
        return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg((seconds % 3600) / 60);
    if (seconds >= 60)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 s").arg(seconds);
}

} // namespace

namespace TimelapseMode {

QString progressText(int done, int total, bool terminal, int width)
{
    const int percent = total > 0 ? int(qint64(done) * 100 / total) : 0;
    if (!terminal)
        return QStringLiteral("tessaly: %1% (%2 of %3 frames)\n").arg(percent).arg(done).arg(total);
    const int filled = total > 0 ? int(qint64(done) * width / total) : 0;
    return QStringLiteral("\r[%1%2] %3% %4/%5 frames")
        .arg(QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char(' ')))
        .arg(percent, 3)
        .arg(done)
        .arg(total);
}

int run(int &argc, char **argv, const CommandLine::TimelapseRequest &request)
{
    QCoreApplication app(argc, argv);
    AppInfo::applyToApplication();

    const QString cam = AppInfo::programFile(QStringLiteral("cam"));
    PictureIndex index(cam);
    const Result<bool> opened = index.open();
    if (!opened) {
        writeText(QStringLiteral("tessaly: %1\n").arg(opened.errorText()));
        return 1;
    }
    index.setKnownCameras({request.camera});
    // Whatever was saved or deleted since the index last looked.
    writeText(
        QStringLiteral("tessaly: reading the names in %1\n").arg(QDir::toNativeSeparators(cam)));
    const ScanSummary scan = index.scanNow();
    if (scan.failure) {
        writeText(QStringLiteral("tessaly: %1\n").arg(scan.failure->text));
        return 1;
    }

    const QString camera = SnapshotNameReader::cameraPart(request.camera);
    QList<TimelapsePicture> pictures;
    for (const IndexedPicture &picture : index.between(camera, request.from, request.to))
        pictures.append({picture.timeMs, index.pathOf(picture)});
    if (pictures.isEmpty()) {
        writeText(QStringLiteral("tessaly: no saved pictures of \"%1\" from %2 to %3\n")
                      .arg(request.camera,
                           request.from.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                           request.to.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
        return 1;
    }

    TimelapseOptions options;
    options.output = request.output;
    options.fps = request.fps;
    if (request.speed)
        options.speed = *request.speed;
    if (request.length)
        options.lengthSeconds = *request.length;

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    TimelapseExporter exporter;
    StopSignals stop;
    QObject::connect(&stop, &StopSignals::stopRequested, &exporter, &TimelapseExporter::cancel);
    int lastTenth = -1;
    QObject::connect(&exporter, &TimelapseExporter::progress, &app, [&](int done, int total) {
        const int tenth = total > 0 ? int(qint64(done) * 10 / total) : 0;
        if (terminal || tenth != lastTenth)
            writeText(progressText(done, total, terminal));
        lastTenth = tenth;
    });
    int exitCode = 1;
    QObject::connect(
        &exporter, &TimelapseExporter::finished, &app, [&](const TimelapseSummary &summary) {
            if (terminal)
                writeText(QStringLiteral("\n"));
            if (summary.cancelled) {
                writeText(QStringLiteral("tessaly: cancelled; no video written\n"));
            } else if (summary.failure) {
                writeText(QStringLiteral("tessaly: %1\n").arg(summary.failure->text));
            } else {
                writeText(QStringLiteral("tessaly: wrote %1: %2 frames of %3x%4 "
                                         "at %5 fps from %6 pictures; %7 gaps cut "
                                         "(%8 without pictures left out)%9\n")
                              .arg(QDir::toNativeSeparators(request.output))
                              .arg(summary.frames)
                              .arg(summary.width)
                              .arg(summary.height)
                              .arg(options.fps)
                              .arg(summary.pictures)
                              .arg(summary.gapsCut)
                              .arg(durationText(summary.cutMs))
                              .arg(summary.unreadable ? QStringLiteral("; %1 pictures unreadable")
                                                            .arg(summary.unreadable)
                                                      : QString()));
                exitCode = 0;
            }
            QCoreApplication::quit();
        });
    writeText(QStringLiteral("tessaly: %1 pictures of \"%2\" into %3\n")
                  .arg(pictures.size())
                  .arg(request.camera, QDir::toNativeSeparators(request.output)));
    exporter.start(pictures, options);
    app.exec();
    exporter.wait();
    return exitCode;
}

} // namespace TimelapseMode
