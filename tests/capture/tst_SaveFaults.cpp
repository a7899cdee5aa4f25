#include <gtest/gtest.h>

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include "PictureSaver.h"
#include "TestEnv.h"
#include "TestPictures.h"
#include "TinyDisk.h"

// Saving snapshots into a cam/ that is full or read-only, on a real file
// system: every failure is told with the file and the reason, no half-written
// picture stays behind, and saving works again once the disk does.
namespace {

const QDateTime kMorning(QDate(2026, 7, 12), QTime(8, 5, 9));

Picture pictureOf(const QColor &color)
{
    // Noise-free but large enough that the JPEG needs several disk pages.
    QImage image(640, 480, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y,
                                QColor((x * 7 + color.red()) % 256, (y * 5) % 256, (x ^ y) % 256));
    }
    return Picture::fromBytes(TestPictures::encode(image, "jpeg"));
}

class SaveFaultsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saver.setTimeSource([this] { return clock; });
        saver.setAutoSave(true);
    }

    // The program directory on the tiny disk, with its cam/.
    bool useDisk()
    {
        if (!disk.mounted())
            return false;
        qputenv("TESSALY_HOME", QFile::encodeName(disk.path()));
        cam = disk.path() + QStringLiteral("/cam");
        return QDir().mkpath(cam);
    }

    void arrive(const Picture &picture)
    {
        saver.saveIfNew(QStringLiteral("Gate"), 0, picture, true);
        saver.waitForIdle(60000);
        clock = clock.addSecs(1);
    }

    static SaveReport reportAt(const QSignalSpy &spy, qsizetype row)
    {
        return spy.at(row).at(0).value<SaveReport>();
    }

    QStringList camFiles() const
    {
        return QDir(cam).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    TinyDisk disk{512};
    QString cam;
    QDateTime clock = kMorning;
    PictureSaver saver;
};

} // namespace

TEST_F(SaveFaultsTest, AFullDiskFailsEachSaveVisiblyAndLeavesNoPartialFile)
{
    if (!useDisk())
        GTEST_SKIP() << "no tmpfs can be mounted here: " << disk.error().toStdString();
    QSignalSpy saved(&saver, &PictureSaver::pictureSaved);
    QSignalSpy failed(&saver, &PictureSaver::saveFailed);

    arrive(pictureOf(Qt::red));
    ASSERT_EQ(saved.count(), 1);
    ASSERT_EQ(camFiles().size(), 1);
    ASSERT_TRUE(disk.fill());

    const Picture blue = pictureOf(Qt::blue);
    for (int i = 0; i < 3; ++i)
        arrive(blue);
    EXPECT_EQ(saved.count(), 1);
    ASSERT_EQ(failed.count(), 3);
    for (int i = 0; i < 3; ++i) {
        const SaveReport report = reportAt(failed, i);
        ASSERT_TRUE(report.failure.has_value());
        EXPECT_EQ(report.failure->systemError, ENOSPC);
        EXPECT_TRUE(report.failure->text.contains(QStringLiteral("No space left on device")))
            << report.failure->text.toStdString();
        EXPECT_TRUE(report.picture.isNull());
        // Each failure is told as one, never as a save.
        EXPECT_TRUE(
            report.statusText.contains(QStringLiteral("could not save new picture as ") + cam))
            << report.statusText.toStdString();
    }
    EXPECT_EQ(camFiles().size(), 1) << "a failed save leaves nothing behind";
    EXPECT_TRUE(reportAt(saved, 0).statusText.contains(QStringLiteral("new picture saved as")));

    // Room again: the next new picture is saved as usual.
    ASSERT_TRUE(disk.makeRoom());
    arrive(pictureOf(Qt::green));
    EXPECT_EQ(saved.count(), 2);
    EXPECT_EQ(camFiles().size(), 2);
}

TEST_F(SaveFaultsTest, AReadOnlyCamDirectoryIsReportedForAutosaveAndSaveImage)
{
    if (!useDisk())
        GTEST_SKIP() << "no tmpfs can be mounted here: " << disk.error().toStdString();
    QSignalSpy failed(&saver, &PictureSaver::saveFailed);
    ASSERT_TRUE(disk.makeReadOnly());

    arrive(pictureOf(Qt::red));
    ASSERT_EQ(failed.count(), 1);
    const SaveReport report = reportAt(failed, 0);
    EXPECT_TRUE(report.path.startsWith(cam + QLatin1Char('/')));
    ASSERT_TRUE(report.failure.has_value());
    EXPECT_EQ(report.failure->systemError, EROFS);
    EXPECT_TRUE(report.failure->text.contains(QStringLiteral("Read-only file system")))
        << report.failure->text.toStdString();

    const Picture shown = pictureOf(Qt::red);
    const SaveImageResult manual = PictureSaver::savePicture(QStringLiteral("Gate"), shown, clock);
    EXPECT_FALSE(manual.saved);
    EXPECT_TRUE(manual.picture.isNull());
    EXPECT_TRUE(manual.statusText.contains(QStringLiteral("Read-only file system")))
        << manual.statusText.toStdString();
    EXPECT_TRUE(camFiles().isEmpty());

    ASSERT_TRUE(disk.makeWritable());
    const SaveImageResult again = PictureSaver::savePicture(QStringLiteral("Gate"), shown, clock);
    EXPECT_TRUE(again.saved) << again.statusText.toStdString();
    EXPECT_EQ(camFiles().size(), 1);
}
