#include <gtest/gtest.h>

#include <csignal>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>

#include <sys/wait.h>
#include <unistd.h>

#include "PictureIndex.h"
#include "SnapshotFileName.h"
#include "TestEnv.h"

namespace {

const QDate kDay(2026, 7, 12);

class PictureIndexTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_cam = TestEnv::freshProgramDirectory() + QStringLiteral("/cam");
        QDir().mkpath(m_cam);
        TestEnv::freshCacheDirectory();
    }

    // Saves an empty-enough file under the rule's name, as the saver would.
    QString save(const QString &camera, const QDateTime &moment, int bytes = 10)
    {
        const QString path =
            SnapshotFileName::freePath(m_cam, SnapshotFileName::make(camera, moment));
        EXPECT_TRUE(TestEnv::writeFile(path, QByteArray(bytes, 'x')));
        return path;
    }

    QString m_cam;
};

QList<QTime> timesOf(const QList<IndexedPicture> &pictures)
{
    QList<QTime> times;
    for (const IndexedPicture &picture : pictures)
        times.append(picture.time().time());
    return times;
}

} // namespace

TEST_F(PictureIndexTest, LivesInTheCacheDirectoryNamedAfterTheFolderNeverInIt)
{
    PictureIndex index(m_cam);
    ASSERT_TRUE(index.open());
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    EXPECT_TRUE(index.databasePath().startsWith(cache + QStringLiteral("/index/")));
    EXPECT_TRUE(QFile::exists(index.databasePath()));
    EXPECT_TRUE(QDir(m_cam).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    // Another spelling of the same folder finds the same index; another folder does not.
    EXPECT_EQ(PictureIndex::databasePathFor(m_cam + QStringLiteral("/../cam")),
              index.databasePath());
    EXPECT_NE(PictureIndex::databasePathFor(m_cam + QStringLiteral("2")), index.databasePath());
}

TEST_F(PictureIndexTest, ScanReadsRuleNamesWithTheirCopiesAndIgnoresOthers)
{
    save(QStringLiteral("Yard"), QDateTime(kDay, QTime(13, 0, 0)), 30);
    save(QStringLiteral("Yard"), QDateTime(kDay, QTime(8, 5, 9)));
    const QString copy = save(QStringLiteral("Yard"), QDateTime(kDay, QTime(8, 5, 9)), 20);
    EXPECT_TRUE(copy.endsWith(QStringLiteral("AM-2.jpg")));
    save(QStringLiteral("Front Door"), QDateTime(kDay, QTime(0, 0, 1)));
    save(QStringLiteral("Yard"), QDateTime(kDay.addDays(1), QTime(0, 0, 0)));
    TestEnv::writeFile(m_cam + QStringLiteral("/notes.txt"), "x");
    TestEnv::writeFile(m_cam + QStringLiteral("/holiday.jpg"), "x");
    QDir(m_cam).mkdir(QStringLiteral("Yard712202680509AM.jpg"));

    PictureIndex index(m_cam);
    ASSERT_TRUE(index.open());
    const ScanSummary summary = index.scanNow();
    EXPECT_FALSE(summary.failure);
    EXPECT_EQ(summary.added, 5);
    EXPECT_EQ(summary.ignored, 2);
    EXPECT_EQ(index.cameras(), (QStringList{QStringLiteral("FrontDoor"), QStringLiteral("Yard")}));

    QList<IndexedPicture> day = index.day(QStringLiteral("Yard"), kDay);
    EXPECT_EQ(timesOf(day), (QList<QTime>{QTime(8, 5, 9), QTime(8, 5, 9), QTime(13, 0, 0)}));
    ASSERT_EQ(day.size(), 3);
    EXPECT_EQ(day.at(1).file, QStringLiteral("Yard712202680509AM-2.jpg"));
    // Sizes follow the names.
    EXPECT_EQ(day.at(1).size, -1);
    EXPECT_EQ(index.fillSizes(), 5);
    day = index.day(QStringLiteral("Yard"), kDay);
    EXPECT_EQ(day.at(1).size, 20);
    EXPECT_EQ(day.at(2).size, 30);
    EXPECT_EQ(index.days(QStringLiteral("Yard")), (QList<QDate>{kDay, kDay.addDays(1)}));
    EXPECT_EQ(index.pathOf(day.at(2)),
              m_cam + QStringLiteral("/") +
                  SnapshotFileName::make(QStringLiteral("Yard"), QDateTime(kDay, QTime(13, 0, 0))));
}

TEST_F(PictureIndexTest, RetentionRemovesAndTheSaverAddsWithScoreAndEvent)
{
    const QString first = save(QStringLiteral("Gate"), QDateTime(kDay, QTime(9, 0, 0)));
    PictureIndex index(m_cam);
    ASSERT_TRUE(index.open());
    index.scanNow();

    const QString second = save(QStringLiteral("Gate"), QDateTime(kDay, QTime(9, 0, 5)));
    const QString third = save(QStringLiteral("Gate"), QDateTime(kDay, QTime(9, 0, 10)));
    EXPECT_EQ(index.add(second, 10, QStringLiteral("Gate"), 0.4, 7).value(), true);
    EXPECT_EQ(index.add(third, 10, QStringLiteral("Gate"), 0.9, 7).value(), true);
    EXPECT_EQ(index.add(m_cam + QStringLiteral("/holiday.jpg"), 10).value(), false);

    const QList<IndexedEvent> events =
        index.events(QStringLiteral("Gate"), kDay.startOfDay(), kDay.addDays(1).startOfDay());
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events.first().event, 7);
    EXPECT_EQ(events.first().pictures, 2);
    EXPECT_EQ(events.first().firstMs, QDateTime(kDay, QTime(9, 0, 5)).toMSecsSinceEpoch());
    EXPECT_DOUBLE_EQ(events.first().topScore.value_or(0), 0.9);

    const auto near = index.nearest(QStringLiteral("Gate"), QDateTime(kDay, QTime(9, 0, 8)));
    ASSERT_TRUE(near);
    EXPECT_EQ(near->time().time(), QTime(9, 0, 10));
    EXPECT_EQ(near->score, 0.9);

    // Retention deletes the oldest file and tells the index.
    ASSERT_TRUE(QFile::remove(first));
    EXPECT_EQ(index.remove(first).value(), 1);
    EXPECT_EQ(timesOf(index.day(QStringLiteral("Gate"), kDay)),
              (QList<QTime>{QTime(9, 0, 5), QTime(9, 0, 10)}));
    EXPECT_EQ(index.remove(first).value(), 0);
    EXPECT_FALSE(index.nearest(QStringLiteral("Nobody"), QDateTime(kDay, QTime(9, 0, 8))));
}

