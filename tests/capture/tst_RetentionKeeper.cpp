#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include "AppInfo.h"
#include "Picture.h"
#include "PictureSaver.h"
#include "RetentionKeeper.h"
#include "SnapshotFileName.h"
#include "TestEnv.h"
#include "TestPictures.h"
#include "TinyDisk.h"

namespace {

const QDateTime Now(QDate(2026, 12, 8), QTime(14, 0, 0));

// The keeper beside an autosaving saver, with both clocks in the test's hand.
class RetentionKeeperTest : public ::testing::Test
{
protected:
    void SetUp() override { useProgramDirectory(TestEnv::freshProgramDirectory()); }

    void useProgramDirectory(const QString &home)
    {
        qputenv("TESSALY_HOME", QFile::encodeName(home));
        cam = home + QStringLiteral("/cam");
        ASSERT_TRUE(QDir().mkpath(cam));
        saver = std::make_unique<PictureSaver>();
        saver->setAutoSave(true);
        saver->setKeepOriginal(true); // the bytes as they are: sizes the test can count
        saver->setTimeSource([this] { return wallTime; });
        keeper = std::make_unique<RetentionKeeper>(saver.get(), cam);
        keeper->setClock([this] { return monotonicMs; });
        keeper->setTimeSource([this] { return wallTime; });
    }

    // A saved-looking picture of `bytes` bytes, last written `ageSeconds` before Now.
    QString put(const QString &name, qint64 bytes, qint64 ageSeconds)
    {
        const QString path = cam + QLatin1Char('/') + name;
        EXPECT_TRUE(
            TestEnv::writeFileModifiedAt(path, QByteArray(bytes, 'x'), Now.addSecs(-ageSeconds)));
        return path;
    }

    // One new picture of `bytes` bytes arriving for autosave, a second after the last.
    void arrive(qint64 bytes = 4000)
    {
        wallTime = wallTime.addSecs(1);
        monotonicMs += 1000;
        QByteArray jpeg = TestPictures::encode(TestPictures::quadrants({32, 24}), "jpeg");
        // Padding after the end marker: still a whole JPEG, of the size asked for.
        jpeg += QByteArray(std::max<qint64>(0, bytes - jpeg.size()), '\0');
        saver->saveIfNew(QStringLiteral("Yard"), 0, Picture::fromBytes(jpeg, {16, 12}), true);
        saver->waitForIdle(10000);
    }

    QStringList left() const { return QDir(cam).entryList(QDir::Files); }

    QString cam;
    QDateTime wallTime = Now;
    qint64 monotonicMs = 0;
    std::unique_ptr<PictureSaver> saver;
    std::unique_ptr<RetentionKeeper> keeper;
};

constexpr qint64 Day = 24 * 3600;

} // namespace

TEST_F(RetentionKeeperTest, StartEnforcesTheStoredLimitsAndLeavesOtherFilesAlone)
{
    const QString old = put(SnapshotFileName::make("Yard", Now.addDays(-9)), 100, 9 * Day);
    const QString recent = put(SnapshotFileName::make("Yard", Now.addDays(-1)), 100, Day);
    const QString notes = put(QStringLiteral("notes.jpg"), 100, 30 * Day);
    ASSERT_TRUE(QFile::link(old, cam + QStringLiteral("/Yard1282026100000AM.jpg")));
    keeper->setLimits({7, 0, 0});
    QSignalSpy enforced(keeper.get(), &RetentionKeeper::enforced);
    keeper->start();
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(recent));
    EXPECT_TRUE(QFileInfo::exists(notes)) << "not named by the rule: never ours to delete";
    EXPECT_TRUE(QFileInfo(cam + QStringLiteral("/Yard1282026100000AM.jpg")).isSymLink())
        << "a link, even to one of ours, is the user's";
    EXPECT_EQ(enforced.size(), 1);
    EXPECT_FALSE(keeper->isPaused());

    // A second look finds nothing more to do and says nothing.
    EXPECT_EQ(keeper->enforceNow().removed, 0);
    EXPECT_EQ(enforced.size(), 1);
}

