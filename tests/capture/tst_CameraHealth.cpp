#include <gtest/gtest.h>

#include "CameraHealth.h"

using Change = CameraHealth::Change;

TEST(CameraHealth, ACameraThatFailsStaysDownAndComesBackIsToldInThreeKindsOfLine)
{
    CameraHealth health(0);
    EXPECT_EQ(health.picture(1'000), Change::None);
    EXPECT_EQ(health.failure(QStringLiteral("Connection refused"), 2'000), Change::StartedFailing);
    EXPECT_TRUE(health.isFailing());
    EXPECT_EQ(health.downSinceMs(), 2'000);

    // A failure a second for ten minutes: silence until the reminder is due.
    qint64 now = 2'000;
    int reminders = 0;
    for (int i = 0; i < 1'799; ++i) {
        now += 1'000;
        const Change change = health.failure(QStringLiteral("Timed out"), now);
        EXPECT_NE(change, Change::StartedFailing);
        if (change == Change::StillFailing) {
            ++reminders;
            EXPECT_EQ(now, 2'000 + reminders * CameraHealth::RemindEveryMs);
            EXPECT_EQ(health.failuresInRun(), 1 + reminders * 600);
        }
    }
    EXPECT_EQ(reminders, 2) << "30 minutes down, one line every 10 minutes";
    EXPECT_EQ(health.lastFailure(), QStringLiteral("Timed out"));

    EXPECT_EQ(health.picture(now + 500), Change::Recovered);
    EXPECT_FALSE(health.isFailing());
    EXPECT_EQ(health.failuresInRun(), 1'800) << "what the return line reports";
    EXPECT_EQ(health.picture(now + 1'500), Change::None);

    // A new run of failures starts its own count and line.
    EXPECT_EQ(health.failure(QStringLiteral("No route"), now + 2'000), Change::StartedFailing);
    EXPECT_EQ(health.failuresInRun(), 1);
    EXPECT_EQ(health.totalFailures(), 1'801);
}

TEST(CameraHealth, APanelIsStaleAfterTwiceItsRefreshAndAtLeastTenSeconds)
{
    CameraHealth health(100'000);
    // Never delivered: stale counted from the start.
    EXPECT_FALSE(health.isStale(110'000, 1));
    EXPECT_TRUE(health.isStale(110'001, 1));

    health.picture(200'000);
    EXPECT_FALSE(health.isStale(209'000, 1));
    EXPECT_TRUE(health.isStale(210'001, 1)) << "a 1 s camera: ten seconds, not two";
    EXPECT_FALSE(health.isStale(259'000, 30));
    EXPECT_TRUE(health.isStale(260'001, 30)) << "a 30 s camera: a minute";
    health.picture(260'500);
    EXPECT_FALSE(health.isStale(261'000, 30)) << "the next picture clears it";
    EXPECT_EQ(CameraHealth::staleAfterMs(-5), CameraHealth::MinStaleMs);

    EXPECT_EQ(CameraHealth::spanText(45'000), QStringLiteral("45 s"));
    EXPECT_EQ(CameraHealth::spanText(200'000), QStringLiteral("3 min 20 s"));
    EXPECT_EQ(CameraHealth::spanText(600'000), QStringLiteral("10 min"));
    EXPECT_EQ(CameraHealth::spanText(7'500'000), QStringLiteral("2 h 5 min"));
    EXPECT_EQ(CameraHealth::spanText(2 * 86'400'000LL + 3'600'000), QStringLiteral("2 d 1 h"));
}
