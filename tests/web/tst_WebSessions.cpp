#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>

#include "TestEnv.h"
#include "WebSessions.h"

// Sessions of the web view: tokens, expiry after 30 days unused, logout, the
// bound on their number, and the file that keeps them across restarts.

namespace {
constexpr qint64 Day = 24 * 3600;
constexpr qint64 Start = 1800000000;
} // namespace

TEST(WebSessions, ATokenLivesWhileUsedAndEndsAfterThirtyDaysUnusedOrAtLogout)
{
    WebSessions sessions;
    const QByteArray token = sessions.create(Start);
    EXPECT_EQ(token.size(), 64);
    EXPECT_EQ(QByteArray::fromHex(token).toHex(), token) << "hexadecimal";
    EXPECT_NE(sessions.create(Start), token) << "a fresh random token each time";

    // Used every 29 days, it lives on for months.
    qint64 now = Start;
    for (int i = 0; i < 5; ++i) {
        now += 29 * Day;
        EXPECT_TRUE(sessions.touch(token, now)) << i;
    }
    EXPECT_FALSE(sessions.touch(token, now + 30 * Day + 1)) << "30 days and a second unused";
    EXPECT_FALSE(sessions.touch(token, now)) << "ended for good";

    const QByteArray other = sessions.create(now);
    sessions.end(other);
    EXPECT_FALSE(sessions.touch(other, now));
    EXPECT_FALSE(sessions.touch(QByteArray(), now));
    EXPECT_FALSE(sessions.touch(QByteArray(64, 'a'), now));
}

TEST(WebSessions, TheOldestSessionGivesWayWhenTheListIsFull)
{
    WebSessions sessions;
    const QByteArray oldest = sessions.create(Start);
    const QByteArray second = sessions.create(Start + 1);
    for (size_t i = 2; i < WebSessions::MaxSessions; ++i)
        sessions.create(Start + 10);
    EXPECT_EQ(sessions.count(), WebSessions::MaxSessions);
    EXPECT_TRUE(sessions.touch(oldest, Start + 20)); // now the most recent
    sessions.create(Start + 30);
    EXPECT_EQ(sessions.count(), WebSessions::MaxSessions);
    EXPECT_TRUE(sessions.touch(oldest, Start + 40));
    EXPECT_FALSE(sessions.touch(second, Start + 40));
}

TEST(WebSessions, TheFileKeepsOnlyHashesWithMode0600AndSurvivesARestart)
{
    const QString file = TestEnv::freshDataDirectory() + QStringLiteral("/sessions");
    QByteArray kept;
    QByteArray ended;
    {
        WebSessions sessions(file, Start);
        kept = sessions.create(Start);
        ended = sessions.create(Start);
        sessions.end(ended);
        EXPECT_TRUE(sessions.lastError().isEmpty()) << sessions.lastError().toStdString();
    }
    const QByteArray text = TestEnv::readFile(file);
    EXPECT_FALSE(text.contains(kept)) << "the token itself never reaches the disk";
    EXPECT_EQ(text.count('\n'), 1);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    WebSessions restarted(file, Start + Day);
    EXPECT_TRUE(restarted.touch(kept, Start + Day));
    EXPECT_FALSE(restarted.touch(ended, Start + Day));
    // A list damaged by hand loses its bad lines, not its good ones.
    ASSERT_TRUE(TestEnv::writeFile(file, text + "zz 1\n\n" + QByteArray(64, 'f') + " x\n"));
    WebSessions damaged(file, Start + Day);
    EXPECT_EQ(damaged.count(), 1u);
    EXPECT_TRUE(damaged.touch(kept, Start + Day));
    // Expired while the program was not running.
    WebSessions late(file, Start + 40 * Day);
    EXPECT_EQ(late.count(), 0u);
}
