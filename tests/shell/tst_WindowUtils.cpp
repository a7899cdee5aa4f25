#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QImage>
#include <QWidget>

#include "AppInfo.h"
#include "ScopedHooks.h"
#include "TestEnv.h"
#include "WindowUtils.h"

namespace {
struct FakeScreenSaver
{
    bool present = true;
    std::optional<quint32> nextCookie = 42;
    bool acceptRelease = true;
    QStringList inhibitedBy;
    QList<quint32> released;

    WindowUtils::ScreenSaverService service()
    {
        WindowUtils::ScreenSaverService s;
        s.available = [this] { return present; };
        s.inhibit = [this](const QString &application, const QString &) {
            inhibitedBy.append(application);
            return nextCookie;
        };
        s.uninhibit = [this](quint32 cookie) {
            released.append(cookie);
            return acceptRelease;
        };
        return s;
    }
};
} // namespace

// Runs before any other test here touches the session bus, which Qt connects once.
TEST(WindowUtils, ScreenSaverSwitchAnswersFalseWithoutASessionBus)
{
    qputenv(
        "DBUS_SESSION_BUS_ADDRESS",
        (QStringLiteral("unix:path=") + TestEnv::root() + QStringLiteral("/no-bus")).toLocal8Bit());
    const ScopedHook<&WindowUtils::setScreenSaverService> realService(
        WindowUtils::ScreenSaverService{});
    EXPECT_FALSE(WindowUtils::SetScreenSaverActive(false));
    EXPECT_FALSE(WindowUtils::screenSaverCookie().has_value());
    EXPECT_FALSE(WindowUtils::SetScreenSaverActive(true));
}

TEST(WindowUtils, ScreenSaverIsInhibitedOnceAndReleasedWithItsCookie)
{
    FakeScreenSaver fake;
    const ScopedHook<&WindowUtils::setScreenSaverService> fakeService(fake.service());

    EXPECT_TRUE(WindowUtils::SetScreenSaverActive(false));
    EXPECT_EQ(WindowUtils::screenSaverCookie(), std::optional<quint32>(42));
    EXPECT_EQ(fake.inhibitedBy, QStringList{AppInfo::productName()});
    // A second switch-off keeps the one inhibition instead of leaking a cookie.
    EXPECT_TRUE(WindowUtils::SetScreenSaverActive(false));
    EXPECT_EQ(fake.inhibitedBy.size(), 1);

    EXPECT_TRUE(WindowUtils::SetScreenSaverActive(true));
    EXPECT_EQ(fake.released, QList<quint32>{42});
    EXPECT_FALSE(WindowUtils::screenSaverCookie().has_value());
    // Nothing of ours left to release.
    EXPECT_TRUE(WindowUtils::SetScreenSaverActive(true));
    EXPECT_EQ(fake.released.size(), 1);

    // A refused inhibition holds nothing; a refused release still spends the cookie.
    fake.nextCookie.reset();
    EXPECT_FALSE(WindowUtils::SetScreenSaverActive(false));
    EXPECT_FALSE(WindowUtils::screenSaverCookie().has_value());
    fake.nextCookie = 7;
    fake.acceptRelease = false;
    EXPECT_TRUE(WindowUtils::SetScreenSaverActive(false));
    EXPECT_FALSE(WindowUtils::SetScreenSaverActive(true));
    EXPECT_FALSE(WindowUtils::screenSaverCookie().has_value());

    // The service gone: false, and it is not called.
    fake.present = false;
    const qsizetype calls = fake.inhibitedBy.size();
    EXPECT_FALSE(WindowUtils::SetScreenSaverActive(false));
    EXPECT_EQ(fake.inhibitedBy.size(), calls);
}

TEST(WindowUtils, GetFileNameTakesTheLastComponent)
{
    EXPECT_EQ(WindowUtils::GetFileName(QStringLiteral("C:\\a\\b.txt")), QStringLiteral("b.txt"));
    EXPECT_EQ(WindowUtils::GetFileName(QStringLiteral("b.txt")), QStringLiteral("b.txt"));
    EXPECT_EQ(WindowUtils::GetFileName(QStringLiteral("C:\\a\\")), QString());
    EXPECT_EQ(WindowUtils::GetFileName(QString()), QString());
    EXPECT_EQ(WindowUtils::GetFileName(QStringLiteral("/srv/tessaly/Help.rtf")),
              QStringLiteral("Help.rtf"));
    EXPECT_EQ(WindowUtils::GetFileName(QStringLiteral("/srv/a\\b/c")), QStringLiteral("c"));
    EXPECT_EQ(WindowUtils::GetFileName(QStringLiteral("/srv/")), QString());
}