TEST_F(PictureIndexTest, AScanReconcilesFilesAddedAndRemovedBehindItsBack)
{
    const QString gone = save(QStringLiteral("Gate"), QDateTime(kDay, QTime(9, 0, 0)));
    save(QStringLiteral("Gate"), QDateTime(kDay, QTime(9, 0, 1)));
    {
        PictureIndex index(m_cam);
        ASSERT_TRUE(index.open());
        EXPECT_EQ(index.scanNow().added, 2);
    }
    // Meanwhile, with no program running: one deleted, two copied in.
    QFile::remove(gone);
    save(QStringLiteral("Gate"), QDateTime(kDay, QTime(10, 0, 0)));
    save(QStringLiteral("Shed"), QDateTime(kDay, QTime(10, 0, 0)));

    PictureIndex index(m_cam);
    ASSERT_TRUE(index.open());
    EXPECT_FALSE(index.wasRebuilt());
    QSignalSpy finished(&index, &PictureIndex::scanFinished);
    index.startScan();
    ASSERT_TRUE(finished.wait(10000));
    const auto summary = finished.first().first().value<ScanSummary>();
    EXPECT_EQ(summary.added, 2);
    EXPECT_EQ(summary.removed, 1);
    EXPECT_EQ(summary.kept, 1);
    EXPECT_EQ(timesOf(index.day(QStringLiteral("Gate"), kDay)),
              (QList<QTime>{QTime(9, 0, 1), QTime(10, 0, 0)}));
    EXPECT_EQ(index.count(QStringLiteral("Shed")), 1);
}

