#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "PictureRetention.h"
#include "SnapshotFileName.h"
#include "TestEnv.h"
#include "TinyDisk.h"

namespace {

const QDateTime Now(QDate(2026, 12, 8), QTime(14, 0, 0));

class PictureRetentionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_cam = TestEnv::freshProgramDirectory() + QStringLiteral("/cam");
        ASSERT_TRUE(QDir().mkpath(m_cam));
    }

    // A file of `bytes` bytes last written `age` before Now.
    QString put(const QString &name, qint64 bytes, qint64 ageSeconds)
    {
        const QString path = m_cam + QLatin1Char('/') + name;
        EXPECT_TRUE(
            TestEnv::writeFileModifiedAt(path, QByteArray(bytes, 'x'), Now.addSecs(-ageSeconds)));
        return path;
    }

    // A picture named as a save at that moment would name it.
    QString picture(const QString &camera, qint64 bytes, qint64 ageSeconds)
    {
        return put(SnapshotFileName::make(camera, Now.addSecs(-ageSeconds)), bytes, ageSeconds);
    }

    QStringList left() const { return QDir(m_cam).entryList(QDir::Files | QDir::System); }

    QString m_cam;
};

constexpr qint64 Day = 24 * 3600;

} // namespace

TEST_F(PictureRetentionTest, OldPicturesGoByAgeAndTheOldestGoFirstBySize)
{
    const QString ancient = picture(QStringLiteral("Yard"), 1000, 40 * Day);
    const QString lastMonth = picture(QStringLiteral("Door"), 1000, 31 * Day);
    const QString lastWeek = picture(QStringLiteral("Yard"), 1000, 7 * Day);
    const QString yesterday = picture(QStringLiteral("Door"), 1000, Day);
    const QString now = picture(QStringLiteral("Yard"), 1000, 0);

    // Unlimited: nothing goes.
    PictureRetention::Report report =
        PictureRetention::enforce(m_cam, PictureRetention::Limits{}, Now);
    EXPECT_EQ(report.removed, 0);
    EXPECT_EQ(report.kept, 5);
    EXPECT_EQ(report.keptBytes, 5000);

    report = PictureRetention::enforce(m_cam, {30, 0, 0}, Now);
    EXPECT_EQ(report.removed, 2);
    EXPECT_EQ(report.removedBytes, 2000);
    EXPECT_EQ(report.removedPaths, QStringList({ancient, lastMonth}));
    EXPECT_FALSE(QFile::exists(ancient));
    EXPECT_FALSE(QFile::exists(lastMonth));
    EXPECT_TRUE(QFile::exists(lastWeek));

    // 2500 bytes allowed of 3000: the oldest one goes, and only that one.
    report = PictureRetention::enforce(m_cam, {0, 2500, 0}, Now);
    EXPECT_EQ(report.removed, 1);
    EXPECT_FALSE(QFile::exists(lastWeek));
    EXPECT_TRUE(QFile::exists(yesterday));
    EXPECT_TRUE(QFile::exists(now));
    EXPECT_EQ(report.keptBytes, 2000);
    EXPECT_TRUE(report.failures.isEmpty());

    // A folder that is not there yet holds nothing to delete.
    report = PictureRetention::enforce(m_cam + QStringLiteral("/none"), {1, 1, 0}, Now);
    EXPECT_EQ(report.removed + report.kept, 0);
}

