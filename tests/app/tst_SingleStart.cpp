#include <gtest/gtest.h>

#include <QLockFile>
#include <QProcess>
#include <QTest>

#include "AppInfo.h"
#include "SingleInstance.h"
#include "TestEnv.h"

// The program itself, started twice: the second copy must end at once, without
// a window, while the first runs; once the first is gone, even killed, the next
// start goes ahead.

namespace {

constexpr int Timeout = 20000;

// The process holding the program's lock, or 0 while nobody holds it.
qint64 lockHolder()
{
    const SingleInstance probe(AppInfo::productName());
    QLockFile lock(probe.lockFilePath());
    qint64 pid = 0;
    QString host;
    QString application;
    if (!QFile::exists(probe.lockFilePath()) || !lock.getLockInfo(&pid, &host, &application))
        return 0;
    return pid;
}

void stop(QProcess &process)
{
    process.kill();
    process.waitForFinished(Timeout);
}

} // namespace

TEST(SingleStart, SecondCopyEndsAtOnceAndAKilledFirstDoesNotBlock)
{
    TestEnv::freshProgramDirectory();
    TestEnv::freshConfigDirectory();

    QProcess first;
    first.start(QStringLiteral(TESSALY_PATH), {});
    ASSERT_TRUE(first.waitForStarted(Timeout));
    ASSERT_TRUE(QTest::qWaitFor([&] { return lockHolder() == first.processId(); }, Timeout))
        << first.readAllStandardError().toStdString();

    QProcess second;
    second.start(QStringLiteral(TESSALY_PATH), {});
    ASSERT_TRUE(second.waitForFinished(Timeout));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(lockHolder(), first.processId());

    // A copy that was killed leaves its lock file behind; it does not count.
    stop(first);
    QProcess third;
    third.start(QStringLiteral(TESSALY_PATH), {});
    ASSERT_TRUE(third.waitForStarted(Timeout));
    EXPECT_TRUE(QTest::qWaitFor([&] { return lockHolder() == third.processId(); }, Timeout))
        << third.readAllStandardError().toStdString();
    EXPECT_EQ(third.state(), QProcess::Running);
    stop(third);
}
