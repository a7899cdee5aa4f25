#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QUuid>

#include "AppInfo.h"
#include "SingleInstance.h"
#include "TestEnv.h"

namespace {

constexpr int kAlreadyRunning = 3;

// Started again by the tests below, this program is the "second start": it
// takes the lock in the directory it is given and answers with its exit code
// (0 started, 3 already running), or, asked to hold, keeps the lock until its
// standard input closes or it is killed. This runs before main().
const int secondStart = [] {
    const QByteArray dir = qgetenv("TESSALY_TEST_LOCK_DIR");
    if (dir.isEmpty())
        return 0;
    int code = 0;
    {
        SingleInstance instance(QStringLiteral("Tessaly"), QString::fromLocal8Bit(dir));
        const bool started = instance.tryStart();
        code = started ? 0 : kAlreadyRunning;
        if (started && qgetenv("TESSALY_TEST_LOCK_MODE") == "hold") {
            std::fputs("locked\n", stdout);
            std::fflush(stdout);
            while (std::fgetc(stdin) != EOF) {
            }
        }
    }
    std::fflush(stdout);
    std::_Exit(code);
}();

QString freshLockDirectory()
{
    const QString dir = TestEnv::root() + QStringLiteral("/locks-") +
                        QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
    QDir().mkpath(dir);
    return dir;
}

void startSecond(QProcess &process, const QString &dir, const QByteArray &mode = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TESSALY_TEST_LOCK_DIR"), dir);
    if (!mode.isEmpty())
        env.insert(QStringLiteral("TESSALY_TEST_LOCK_MODE"), QString::fromLatin1(mode));
    process.setProcessEnvironment(env);
    process.start(QCoreApplication::applicationFilePath(), {});
}

// The exit code of a second start, and how long it took to answer.
std::pair<int, qint64> runSecond(const QString &dir)
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    startSecond(process, dir);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, clock.elapsed()};
    return {process.exitCode(), clock.elapsed()};
}

} // namespace

TEST(SingleInstance, LockLivesInTheRuntimeDirectoryNamedAfterTheProduct)
{
    SingleInstance instance(AppInfo::productName());
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    EXPECT_EQ(QFileInfo(instance.lockFilePath()).absolutePath(),
              QFileInfo(runtime).absoluteFilePath());
    EXPECT_EQ(QFileInfo(instance.lockFilePath()).fileName(), AppInfo::productName() + ".lock");
    ASSERT_TRUE(instance.tryStart());
    EXPECT_TRUE(QFile::exists(instance.lockFilePath()));
    SingleInstance second(AppInfo::productName());
    EXPECT_FALSE(second.tryStart());
}

TEST(SingleInstance, SecondProcessEndsAtOnceWhileOneRuns)
{
    const QString dir = freshLockDirectory();
    {
        // Nobody holds the lock: a start goes ahead.
        const auto [code, ms] = runSecond(dir);
        EXPECT_EQ(code, 0);
    }
    SingleInstance first(QStringLiteral("Tessaly"), dir);
    ASSERT_TRUE(first.tryStart());
    const auto [code, ms] = runSecond(dir);
    EXPECT_EQ(code, kAlreadyRunning);
    // "At once": no waiting on the lock (generous for a loaded machine).
    EXPECT_LT(ms, 10000);
}

TEST(SingleInstance, LockOfACrashedRunDoesNotBlock)
{
    const QString dir = freshLockDirectory();
    QProcess holder;
    startSecond(holder, dir, "hold");
    ASSERT_TRUE(holder.waitForReadyRead(20000));
    ASSERT_EQ(holder.readLine().trimmed(), QByteArray("locked"));

    {
        SingleInstance whileAlive(QStringLiteral("Tessaly"), dir);
        EXPECT_FALSE(whileAlive.tryStart()) << "the holder is alive";
    }
    // A lock held for an hour by a live run is still held.
    const QString lockPath = SingleInstance(QStringLiteral("Tessaly"), dir).lockFilePath();
    {
        QFile lock(lockPath);
        ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
        ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                     QFileDevice::FileModificationTime));
    }
    {
        SingleInstance afterAnHour(QStringLiteral("Tessaly"), dir);
        EXPECT_FALSE(afterAnHour.tryStart());
    }

    // The holder crashes: its lock file stays behind with a dead process in it.
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(20000));
    ASSERT_TRUE(QFile::exists(lockPath));

    SingleInstance next(QStringLiteral("Tessaly"), dir);
    EXPECT_TRUE(next.tryStart());
    EXPECT_TRUE(next.isHeld());
}

TEST(SingleInstance, DeadOwnerCountsWhateverHostNameItWrote)
{
    // A run that crashed before the machine was renamed: its lock names the
    // old host. Linux never hands out a process id above 4194304.
    const QString dir = freshLockDirectory();
    const QString lockPath = SingleInstance(QStringLiteral("Tessaly"), dir).lockFilePath();
    ASSERT_TRUE(TestEnv::writeFile(lockPath, "4194305\ntst_SingleInstance\nan-old-host-name\n"));
    SingleInstance next(QStringLiteral("Tessaly"), dir);
    EXPECT_TRUE(next.tryStart());
}

TEST(SingleInstance, UnreadableLockCountsOnlyOnceItIsOld)
{
    const QString dir = freshLockDirectory();
    const QString lockPath = SingleInstance(QStringLiteral("Tessaly"), dir).lockFilePath();
    // What a run that crashed while writing its lock leaves behind.
    ASSERT_TRUE(TestEnv::writeFile(lockPath, QByteArray()));
    {
        SingleInstance justWritten(QStringLiteral("Tessaly"), dir);
        EXPECT_FALSE(justWritten.tryStart()) << "another copy may be writing it right now";
    }
    {
        QFile lock(lockPath);
        ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
        ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                     QFileDevice::FileModificationTime));
    }
    SingleInstance later(QStringLiteral("Tessaly"), dir);
    EXPECT_TRUE(later.tryStart());
}

TEST(SingleInstance, UnusableDirectoryFallsBackToTheTemporaryDirectory)
{
    SingleInstance instance(QStringLiteral("TessalyTest"),
                            TestEnv::root() + QStringLiteral("/no/such/directory"));
    ASSERT_TRUE(instance.tryStart());
    EXPECT_TRUE(instance.isHeld());
    EXPECT_EQ(QFileInfo(instance.lockFilePath()).absolutePath(),
              QFileInfo(QDir::tempPath()).absoluteFilePath());
    SingleInstance second(QStringLiteral("TessalyTest"),
                          TestEnv::root() + QStringLiteral("/no/such/directory"));
    EXPECT_FALSE(second.tryStart());
}
