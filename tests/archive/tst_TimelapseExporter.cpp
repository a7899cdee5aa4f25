#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>

#include "FfProbe.h"
#include "TestEnv.h"
#include "TimelapseExporter.h"

namespace {

// Twenty pictures a second apart, ten minutes with none, twenty more: odd
// sizes, so the video must cut a row and a column.
QList<TimelapsePicture> picturesWithAGap(const QString &folder)
{
    QList<TimelapsePicture> pictures;
    const qint64 start = 1'780'000'000'000;
    for (int n = 0; n < 40; ++n) {
        QImage image(161, 121, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((n * 9) % 360, 200, 220));
        QPainter(&image).drawText(10, 60, QString::number(n));
        const QString path = folder + QStringLiteral("/p%1.jpg").arg(n);
        EXPECT_TRUE(image.save(path, "JPG", 90));
        const qint64 at = start + n * 1000 + (n >= 20 ? 600'000 : 0);
        pictures.append({at, path});
    }
    return pictures;
}

class TimelapseExporterTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = TestEnv::freshProgramDirectory();
        m_pictures = picturesWithAGap(m_folder);
    }

    QStringList leftovers() const
    {
        return QDir(m_folder).entryList({QStringLiteral("*.part"), QStringLiteral("*.mp4")},
                                        QDir::Files | QDir::Hidden);
    }

    QString m_folder;
    QList<TimelapsePicture> m_pictures;
};

} // namespace

TEST_F(TimelapseExporterTest, MakesAnH264Mp4ThatFfprobeReadsWithTheGapCut)
{
    TimelapseOptions options;
    options.output = m_folder + QStringLiteral("/day.mp4");
    options.fps = 30;
    options.speed = 30; // one real second per frame: one frame per picture
    int lastDone = 0;
    int lastTotal = 0;
    const TimelapseSummary summary = TimelapseExporter::exportNow(
        m_pictures, options,
        [&](int done, int total) {
            lastDone = done;
            lastTotal = total;
        },
        std::atomic<bool>(false));
    ASSERT_TRUE(summary.ok()) << qPrintable(summary.failure ? summary.failure->text : QString());
    EXPECT_EQ(summary.frames, 40);
    EXPECT_EQ(summary.pictures, 40);
    EXPECT_EQ(summary.gapsCut, 1);
    EXPECT_EQ(lastDone, 40);
    EXPECT_EQ(lastTotal, 40);

    const FfProbe::Video video = FfProbe::probe(options.output);
    ASSERT_TRUE(video.error.isEmpty()) << qPrintable(video.error);
    EXPECT_EQ(video.codec, QStringLiteral("h264"));
    EXPECT_EQ(video.pixelFormat, QStringLiteral("yuv420p"));
    EXPECT_EQ(video.width, 160);
    EXPECT_EQ(video.height, 120);
    EXPECT_EQ(video.frames, 40);
    EXPECT_NEAR(video.durationSeconds, 40.0 / 30.0, 0.05);

    // Fast start: the index comes before the pictures.
    const QByteArray bytes = TestEnv::readFile(options.output);
    EXPECT_LT(bytes.indexOf("moov"), bytes.indexOf("mdat"));
    EXPECT_EQ(leftovers(), QStringList{QStringLiteral("day.mp4")});
}

TEST_F(TimelapseExporterTest, ALengthGivesThatManyFrames)
{
    TimelapseOptions options;
    options.output = m_folder + QStringLiteral("/short.mp4");
    options.fps = 10;
    options.lengthSeconds = 2.5;
    const TimelapseSummary summary =
        TimelapseExporter::exportNow(m_pictures, options, {}, std::atomic<bool>(false));
    ASSERT_TRUE(summary.ok());
    EXPECT_EQ(summary.gapsCut, 1);
    const FfProbe::Video video = FfProbe::probe(options.output);
    ASSERT_TRUE(video.error.isEmpty()) << qPrintable(video.error);
    EXPECT_EQ(video.frames, 25);
    EXPECT_NEAR(video.durationSeconds, 2.5, 0.05);
}

TEST_F(TimelapseExporterTest, ACancelOrAFailureLeavesNoFileUnderTheName)
{
    const QString output = m_folder + QStringLiteral("/cancelled.mp4");
    TestEnv::writeFile(output + QStringLiteral(".keep"), "x");
    TimelapseOptions options;
    options.output = output;
    options.speed = 3;
    TimelapseExporter exporter;
    QSignalSpy finished(&exporter, &TimelapseExporter::finished);
    QObject::connect(
        &exporter, &TimelapseExporter::progress, &exporter,
        [&](int done, int) {
            if (done > 20)
                exporter.cancel();
        },
        Qt::DirectConnection);
    ASSERT_TRUE(exporter.start(m_pictures, options));
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_TRUE(finished.first().first().value<TimelapseSummary>().cancelled);
    EXPECT_FALSE(QFile::exists(output));
    EXPECT_TRUE(leftovers().isEmpty()) << qPrintable(leftovers().join(QLatin1Char(' ')));

    // No picture that decodes: a failure, and again nothing left behind.
    QList<TimelapsePicture> broken = m_pictures;
    for (TimelapsePicture &picture : broken)
        picture.path += QStringLiteral(".missing");
    const TimelapseSummary failed =
        TimelapseExporter::exportNow(broken, options, {}, std::atomic<bool>(false));
    ASSERT_TRUE(failed.failure);
    EXPECT_EQ(failed.failure->kind, Failure::Kind::Decode);
    EXPECT_TRUE(leftovers().isEmpty());

    // A folder that is not there.
    options.output = m_folder + QStringLiteral("/no/such/folder/x.mp4");
    const TimelapseSummary unwritable =
        TimelapseExporter::exportNow(m_pictures, options, {}, std::atomic<bool>(false));
    ASSERT_TRUE(unwritable.failure);
    EXPECT_EQ(unwritable.failure->kind, Failure::Kind::File);
    EXPECT_FALSE(QFile::exists(options.output));
}
