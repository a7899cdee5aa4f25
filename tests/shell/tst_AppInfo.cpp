#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "AppInfo.h"
#include "TessalyVersion.h"
#include "TestEnv.h"

namespace {

// A directory tree under the test root, made fresh for each test.
class AppInfoTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        base = TestEnv::root() + QStringLiteral("/appinfo-") +
               QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        QDir(base).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(base));
    }
    void TearDown() override { QDir(base).removeRecursively(); }

    QString makeDir(const QString &relative)
    {
        const QString path = base + QLatin1Char('/') + relative;
        EXPECT_TRUE(QDir().mkpath(path)) << path.toStdString();
        return path;
    }

    QString base;
};

AppInfo::Places places(const QString &home, const QString &exeDir, bool installed,
                       const QString &perUser)
{
    AppInfo::Places p;
    p.tessalyHome = home;
    p.executableDirectory = exeDir;
    p.installed = installed;
    p.perUserDirectory = perUser;
    return p;
}

const QString PerUser = QStringLiteral("/home/ann/.local/share/Northlight Camera Works/Tessaly");

} // namespace

TEST(AppInfoRule, TessalyHomeWinsOverEverythingElse)
{
    EXPECT_EQ(AppInfo::chooseProgramDirectory(places(QStringLiteral("/srv/tessaly"),
                                                     QStringLiteral("/usr/bin"), true, PerUser)),
              QStringLiteral("/srv/tessaly"));
    EXPECT_EQ(AppInfo::chooseProgramDirectory(places(QStringLiteral("/srv/tessaly/./cam/.."),
                                                     QStringLiteral("/opt/t"), false, {})),
              QStringLiteral("/srv/tessaly"));
    // A relative TESSALY_HOME is taken from the working directory, once and for all.
    EXPECT_EQ(AppInfo::chooseProgramDirectory(
                  places(QStringLiteral("data"), QStringLiteral("/usr/bin"), true, PerUser)),
              QDir::currentPath() + QStringLiteral("/data"));
}

TEST(AppInfoRule, BuildTreeOrPortableFolderKeepsDataBesideTheExecutable)
{
    EXPECT_EQ(AppInfo::chooseProgramDirectory(
                  places({}, QStringLiteral("/home/ann/tessaly/build/src/app"), false, PerUser)),
              QStringLiteral("/home/ann/tessaly/build/src/app"));
    EXPECT_EQ(AppInfo::chooseProgramDirectory(
                  places({}, QStringLiteral("/media/stick/Tessaly/"), false, {})),
              QStringLiteral("/media/stick/Tessaly"));
}

TEST(AppInfoRule, InstalledProgramUsesThePerUserDirectory)
{
    EXPECT_EQ(
        AppInfo::chooseProgramDirectory(places({}, QStringLiteral("/usr/bin"), true, PerUser)),
        PerUser);
    EXPECT_EQ(AppInfo::chooseProgramDirectory(
                  places({}, QStringLiteral("/tmp/p/bin"), true, PerUser + QLatin1Char('/'))),
              PerUser);
    // Without a per-user location (no HOME at all) the executable's own is all there is.
    EXPECT_EQ(AppInfo::chooseProgramDirectory(places({}, QStringLiteral("/usr/bin"), true, {})),
              QStringLiteral("/usr/bin"));
}

TEST_F(AppInfoTest, InstalledLayoutIsRecognisedUnderAnyPrefix)
{
    const QString bin = makeDir(QStringLiteral("prefix/bin"));
    EXPECT_FALSE(AppInfo::isInstalledLayout(bin));
    const QString shipped = makeDir(QStringLiteral("prefix/share/tessaly"));
    EXPECT_EQ(AppInfo::installedDataDirectory(bin), shipped);
    EXPECT_TRUE(AppInfo::isInstalledLayout(bin));
    EXPECT_TRUE(AppInfo::isInstalledLayout(bin + QStringLiteral("/")));
}

