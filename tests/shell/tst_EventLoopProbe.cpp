#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>

#include "EventLoopProbe.h"
#include "TestEnv.h"

TEST(EventLoopProbe, PercentilesComeFromTheRecordedLags)
{
    EventLoopProbe probe;
    EXPECT_EQ(probe.percentileMs(0.99), 0.0) << "nothing recorded";
    for (int i = 0; i < 980; ++i)
        probe.record(0.05);
    for (int i = 0; i < 19; ++i)
        probe.record(12.34);
    probe.record(5000); // beyond what the histogram tracks
    EXPECT_EQ(probe.samples(), 1000);
    EXPECT_NEAR(probe.percentileMs(0.5), 0.1, 1e-9);
    EXPECT_NEAR(probe.percentileMs(0.99), 12.4, 1e-9) << "the bucket's upper edge";
    EXPECT_EQ(probe.maxMs(), 5000.0);
    EXPECT_NEAR(probe.percentileMs(1.0), 5000.0, 1e-9);
    EXPECT_EQ(probe.summary(), QStringLiteral("lag_ms samples=1000 p50=0.1 p99=12.4 max=5000.0"));
}

TEST(EventLoopProbe, TicksInABusyStretchWaitForItsEndAndIdleOnesNotAtAll)
{
    EventLoopProbe probe;
    probe.start(10);
    constexpr qint64 ms = 1'000'000;
    probe.busy(25 * ms, 48 * ms); // ticks 10 and 20 idle; 30 and 40 wait 18 and 8 ms
    probe.busy(49 * ms, 50 * ms); // no tick inside
    probe.busy(50 * ms, 51 * ms); // the tick at 50 waits 1 ms
    probe.busy(95 * ms, 95 * ms); // ticks 60 to 90 idle
    EXPECT_EQ(probe.samples(), 9);
    EXPECT_EQ(probe.maxMs(), 18.0);
    EXPECT_NEAR(probe.percentileMs(0.5), 0.1, 1e-9) << "six of nine ticks found it idle";
    EXPECT_NEAR(probe.percentileMs(0.75), 1.1, 1e-9);
    EXPECT_NEAR(probe.percentileMs(0.9), 8.1, 1e-9);
}

TEST(EventLoopProbe, ABusyLoopShowsAsLagInTheReportFile)
{
    const QString report = TestEnv::root() + QStringLiteral("/lag.txt");
    qputenv("TESSALY_LAG_PROBE", report.toLocal8Bit());
    {
        QObject owner;
        EventLoopProbe *probe = EventLoopProbe::startFromEnvironment(&owner);
        qunsetenv("TESSALY_LAG_PROBE");
        ASSERT_NE(probe, nullptr);
        // Let it fire a few times, then keep the loop from running for 80 ms.
        QEventLoop loop;
        QTimer::singleShot(50, &loop, [] { QThread::msleep(80); });
        QTimer::singleShot(200, &loop, &QEventLoop::quit);
        loop.exec();
        EXPECT_GT(probe->samples(), 3);
        EXPECT_GE(probe->maxMs(), 60.0) << "the 80 ms stall, less one interval";
    }
    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "written when the probe goes";
    EXPECT_TRUE(file.readAll().startsWith("lag_ms samples="));
    EXPECT_EQ(EventLoopProbe::startFromEnvironment(nullptr), nullptr) << "off without the variable";
}

TEST(EventLoopProbe, TalliesFollowTheLagInTheSummaryAsTheyStandThen)
{
    EventLoopProbe probe;
    probe.record(1.0);
    qint64 pictures = 0;
    probe.addTally(QStringLiteral("pictures"), [&pictures] { return pictures; });
    probe.addTally(QStringLiteral("failed"), [] { return qint64(3); });
    EXPECT_EQ(probe.summary(),
              QStringLiteral("lag_ms samples=1 p50=1.0 p99=1.0 max=1.0 pictures=0 failed=3"));
    pictures = 1234567890123;
    EXPECT_TRUE(probe.summary().endsWith(QStringLiteral(" pictures=1234567890123 failed=3")))
        << "read anew for every summary";
}