TEST_F(RetentionKeeperTest, ASaveOverTheSizeLimitDeletesTheOldestDownBelowIt)
{
    for (int i = 0; i < 4; ++i)
        put(SnapshotFileName::make("Door", Now.addSecs(-3600 + i)), 10000, 3600 - i);
    keeper->setLimits({0, 50000, 0});
    keeper->start();
    ASSERT_EQ(left().size(), 4) << "40,000 bytes are within 50,000";

    arrive(4000); // 44,000
    arrive(4000); // 48,000
    EXPECT_EQ(left().size(), 6);
    arrive(4000); // 52,000: over, so the oldest go until a twentieth below the limit
    const QStringList kept = left();
    qint64 total = 0;
    for (const QString &name : kept)
        total += QFileInfo(cam + QLatin1Char('/') + name).size();
    EXPECT_LE(total, 50000 - 50000 / 20);
    // One Door picture, the oldest, makes room enough; all three new ones stay.
    EXPECT_EQ(kept.size(), 6) << kept.join(' ').toStdString();
    EXPECT_FALSE(kept.contains(SnapshotFileName::make("Door", Now.addSecs(-3600))));
    EXPECT_EQ(kept.filter(QStringLiteral("Yard")).size(), 3);
}

TEST_F(RetentionKeeperTest, AutosavePausesOnAFullDiskWithOneMessageAndGoesOnByItself)
{
    TinyDisk disk(1024);
    ASSERT_TRUE(disk.mounted()) << disk.error().toStdString();
    ASSERT_NO_FATAL_FAILURE(useProgramDirectory(disk.path()));
    keeper->setLimits({0, 0, 256 << 10});
    QSignalSpy paused(keeper.get(), &RetentionKeeper::pauseChanged);
    QSignalSpy saved(saver.get(), &PictureSaver::pictureSaved);
    QSignalSpy failed(saver.get(), &PictureSaver::saveFailed);
    keeper->start();
    EXPECT_TRUE(paused.isEmpty()) << "room enough at the start";
    arrive();
    ASSERT_EQ(saved.size(), 1);

    ASSERT_TRUE(disk.fill());
    // Free space is looked at before a save at most once a second; these come a
    // second apart, so the first one after the disk filled finds it full.
    for (int i = 0; i < 5; ++i)
        arrive();
    ASSERT_EQ(paused.size(), 1);
    EXPECT_TRUE(paused.at(0).at(0).toBool());
    const QString text = paused.at(0).at(1).toString();
    EXPECT_TRUE(text.contains(QStringLiteral("free on the disk of ") + cam)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("below the 256K to keep free"))) << text.toStdString();
    EXPECT_TRUE(keeper->isPaused());
    // Paused saves are neither saved nor failed: nothing was tried.
    EXPECT_EQ(saved.size(), 1);
    EXPECT_TRUE(failed.isEmpty());
    EXPECT_EQ(left().size(), 1);

    ASSERT_TRUE(disk.makeRoom());
    arrive();
    ASSERT_EQ(paused.size(), 2);
    EXPECT_FALSE(paused.at(1).at(0).toBool());
    EXPECT_FALSE(keeper->isPaused());
    EXPECT_EQ(saved.size(), 2);
    EXPECT_EQ(left().size(), 2);

    // No floor: never paused, however full.
    ASSERT_TRUE(disk.fill());
    keeper->setLimits({0, 0, 0});
    keeper->checkFreeSpace();
    EXPECT_FALSE(keeper->isPaused());
    EXPECT_EQ(paused.size(), 2);
}

TEST_F(RetentionKeeperTest, TheKeeperCanOutliveItsSaver)
{
    saver.reset();
    keeper->setLimits({1, 0, 0});
    EXPECT_EQ(keeper->enforceNow().removed, 0);
    keeper.reset();
}