TEST(WindowUtils, DirectoryAndFileTests)
{
    const QString dir = TestEnv::freshProgramDirectory();
    ASSERT_TRUE(QDir(dir).mkpath(QStringLiteral("cam/empty")));
    ASSERT_TRUE(TestEnv::writeFile(dir + QStringLiteral("/00camlist.txt"), "\r\n"));
    ASSERT_TRUE(TestEnv::writeFile(dir + QStringLiteral("/.hidden"), "x"));
    ASSERT_TRUE(TestEnv::writeFile(dir + QStringLiteral("/star*.txt"), "x"));
    const QString cam = dir + QStringLiteral("/cam");

    // With or without a trailing separator, either kind; empty directories count.
    for (const QString &path :
         {cam, cam + QLatin1Char('/'), cam + QLatin1Char('\\'), cam + QStringLiteral("\\empty")}) {
        EXPECT_TRUE(WindowUtils::DirExists(path)) << path.toStdString();
    }
    EXPECT_FALSE(WindowUtils::DirExists(dir + QStringLiteral("/missing")));
    EXPECT_FALSE(WindowUtils::DirExists(dir + QStringLiteral("/missing/")));
    EXPECT_FALSE(WindowUtils::DirExists(dir + QStringLiteral("/00camlist.txt")));
    EXPECT_FALSE(WindowUtils::DirExists(QString()));

    EXPECT_TRUE(WindowUtils::FileExists(dir + QStringLiteral("/00camlist.txt")));
    EXPECT_TRUE(WindowUtils::FileExists(dir + QStringLiteral("\\00camlist.txt")));
    EXPECT_FALSE(WindowUtils::FileExists(cam)) << "a directory is not a file";
    EXPECT_FALSE(WindowUtils::FileExists(cam + QLatin1Char('/')));
    EXPECT_FALSE(WindowUtils::FileExists(dir + QStringLiteral("/00CAMLIST.TXT")))
        << "another name on a case-sensitive file system";
    EXPECT_FALSE(WindowUtils::FileExists(dir + QStringLiteral("/*.txt")));
    EXPECT_TRUE(WindowUtils::FileExists(dir + QStringLiteral("/star*.txt")))
        << "a file literally named by the pattern";
    EXPECT_FALSE(WindowUtils::FileExists(dir + QStringLiteral("/.hidden")));
    EXPECT_FALSE(WindowUtils::FileExists(dir + QStringLiteral("/missing.txt")));
    EXPECT_FALSE(WindowUtils::FileExists(QString()));
}

TEST(WindowUtils, OnTopKeepsVisibility)
{
    QWidget shown;
    shown.show();
    QWidget hidden;

    WindowUtils::SetOnTop(&shown, true);
    WindowUtils::SetOnTop(&hidden, true);
    EXPECT_TRUE(shown.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(hidden.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(shown.isVisible());
    EXPECT_FALSE(hidden.isVisible());

    WindowUtils::SetOnTop(&shown, false);
    EXPECT_FALSE(shown.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(shown.isVisible());
    WindowUtils::SetOnTop(nullptr, true);
}

TEST(WindowUtils, ProgramIconGoesToTheWindowAndItsTopOwner)
{
    const QIcon icon = WindowUtils::iconResource(QStringLiteral("AAA"));
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    // A drawn picture, not an empty square: the lens centre is opaque.
    const QImage large = icon.pixmap(QSize(32, 32)).toImage();
    EXPECT_EQ(large.size(), QSize(32, 32));
    EXPECT_GT(qAlpha(large.pixel(16, 17)), 200);
    EXPECT_TRUE(WindowUtils::iconResource(QStringLiteral("NOPE")).isNull());

    QWidget owner;
    QDialog middle(&owner);
    QDialog dialog(&middle);
    WindowUtils::SetWindowIcon(&dialog, QStringLiteral("AAA"), false);
    EXPECT_FALSE(dialog.windowIcon().isNull());
    EXPECT_TRUE(owner.windowIcon().isNull()) << "without alsoOwner the owner keeps its icon";

    QDialog other(&middle);
    WindowUtils::SetWindowIcon(&other, QStringLiteral("AAA"), true);
    EXPECT_FALSE(other.windowIcon().isNull());
    EXPECT_FALSE(owner.windowIcon().isNull()) << "the top owner, not only the direct one";

    // An unknown resource leaves the icon alone.
    QWidget plain;
    WindowUtils::SetWindowIcon(&plain, QStringLiteral("NOPE"), true);
    EXPECT_TRUE(plain.windowIcon().isNull());
}