TEST_F(PictureRetentionTest, OnlyOurOwnPicturesAreEverDeleted)
{
    const QString ours = picture(QStringLiteral("Front Door"), 100, 90 * Day);
    const QString yard = picture(QStringLiteral("Yard"), 100, 90 * Day);
    const QString second =
        put(QFileInfo(yard).completeBaseName() + QStringLiteral("-2.jpg"), 100, 90 * Day);
    const QStringList users = {
        QStringLiteral("holiday.jpg"),            // a user's own picture
        QStringLiteral("Yard712202680509AM.png"), // our name, not our extension
        QStringLiteral("notes.txt"),
        QStringLiteral("Yard712202680509AM.jpg.bak"),
        QStringLiteral("Yard7122026AM.jpg"), // too few digits for a date and a time
    };
    for (const QString &name : users)
        put(name, 100, 90 * Day);
    // A link with our name, pointing at a file of the user's elsewhere, and a
    // folder with our name with a picture of ours inside.
    const QString outside = TestEnv::root() + QStringLiteral("/outside-cam.jpg");
    ASSERT_TRUE(TestEnv::writeFile(outside, "keep me"));
    const QString link = m_cam + QStringLiteral("/Door712202680509AM.jpg");
    ASSERT_TRUE(QFile::link(outside, link));
    const QString folder = m_cam + QStringLiteral("/Old712202680509AM.jpg");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(TestEnv::writeFile(folder + QStringLiteral("/Yard712202680509AM.jpg"), "x"));

    const PictureRetention::Report report = PictureRetention::enforce(m_cam, {1, 1, 0}, Now);
    EXPECT_EQ(report.removed, 3);
    EXPECT_FALSE(QFile::exists(ours));
    EXPECT_FALSE(QFile::exists(yard));
    EXPECT_FALSE(QFile::exists(second));
    for (const QString &name : users)
        EXPECT_TRUE(QFile::exists(m_cam + QLatin1Char('/') + name)) << name.toStdString();
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(TestEnv::readFile(outside), QByteArray("keep me"));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/Yard712202680509AM.jpg")));

    EXPECT_TRUE(PictureRetention::isOwnPictureName(QStringLiteral("FrontDoor712202680509AM.jpg")));
    EXPECT_TRUE(PictureRetention::isOwnPictureName(QStringLiteral("Cam12312202611595PM-9999.jpg")));
    EXPECT_FALSE(PictureRetention::isOwnPictureName(QStringLiteral("../Cam712202680509AM.jpg")));
    EXPECT_FALSE(PictureRetention::isOwnPictureName(QStringLiteral("Cam712202680509AM.jpg\n")))
        << "a line break after the name makes it another file";
}

TEST_F(PictureRetentionTest, SizesReadAsPeopleWriteThem)
{
    EXPECT_EQ(PictureRetention::parseSize(QStringLiteral("500M")), qint64(500) << 20);
    EXPECT_EQ(PictureRetention::parseSize(QStringLiteral("20G")), qint64(20) << 30);
    EXPECT_EQ(PictureRetention::parseSize(QStringLiteral("1.5g")), qint64(1536) << 20);
    EXPECT_EQ(PictureRetention::parseSize(QStringLiteral("800KiB")), qint64(800) << 10);
    EXPECT_EQ(PictureRetention::parseSize(QStringLiteral(" 4096 ")), 4096);
    EXPECT_EQ(PictureRetention::parseSize(QStringLiteral("2TB")), qint64(2) << 40);
    EXPECT_EQ(PictureRetention::parseSize(QStringLiteral("0")), 0);
    for (const char *wrong : {"", "M", "-5G", "5 GB of it", "1e9", "5X", "99999999999T"})
        EXPECT_FALSE(PictureRetention::parseSize(QString::fromLatin1(wrong))) << wrong;

    for (const qint64 bytes : {qint64(0), qint64(4096), qint64(500) << 20, qint64(20) << 30,
                               qint64(1536) << 20, qint64(3) << 40})
        EXPECT_EQ(PictureRetention::parseSize(PictureRetention::sizeText(bytes)), bytes)
            << PictureRetention::sizeText(bytes).toStdString();
    EXPECT_EQ(PictureRetention::sizeText(qint64(1) << 30), QStringLiteral("1G"));
    // What is shown must read back, even at the top of the range, where one
    // decimal would round up past the largest size there is.
    const qint64 top = (qint64(1) << 62) - 1;
    ASSERT_TRUE(PictureRetention::parseSize(PictureRetention::sizeText(top)))
        << PictureRetention::sizeText(top).toStdString();
    EXPECT_EQ(PictureRetention::sizeText(qint64(1536) << 20), QStringLiteral("1536M"));
    EXPECT_EQ(PictureRetention::sizeText((qint64(1) << 30) + 1), QStringLiteral("1.0G"));
}

TEST_F(PictureRetentionTest, TheFreeSpaceFloorIsReadFromTheRealDisk)
{
    TinyDisk disk(1024);
    ASSERT_TRUE(disk.mounted()) << disk.error().toStdString();
    const QString cam = disk.path() + QStringLiteral("/cam");
    EXPECT_TRUE(PictureRetention::belowFreeSpaceFloor(cam, {0, 0, 2 << 20}))
        << "a 1 MiB disk is below a 2 MiB floor, even before cam/ is made";
    EXPECT_FALSE(PictureRetention::belowFreeSpaceFloor(cam, {0, 0, 256 << 10}));
    ASSERT_TRUE(disk.fill());
    EXPECT_TRUE(PictureRetention::belowFreeSpaceFloor(cam, {0, 0, 256 << 10}));
    EXPECT_FALSE(PictureRetention::belowFreeSpaceFloor(cam, {0, 0, 0})) << "no floor";
    ASSERT_TRUE(disk.makeRoom());
    EXPECT_FALSE(PictureRetention::belowFreeSpaceFloor(cam, {0, 0, 256 << 10}));
}