TEST_F(AppInfoTest, BuildTreeAndPortableFolderAreNotInstalled)
{
    // A build tree has Help.rtf beside the executable and no share/ above it.
    const QString app = makeDir(QStringLiteral("build/src/app"));
    ASSERT_TRUE(TestEnv::writeFile(app + QStringLiteral("/Help.rtf"), "{\\rtf1 x}"));
    EXPECT_FALSE(AppInfo::isInstalledLayout(app));
    const QString portable = makeDir(QStringLiteral("Tessaly"));
    ASSERT_TRUE(TestEnv::writeFile(portable + QStringLiteral("/00camlist.txt"), "\r\n"));
    EXPECT_FALSE(AppInfo::isInstalledLayout(portable));
    // A share/tessaly that is a file is no data directory.
    const QString bin = makeDir(QStringLiteral("odd/bin"));
    makeDir(QStringLiteral("odd/share"));
    ASSERT_TRUE(TestEnv::writeFile(base + QStringLiteral("/odd/share/tessaly"), "x"));
    EXPECT_FALSE(AppInfo::isInstalledLayout(bin));
}

TEST(AppInfoRule, ConfiguredBinDirectoryCountsAsInstalledEvenWithoutItsData)
{
    // Wherever this build installs to, its data directory may be gone (or never
    // made): the executable there still must not write beside itself.
    const QString bin = QStringLiteral(TESSALY_INSTALL_BINDIR);
    EXPECT_TRUE(AppInfo::isInstalledLayout(bin));
    EXPECT_TRUE(AppInfo::isInstalledLayout(bin + QStringLiteral("/")));
    EXPECT_FALSE(AppInfo::isInstalledLayout(bin + QStringLiteral("/sub")));
}

TEST_F(AppInfoTest, HelpFileIsTheUsersCopyFirstThenTheInstalledOne)
{
    const QString programDir = makeDir(QStringLiteral("data"));
    const QString shipped = makeDir(QStringLiteral("prefix/share/tessaly"));
    EXPECT_EQ(AppInfo::chooseHelpFile(programDir, shipped), shipped + QStringLiteral("/Help.rtf"));
    ASSERT_TRUE(TestEnv::writeFile(programDir + QStringLiteral("/Help.rtf"), "{\\rtf1 mine}"));
    EXPECT_EQ(AppInfo::chooseHelpFile(programDir, shipped),
              programDir + QStringLiteral("/Help.rtf"));
    // Not installed: only the program directory's copy, whether it exists or not.
    const QString bare = makeDir(QStringLiteral("bare"));
    EXPECT_EQ(AppInfo::chooseHelpFile(bare, {}), bare + QStringLiteral("/Help.rtf"));
}

TEST_F(AppInfoTest, ProgramDirectoryFollowsTessalyHomeAndElseTheBuildTree)
{
    const QByteArray saved = qgetenv("TESSALY_HOME");
    const QString home = makeDir(QStringLiteral("home"));
    qputenv("TESSALY_HOME", home.toLocal8Bit());
    EXPECT_EQ(AppInfo::programDirectory(), home);
    EXPECT_EQ(AppInfo::programFile(QStringLiteral("cam")), home + QStringLiteral("/cam"));
    EXPECT_EQ(AppInfo::helpFile(), home + QStringLiteral("/Help.rtf"));

    // This test program runs from the build tree, so its own directory is used,
    // and nothing is made in the per-user data directory.
    qunsetenv("TESSALY_HOME");
    const QString perUser = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    EXPECT_FALSE(AppInfo::isInstalledLayout(QCoreApplication::applicationDirPath()));
    EXPECT_EQ(AppInfo::programDirectory(), QCoreApplication::applicationDirPath());
    EXPECT_FALSE(QFileInfo::exists(perUser)) << perUser.toStdString();
    qputenv("TESSALY_HOME", saved);
}