TEST_F(PictureIndexTest, ADamagedOrForeignDatabaseIsRebuilt)
{
    for (int n = 0; n < 50; ++n)
        save(QStringLiteral("Gate"), QDateTime(kDay, QTime(9, 0, n)));
    const QString database = PictureIndex::databasePathFor(m_cam);
    {
        PictureIndex index(m_cam);
        ASSERT_TRUE(index.open());
        EXPECT_EQ(index.scanNow().added, 50);
    }
    const QByteArray whole = TestEnv::readFile(database);
    ASSERT_GT(whole.size(), 4096);

    struct Damage
    {
        const char *label;
        QByteArray bytes;
    };
    QByteArray scribbled = whole;
    // Past the header, into the tables' pages.
    for (qsizetype at = 1024; at < scribbled.size(); at += 7)
        scribbled[at] = char(0xA5);
    const Damage damages[] = {
        {"notADatabase", QByteArray("these are not the bytes of a database\n").repeated(200)},
        {"cutShort", whole.left(whole.size() / 2)},
        {"scribbled", scribbled},
    };
    for (const Damage &damage : damages) {
        for (const char *suffix : {"-wal", "-shm"})
            QFile::remove(database + QString::fromLatin1(suffix));
        ASSERT_TRUE(TestEnv::writeFile(database, damage.bytes)) << damage.label;
        PictureIndex index(m_cam);
        ASSERT_TRUE(index.open()) << damage.label;
        EXPECT_TRUE(index.wasRebuilt()) << damage.label;
        EXPECT_EQ(index.scanNow().added, 50) << damage.label;
        EXPECT_EQ(index.day(QStringLiteral("Gate"), kDay).size(), 50) << damage.label;
    }
}

TEST_F(PictureIndexTest, AKillInTheMiddleOfWritingLeavesAWholeIndex)
{
    {
        PictureIndex index(m_cam);
        ASSERT_TRUE(index.open());
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child writes for as long as it lives; only the kill ends it.
        PictureIndex index(m_cam);
        if (!index.open())
            _exit(3);
        for (int n = 0;; ++n) {
            const QDateTime moment = QDateTime(kDay, QTime(0, 0)).addSecs(n % 86400);
            index.add(m_cam + QLatin1Char('/') +
                          SnapshotFileName::make(QStringLiteral("Gate"), moment) +
                          QString::number(n),
                      n);
            index.add(m_cam + QLatin1Char('/') +
                          SnapshotFileName::make(QStringLiteral("Gate"), moment),
                      n);
            if (n % 50 == 0)
                index.remove(m_cam + QLatin1Char('/') +
                             SnapshotFileName::make(QStringLiteral("Gate"), moment.addSecs(-25)));
        }
    }
    {
        // Kill it in full flight: once it has written a good many rows, however
        // slow the machine is today.
        PictureIndex watcher(m_cam);
        ASSERT_TRUE(watcher.open());
        QElapsedTimer clock;
        clock.start();
        while (watcher.count(QStringLiteral("Gate")) < 200 && clock.elapsed() < 30000)
            usleep(20 * 1000);
        EXPECT_GE(watcher.count(QStringLiteral("Gate")), 200);
    }
    usleep(50 * 1000);
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;

    PictureIndex index(m_cam);
    ASSERT_TRUE(index.open());
    EXPECT_FALSE(index.wasRebuilt());
    EXPECT_GT(index.count(QStringLiteral("Gate")), 0);
}
