#include <gtest/gtest.h>

#include <csignal>

#include <QSignalSpy>

#include "StopSignals.h"

// A signal arriving while the program runs must become an ordinary Qt signal,
// in the order the signals came, and the default handlers must return once
// nobody listens any more.

TEST(StopSignals, TurnsSigtermAndSigintIntoStopRequestsInOrder)
{
    StopSignals watcher;
    ASSERT_TRUE(watcher.isActive());
    QSignalSpy spy(&watcher, &StopSignals::stopRequested);
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_EQ(::raise(SIGINT), 0);
    for (int round = 0; round < 50 && spy.size() < 2; ++round)
        spy.wait(100);
    ASSERT_EQ(spy.size(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), SIGTERM);
    EXPECT_EQ(spy.at(1).at(0).toInt(), SIGINT);
}

TEST(StopSignals, RestoresTheDefaultHandlersWhenDestroyed)
{
    {
        StopSignals watcher;
        ASSERT_TRUE(watcher.isActive());
        struct sigaction current = {};
        ASSERT_EQ(::sigaction(SIGTERM, nullptr, &current), 0);
        EXPECT_NE(current.sa_handler, SIG_DFL);
    }
    struct sigaction after = {};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &after), 0);
    EXPECT_EQ(after.sa_handler, SIG_DFL);
    ASSERT_EQ(::sigaction(SIGINT, nullptr, &after), 0);
    EXPECT_EQ(after.sa_handler, SIG_DFL);
}
