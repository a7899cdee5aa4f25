#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>

#include "FfProbe.h"
#include "SnapshotFileName.h"
#include "TestEnv.h"
#include "TimelapseMode.h"

// tessaly --timelapse as a person or a cron job runs it: a real process, in a
// program directory of its own whose cam/ it has never indexed.

namespace {

const QDate kDay(2026, 7, 12);

// Thirty pictures ten seconds apart from 8:00, an hour with none, thirty more:
// with the other camera's pictures and a stranger's file beside them.
void fillCam(const QString &cam)
{
    QDir().mkpath(cam);
    for (int n = 0; n < 60; ++n) {
        QImage image(96, 64, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(n * 6, 255, 200));
        const QDateTime moment =
            QDateTime(kDay, QTime(8, 0)).addSecs(n * 10 + (n >= 30 ? 3600 : 0));
        ASSERT_TRUE(image.save(cam + QLatin1Char('/') +
                                   SnapshotFileName::make(QStringLiteral("Front Door"), moment),
                               "JPG"));
        ASSERT_TRUE(image.save(cam + QLatin1Char('/') +
                                   SnapshotFileName::make(QStringLiteral("Gate"), moment),
                               "JPG"));
    }
    TestEnv::writeFile(cam + QStringLiteral("/holiday.jpg"), "not ours");
}

struct Finished
{
    int exitCode = -1;
    QString errors;
};

Finished runTessaly(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TESSALY_PATH), arguments);
    Finished run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace

TEST(TimelapseMode, MakesAnMp4OfOneCamerasPicturesThatFfprobeReads)
{
    const QString home = TestEnv::freshProgramDirectory();
    TestEnv::freshCacheDirectory();
    fillCam(home + QStringLiteral("/cam"));
    const QString output = home + QStringLiteral("/front.mp4");

    // 10 real seconds per frame at speed 100 and 10 fps: one picture a frame,
    // the hour without pictures cut to one frame.
    const Finished run =
        runTessaly({"--timelapse", "Front Door", "--from", "2026-07-12 07:00", "--to",
                    "2026-07-12 12:00", "--speed", "100", "--fps", "10", "--output", output});
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.errors);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("1 gaps cut"))) << qPrintable(run.errors);
    // Not a terminal: plain lines, the last at 100%.
    EXPECT_TRUE(run.errors.contains(QStringLiteral("tessaly: 100% (60 of 60 frames)")))
        << qPrintable(run.errors);

    const FfProbe::Video video = FfProbe::probe(output);
    ASSERT_TRUE(video.error.isEmpty()) << qPrintable(video.error);
    EXPECT_EQ(video.codec, QStringLiteral("h264"));
    EXPECT_EQ(video.pixelFormat, QStringLiteral("yuv420p"));
    EXPECT_EQ(video.frames, 60);
    EXPECT_NEAR(video.durationSeconds, 6.0, 0.1);
    EXPECT_EQ(video.width, 96);

    // Half the span: half the pictures.
    const QString morning = home + QStringLiteral("/morning.mp4");
    const Finished again =
        runTessaly({"--timelapse", "Gate", "--from", "2026-07-12 08:00", "--to", "2026-07-12 08:05",
                    "--speed", "100", "--fps", "10", "--output", morning});
    ASSERT_EQ(again.exitCode, 0) << qPrintable(again.errors);
    EXPECT_EQ(FfProbe::probe(morning).frames, 30);
}

TEST(TimelapseMode, NoPicturesOrAWrongCommandLineWritesNothing)
{
    const QString home = TestEnv::freshProgramDirectory();
    TestEnv::freshCacheDirectory();
    fillCam(home + QStringLiteral("/cam"));
    const QString output = home + QStringLiteral("/none.mp4");

    const Finished empty = runTessaly({"--timelapse", "Front Door", "--from", "2026-07-13 07:00",
                                       "--to", "2026-07-13 12:00", "--output", output});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_TRUE(empty.errors.contains(QStringLiteral("no saved pictures")))
        << qPrintable(empty.errors);
    const Finished windowed =
        runTessaly({"--timelapse", "Front Door", "--from", "2026-07-12 07:00", "--to",
                    "2026-07-12 12:00", "--output", output, "--open-all"});
    EXPECT_EQ(windowed.exitCode, 2);
    EXPECT_FALSE(QFile::exists(output));
}

TEST(TimelapseMode, ProgressIsABarOnATerminalAndLinesOtherwise)
{
    EXPECT_EQ(TimelapseMode::progressText(15, 60, false),
              QStringLiteral("tessaly: 25% (15 of 60 frames)\n"));
    EXPECT_EQ(TimelapseMode::progressText(15, 60, true, 8),
              QStringLiteral("\r[##      ]  25% 15/60 frames"));
    EXPECT_EQ(TimelapseMode::progressText(60, 60, true, 8),
              QStringLiteral("\r[########] 100% 60/60 frames"));
}
