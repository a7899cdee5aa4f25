#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "ScopedHooks.h"
#include "SnapshotFileName.h"
#include "TestEnv.h"

namespace {

// 12 July 2026, 8:05:09 in the morning.
const QDateTime kMorning(QDate(2026, 7, 12), QTime(8, 5, 9));

QString freshCamDirectory()
{
    const QString dir = TestEnv::freshProgramDirectory() + QStringLiteral("/cam");
    QDir().mkpath(dir);
    return dir;
}

} // namespace

TEST(SnapshotFileName, NamesAreTheSameWhateverTheLocale)
{
    // A German locale would write 12.07.26 and 08:05:09; the names must not change.
    const ScopedDefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(SnapshotFileName::fromRule(QStringLiteral("Front Door"), kMorning),
              QStringLiteral("FrontDoor712202680509AM.jpg"));
    EXPECT_EQ(SnapshotFileName::make(QStringLiteral("Gate"),
                                     QDateTime(QDate(2027, 1, 5), QTime(0, 0, 7))),
              QStringLiteral("Gate152027120007AM.jpg"));
    EXPECT_EQ(SnapshotFileName::make(QStringLiteral("Gate"),
                                     QDateTime(QDate(2027, 1, 5), QTime(12, 30, 0))),
              QStringLiteral("Gate152027123000PM.jpg"));
}

TEST(SnapshotFileName, RuleRemovesBlanksTwoSlashesAndThreeColons)
{
    EXPECT_EQ(SnapshotFileName::fromTexts(QStringLiteral("Front Door"), QStringLiteral("7/12/2026"),
                                          QStringLiteral("8:05:09 AM")),
              QStringLiteral("FrontDoor712202680509AM.jpg"));
    EXPECT_EQ(SnapshotFileName::fromRule(QStringLiteral("Front Door"), kMorning),
              QStringLiteral("FrontDoor712202680509AM.jpg"));
    // One colon in the name goes with the time's two: three in all.
    EXPECT_EQ(SnapshotFileName::fromRule(QStringLiteral("Cam:1"), kMorning),
              QStringLiteral("Cam1712202680509AM.jpg"));
    // With two in the name, the time's second colon stays.
    EXPECT_EQ(SnapshotFileName::fromRule(QStringLiteral("Cam:1:2"), kMorning),
              QStringLiteral("Cam127122026805:09AM.jpg"));
    // A slash in the name takes the first removal; the date keeps its second.
    EXPECT_EQ(SnapshotFileName::fromRule(QStringLiteral("Yard / East"), kMorning),
              QStringLiteral("YardEast712/202680509AM.jpg"));
    EXPECT_EQ(SnapshotFileName::fromRule(QStringLiteral("Lobby"),
                                         QDateTime(QDate(2026, 12, 31), QTime(23, 4, 5))),
              QStringLiteral("Lobby12312026110405PM.jpg"));
}

TEST(SnapshotFileName, OrdinaryNamesGiveExactlyTheRulesResult)
{
    const QStringList names = {QStringLiteral("Front Door"),
                               QStringLiteral("Cam:1"),
                               QStringLiteral("Cam:1:2"),
                               QStringLiteral("Garage #2 (east)"),
                               QStringLiteral("Küche"),
                               QStringLiteral("a.b c_d"),
                               QString()};
    for (const QString &name : names)
        EXPECT_EQ(SnapshotFileName::make(name, kMorning),
                  SnapshotFileName::fromRule(name, kMorning))
            << name.toStdString();
    EXPECT_EQ(SnapshotFileName::make(QStringLiteral("Yard / East"), kMorning),
              QStringLiteral("YardEast712_202680509AM.jpg"));
}

TEST(SnapshotFileName, HostileNamesStayInsideCam)
{
    const QString cam = freshCamDirectory();
    const QStringList names = {
        QStringLiteral("../../etc/passwd"),
        QStringLiteral(".."),
        QStringLiteral("."),
        QStringLiteral("/absolute/path"),
        QStringLiteral("a/../../b"),
        QStringLiteral(".hidden"),
        QStringLiteral("-rf"),
        QStringLiteral("tab\there"),
        QStringLiteral("line\nbreak"),
        QString(QStringLiteral("nul%1byte")).arg(QChar(0)),
        QString(QChar(0xD800)) + QStringLiteral("lone surrogate"),
        QString(300, QLatin1Char('x')),
        QString(120, QChar(0x20AC)) + QStringLiteral("/.."),
    };
    int index = 0;
    for (const QString &name : names) {
        const QString file = SnapshotFileName::make(name, kMorning);
        SCOPED_TRACE(file.toStdString());
        EXPECT_FALSE(file.contains(QLatin1Char('/')));
        EXPECT_FALSE(file.contains(QStringLiteral("..")));
        EXPECT_FALSE(file.startsWith(QLatin1Char('.')) || file.startsWith(QLatin1Char('-')));
        for (const QChar ch : file)
            EXPECT_NE(ch.category(), QChar::Other_Control);
        EXPECT_TRUE(file.endsWith(QStringLiteral("AM.jpg")));
        EXPECT_LE(QFile::encodeName(file).size(), 240);

        // And the file system agrees: the file is made, and made inside cam/.
        QFile out(cam + QLatin1Char('/') + file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly)) << out.errorString().toStdString();
        out.close();
        ++index;
        EXPECT_EQ(QDir(cam).entryList(QDir::Files | QDir::Hidden).size(), index);
        EXPECT_EQ(QFileInfo(out.fileName()).canonicalPath(), QFileInfo(cam).canonicalFilePath());
    }
    EXPECT_EQ(QDir(QFileInfo(cam).path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("cam")});
}

TEST(SnapshotFileName, TakenNamesGetANumberBeforeTheExtension)
{
    const QString cam = freshCamDirectory();
    const QString name = QStringLiteral("FrontDoor712202680509AM.jpg");
    EXPECT_EQ(SnapshotFileName::freePath(cam, name), cam + QLatin1Char('/') + name);

    ASSERT_TRUE(TestEnv::writeFile(cam + QLatin1Char('/') + name, "first"));
    EXPECT_EQ(SnapshotFileName::freePath(cam, name),
              cam + QStringLiteral("/FrontDoor712202680509AM-2.jpg"));

    ASSERT_TRUE(TestEnv::writeFile(cam + QStringLiteral("/FrontDoor712202680509AM-2.jpg"), "2"));
    // A link pointing nowhere still holds the name.
    ASSERT_TRUE(QFile::link(cam + QStringLiteral("/nowhere"),
                            cam + QStringLiteral("/FrontDoor712202680509AM-3.jpg")));
    EXPECT_EQ(SnapshotFileName::freePath(cam, name),
              cam + QStringLiteral("/FrontDoor712202680509AM-4.jpg"));
}
