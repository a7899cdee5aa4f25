#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <memory>
#include <vector>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include "AppInfo.h"
#include "HostileServer.h"
#include "LighttpdServer.h"
#include "ProgramProcess.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "TestEnv.h"

// tessaly --record as a service runs it: against the demo camera, in a program
// directory of its own, stopped by SIGTERM.

namespace {

constexpr int Timeout = 30000;

using Process = ProgramProcess;

struct DemoCam
{
    std::unique_ptr<Process> process;
    quint16 port = 0;
};

DemoCam startDemoCam(const QStringList &options = {"--cameras", "2", "--size", "320x240",
                                                   "--change-every", "1"})
{
    DemoCam demo;
    demo.process = ::startDemoCam(options, &demo.port, Timeout);
    return demo;
}

QByteArray camList(quint16 port, const QStringList &paths)
{
    QByteArray list = "\r\n";
    int n = 0;
    for (const QString &path : paths) {
        list += QStringLiteral("[name]Demo %1\r\nhttp://127.0.0.1:%2%3\r\n1\r\n\r\n")
                    .arg(++n)
                    .arg(port)
                    .arg(path)
                    .toUtf8();
    }
    return list;
}

QStringList savedFiles()
{
    return QDir(AppInfo::programFile("cam")).entryList(QDir::Files, QDir::Name);
}

int countMatching(const QStringList &lines, const QRegularExpression &pattern)
{
    int n = 0;
    for (const QString &line : lines)
        n += pattern.match(line).hasMatch() ? 1 : 0;
    return n;
}

void terminateAndExpectCleanExit(Process &tessaly)
{
    tessaly->terminate(); // SIGTERM
    ASSERT_TRUE(tessaly->waitForFinished(Timeout));
    EXPECT_EQ(tessaly->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tessaly->exitCode(), 0) << tessaly.errors().toStdString();
}

const QString Stamp = QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )");

} // namespace

TEST(RecordMode, AutoSaveOnSavesNewPicturesUnderTheNameRuleAndStopsOnSigterm)
{
    DemoCam demo = startDemoCam();
    ASSERT_NE(demo.port, 0);
    TestEnv::freshProgramDirectory();
    ASSERT_TRUE(TestEnv::writeFile(AppInfo::programFile("00camlist.txt"),
                                   camList(demo.port, {"/cam1.jpg", "/cam2.jpg"})));
    ASSERT_TRUE(
        SettingsStore::SaveMachineSetting(AppInfo::productName(), "Settings", "autoSave", "0"));

    // Ticked from the command line, as on a box without a desktop.
    Process tessaly(QStringLiteral(TESSALY_PATH), {"--autosave", "on", "--record"});
    ASSERT_TRUE(tessaly->waitForStarted(Timeout));
    const QRegularExpression saved(Stamp + R"(saved (Demo [12]) -> (.*)$)");
    // The first picture of a camera only records its Last-Modified line; the
    // demo camera changes its picture every second, so saves follow.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return countMatching(tessaly.lines(), saved) >= 3; }, Timeout))
        << tessaly.lines().join('\n').toStdString() << tessaly.errors().toStdString();
    EXPECT_TRUE(tessaly.errors().contains("recording 2 cameras")) << tessaly.errors().toStdString();
    EXPECT_TRUE(tessaly.errors().contains("autosave on"));

    const QString camDir = QDir(AppInfo::programFile("cam")).canonicalPath();
    const QRegularExpression nameRule(
        QStringLiteral(R"(^Demo[12]\d{5,8}\d{5,6}[AP]M(-\d+)?\.jpg$)"));
    // The demo camera's shapes move: change detection, on by default, tells it.
    const QRegularExpression change(Stamp + R"(change (started|ended) Demo [12] )");
    for (const QString &line : tessaly.lines()) {
        if (change.match(line).hasMatch())
            continue;
        const QRegularExpressionMatch match = saved.match(line);
        ASSERT_TRUE(match.hasMatch()) << line.toStdString(); // nothing but saves here
        const QFileInfo file(match.captured(2));
        EXPECT_EQ(QFileInfo(file.absolutePath()).canonicalFilePath(), camDir);
        EXPECT_TRUE(nameRule.match(file.fileName()).hasMatch()) << file.fileName().toStdString();
        EXPECT_TRUE(file.fileName().startsWith(QString(match.captured(1)).remove(' ')));
        const QImage image(file.absoluteFilePath());
        EXPECT_EQ(image.size(), QSize(320, 240)) << file.absoluteFilePath().toStdString();
    }
    terminateAndExpectCleanExit(tessaly);
    const QStringList files = savedFiles();
    EXPECT_EQ(files.size(), countMatching(tessaly.lines(), saved));
    for (const QString &name : files)
        EXPECT_TRUE(nameRule.match(name).hasMatch()) << name.toStdString();
    EXPECT_TRUE(tessaly.errors().contains("saved, 0 failed) from 2 cameras"))
        << tessaly.errors().toStdString();
    // Stored for the main window and the next run, as a tick of the check box.
    EXPECT_EQ(SettingsStore::GetMachineSetting(AppInfo::productName(), "Settings", "autoSave", ""),
              "1");
}

TEST(RecordMode, AutoSaveOffSavesNothingReportsFailuresAndStopsOnSigint)
{
    DemoCam demo = startDemoCam();
    ASSERT_NE(demo.port, 0);
    TestEnv::freshProgramDirectory();
    // The third camera is not served: it fails every second, and says so once.
    ASSERT_TRUE(TestEnv::writeFile(AppInfo::programFile("00camlist.txt"),
                                   camList(demo.port, {"/cam1.jpg", "/cam2.jpg", "/cam9.jpg"})));
    ASSERT_TRUE(
        SettingsStore::SaveMachineSetting(AppInfo::productName(), "Settings", "autoSave", "0"));

    Process tessaly(QStringLiteral(TESSALY_PATH), {"--record"});
    ASSERT_TRUE(tessaly->waitForStarted(Timeout));
    const QRegularExpression failed(Stamp + R"(failed Demo 3: .+$)");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return countMatching(tessaly.lines(), failed) >= 1; }, Timeout))
        << tessaly.lines().join('\n').toStdString() << tessaly.errors().toStdString();
    EXPECT_TRUE(tessaly.errors().contains("autosave off"));
    // Time for more failures of Demo 3 and new pictures of the others.
    QTest::qWait(4000);

    ::kill(pid_t(tessaly->processId()), SIGINT);
    ASSERT_TRUE(tessaly->waitForFinished(Timeout));
    EXPECT_EQ(tessaly->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tessaly->exitCode(), 0);
    const QRegularExpression change(Stamp + R"(change (started|ended) Demo [12] )");
    EXPECT_EQ(countMatching(tessaly.lines(), failed) + countMatching(tessaly.lines(), change),
              tessaly.lines().size());
    EXPECT_TRUE(savedFiles().isEmpty()) << savedFiles().join(' ').toStdString();
    // New pictures arrived and none was saved.
    const QRegularExpression summary(
        R"(recorded (\d+) pictures \((\d+) new, 0 saved, \d+ failed\) from 3 cameras)");
    const QRegularExpressionMatch match = summary.match(tessaly.errors());
    ASSERT_TRUE(match.hasMatch()) << tessaly.errors().toStdString();
    EXPECT_GE(match.captured(1).toInt(), 4);
    EXPECT_GE(match.captured(2).toInt(), 1);
    // A camera that stays down is one line, and its failures are counted at the end.
    EXPECT_EQ(countMatching(tessaly.lines(), failed), 1);
    const QRegularExpressionMatch perCamera =
        QRegularExpression(R"(failures by camera: Demo 1 0, Demo 2 0, Demo 3 (\d+))")
            .match(tessaly.errors());
    ASSERT_TRUE(perCamera.hasMatch()) << tessaly.errors().toStdString();
    EXPECT_GE(perCamera.captured(1).toInt(), 3);
}

// "Save only changes" against a person crossing one camera's view while
// nothing happens in the other's: the crossing's pictures are saved and its
// start and end told; the quiet view saves nothing and tells nothing.
TEST(RecordMode, SaveOnlyChangesKeepsTheCrossingAndNothingOfAQuietView)
{
    const QStringList common{"--cameras", "1", "--size", "1280x720", "--change-every", "1"};
    DemoCam walker = startDemoCam(common + walkerSceneOptions(8));
    DemoCam still = startDemoCam(common + QStringList{"--scene", "still"});
    ASSERT_NE(walker.port, 0);
    ASSERT_NE(still.port, 0);
    TestEnv::freshProgramDirectory();
    ASSERT_TRUE(TestEnv::writeFile(
        AppInfo::programFile("00camlist.txt"),
        QStringLiteral("\r\n[name]Path\r\nhttp://127.0.0.1:%1/cam1.jpg\r\n1\r\n\r\n"
                       "[name]Quiet\r\nhttp://127.0.0.1:%2/cam1.jpg\r\n1\r\n\r\n")
            .arg(walker.port)
            .arg(still.port)
            .toUtf8()));

    Process tessaly(QStringLiteral(TESSALY_PATH),
                    {"--autosave", "change", "--detect", "on", "--also-every", "0", "--record"});
    ASSERT_TRUE(tessaly->waitForStarted(Timeout));
    const QRegularExpression started(Stamp +
                                     R"(change started Path \((\d+\.\d) % of the picture\)$)");
    const QRegularExpression ended(Stamp + R"(change ended Path after (\d+) s$)");
    const QRegularExpression saved(Stamp + R"(saved (\S+) -> (.*)$)");
    ASSERT_TRUE(QTest::qWaitFor([&] { return countMatching(tessaly.lines(), ended) == 1; }, 60000))
        << tessaly.lines().join('\n').toStdString() << tessaly.errors().toStdString();
    EXPECT_TRUE(tessaly.errors().contains("autosave only changes, change detection on"))
        << tessaly.errors().toStdString();
    // Quiet pictures after the end are not saved.
    QTest::qWait(1500);
    const int savedAtEnd = countMatching(tessaly.lines(), saved);
    QTest::qWait(3000);
    EXPECT_EQ(countMatching(tessaly.lines(), saved), savedAtEnd);
    terminateAndExpectCleanExit(tessaly);

    const QStringList lines = tessaly.lines();
    EXPECT_EQ(countMatching(lines, started), 1) << lines.join('\n').toStdString();
    const QRegularExpressionMatch end = ended.match(lines.filter(ended).value(0));
    ASSERT_TRUE(end.hasMatch());
    EXPECT_GE(end.captured(1).toInt(), 10) << "the crossing takes 20 s";
    EXPECT_LE(end.captured(1).toInt(), 30);
    // The picture before, the changed ones, and the two after: all of Path.
    int savedPath = 0;
    for (const QString &line : lines.filter(saved))
        savedPath += saved.match(line).captured(1) == "Path" ? 1 : 0;
    EXPECT_EQ(savedPath, countMatching(lines, saved)) << lines.join('\n').toStdString();
    EXPECT_GE(savedPath, 1 + 8 + 2);
    EXPECT_EQ(savedFiles().size(), savedPath);
    EXPECT_TRUE(lines.filter("Quiet").isEmpty()) << lines.join('\n').toStdString();
    // Stored for the window and the next run.
    EXPECT_EQ(Settings::autoSaveMode(), Settings::AutoSaveMode::Change);
    EXPECT_TRUE(Settings::detect());
}

TEST(RecordMode, NothingToRecordAndWrongOptionsEndAtOnce)
{
    TestEnv::freshProgramDirectory();
    {
        Process tessaly(QStringLiteral(TESSALY_PATH), {"--record"});
        ASSERT_TRUE(tessaly->waitForFinished(Timeout));
        EXPECT_EQ(tessaly->exitCode(), 1);
        EXPECT_TRUE(tessaly.errors().contains("No camera list: "))
            << tessaly.errors().toStdString();
        EXPECT_TRUE(tessaly.lines().isEmpty());
    }
    ASSERT_TRUE(TestEnv::writeFile(AppInfo::programFile("00camlist.txt"), "\r\n"));
    {
        Process tessaly(QStringLiteral(TESSALY_PATH), {"--record"});
        ASSERT_TRUE(tessaly->waitForFinished(Timeout));
        EXPECT_EQ(tessaly->exitCode(), 1);
        EXPECT_TRUE(tessaly.errors().contains("holds no camera")) << tessaly.errors().toStdString();
    }
    {
        Process tessaly(QStringLiteral(TESSALY_PATH), {"--recrod"});
        ASSERT_TRUE(tessaly->waitForFinished(Timeout));
        EXPECT_EQ(tessaly->exitCode(), 2);
        EXPECT_TRUE(tessaly.errors().contains("unknown option '--recrod'"));
        EXPECT_TRUE(tessaly.lines().isEmpty());
    }
    {
        // Only stores the option; records nothing.
        Process tessaly(QStringLiteral(TESSALY_PATH), {"--autosave", "on"});
        ASSERT_TRUE(tessaly->waitForFinished(Timeout));
        EXPECT_EQ(tessaly->exitCode(), 0) << tessaly.errors().toStdString();
        EXPECT_EQ(
            SettingsStore::GetMachineSetting(AppInfo::productName(), "Settings", "autoSave", ""),
            "1");
        EXPECT_FALSE(QFileInfo::exists(AppInfo::programFile("cam")));
    }
    {
        Process tessaly(QStringLiteral(TESSALY_PATH), {"--version"});
        ASSERT_TRUE(tessaly->waitForFinished(Timeout));
        EXPECT_EQ(tessaly->exitCode(), 0);
        EXPECT_EQ(tessaly.lines().value(0), AppInfo::productName() + " " +
                                                AppInfo::versionString() + " by " +
                                                AppInfo::companyName());
    }
}

TEST(RecordMode, KeepOriginalStoredByTheWindowIsWhatTheRecorderUsesAndBack)
{
    DemoCam demo = startDemoCam();
    ASSERT_NE(demo.port, 0);
    TestEnv::freshProgramDirectory();
    ASSERT_TRUE(TestEnv::writeFile(AppInfo::programFile("00camlist.txt"),
                                   camList(demo.port, {"/cam1.jpg"})));
    // What the window's menu entry stores.
    ASSERT_TRUE(Settings::setKeepOriginal(true));
    {
        Process tessaly(QStringLiteral(TESSALY_PATH), {"--autosave", "on", "--record"});
        ASSERT_TRUE(tessaly->waitForStarted(Timeout));
        const QRegularExpression saved(Stamp + R"(saved Demo 1 -> (.*)$)");
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return countMatching(tessaly.lines(), saved) >= 1; }, Timeout))
            << tessaly.errors().toStdString();
        EXPECT_TRUE(tessaly.errors().contains("autosave on, camera's own pictures"))
            << tessaly.errors().toStdString();
        terminateAndExpectCleanExit(tessaly);
        for (const QString &name : savedFiles())
            EXPECT_EQ(QImage(AppInfo::programFile("cam/" + name)).size(), QSize(320, 240));
    }
    // And what the command line stores, the window reads.
    Process off(QStringLiteral(TESSALY_PATH), {"--keep-original", "off"});
    ASSERT_TRUE(off->waitForFinished(Timeout));
    EXPECT_EQ(off->exitCode(), 0) << off.errors().toStdString();
    EXPECT_TRUE(off.errors().contains("\"keepOriginal\" = \"0\"")) << off.errors().toStdString();
    EXPECT_FALSE(Settings::keepOriginal());
}

namespace {

// The recorder's peak resident memory (VmHWM) in KiB, 0 when unknown.
qint64 peakKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

} // namespace

TEST(RecordMode, TwentyFourEndlessStreamsCostOneFrameEachAndLittleMemory)
{
    // Stream URLs of 24 cameras that never end their answers: each fetch takes
    // the first picture and closes, so memory stays where a snapshot camera's
    // would be.
    std::vector<std::unique_ptr<HostileServer>> streams;
    QByteArray list = "\r\n";
    for (int i = 0; i < 24; ++i) {
        streams.push_back(std::make_unique<HostileServer>(HostileServer::Kind::EndlessStream));
        list += QStringLiteral("[name]Stream %1\r\nhttp://127.0.0.1:%2/video.mjpg\r\n1\r\n\r\n")
                    .arg(i + 1)
                    .arg(streams.back()->port())
                    .toUtf8();
    }
    TestEnv::freshProgramDirectory();
    ASSERT_TRUE(TestEnv::writeFile(AppInfo::programFile("00camlist.txt"), list));
    Process tessaly(QStringLiteral(TESSALY_PATH), {"--autosave", "off", "--record"});
    ASSERT_TRUE(tessaly->waitForStarted(Timeout));
    // Five rounds of every camera at least.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const auto &s : streams) {
                if (s->requestCount() < 5)
                    return false;
            }
            return true;
        },
        Timeout))
        << tessaly.errors().toStdString();
    const qint64 peak = peakKiB(tessaly->processId());
    terminateAndExpectCleanExit(tessaly);
    std::cout << "24 endless MJPEG streams: peak RSS " << peak / 1024 << " MiB\n";
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, 200 * 1024);
    // Each fetch ended after about one frame: nowhere near the 64 MiB cap.
    for (const auto &s : streams)
        EXPECT_LT(s->bytesSent() / s->requestCount(), 4 * 1024 * 1024);
    const QRegularExpression summary(R"(recorded (\d+) pictures)");
    const QRegularExpressionMatch match = summary.match(tessaly.errors());
    ASSERT_TRUE(match.hasMatch()) << tessaly.errors().toStdString();
    EXPECT_GE(match.captured(1).toInt(), 24 * 4);
    EXPECT_FALSE(tessaly.lines().join('\n').contains(QLatin1String("failed")))
        << tessaly.lines().join('\n').toStdString();
}

TEST(RecordMode, NoPasswordOrControlCharacterReachesTheOutput)
{
    // Nobody listens: every fetch fails with a line naming the camera.
    const quint16 closed = LighttpdServer::freePort();
    const QString secret = QStringLiteral("Wq7zSecr");
    const QString querySecret = QStringLiteral("Yh3vSecr");
    TestEnv::freshProgramDirectory();
    const QByteArray list = "\r\n[name]Gate\x1b[2J\r\nhttp://admin:" + secret.toUtf8() +
                            "@127.0.0.1:" + QByteArray::number(closed) +
                            "/snap.cgi?user=admin&pwd=" + querySecret.toUtf8() +
                            "\r\n1\r\n\r\n[name]Bare\r\nadmin:" + secret.toUtf8() +
                            "@camera.invalid\r\n1\r\n\r\n";
    ASSERT_TRUE(TestEnv::writeFile(AppInfo::programFile("00camlist.txt"), list));
    Process tessaly(QStringLiteral(TESSALY_PATH), {"--autosave", "off", "--record"});
    ASSERT_TRUE(tessaly->waitForStarted(Timeout));
    const QRegularExpression failed(Stamp + R"(failed .+$)");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return countMatching(tessaly.lines(), failed) >= 2; }, Timeout));
    terminateAndExpectCleanExit(tessaly);
    const QString all = tessaly.lines().join('\n') + tessaly.errors();
    // Asserted without printing: the output itself is what must not show them.
    EXPECT_FALSE(all.contains(secret)) << "a password reached the output";
    EXPECT_FALSE(all.contains(querySecret)) << "a query password reached the output";
    EXPECT_FALSE(all.contains(QChar(0x1b))) << "an escape character reached the output";
    EXPECT_TRUE(all.contains(QLatin1String("Gate\\x1b[2J")));
}

TEST(RecordMode, PictureLimitsAreStoredAloneAndSaidBack)
{
    TestEnv::freshProgramDirectory();
    Process tessaly(QStringLiteral(TESSALY_PATH),
                    {"--keep-days", "30", "--keep-size", "20G", "--min-free", "0"});
    ASSERT_TRUE(tessaly->waitForFinished(Timeout));
    EXPECT_EQ(tessaly->exitCode(), 0) << tessaly.errors().toStdString();
    EXPECT_TRUE(tessaly.errors().contains("\"Keep pictures for\" is 30 days"))
        << tessaly.errors().toStdString();
    EXPECT_TRUE(
        tessaly.errors().contains("\"Keep at most\" is 20G (\"keepSize\" = \"21474836480\""));
    EXPECT_TRUE(tessaly.errors().contains("\"Keep free on the disk\" is nothing"));
    EXPECT_EQ(Settings::keepDays(), 30);
    EXPECT_EQ(Settings::keepSize(), qint64(20) << 30);
    EXPECT_EQ(Settings::minFree(), 0);
    EXPECT_TRUE(tessaly.lines().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(AppInfo::programFile("cam")));

    Process bad(QStringLiteral(TESSALY_PATH), {"--keep-size", "lots", "--record"});
    ASSERT_TRUE(bad->waitForFinished(Timeout));
    EXPECT_EQ(bad->exitCode(), 2);
    EXPECT_TRUE(bad.errors().contains("option '--keep-size' takes a size"))
        << bad.errors().toStdString();
    EXPECT_EQ(Settings::keepSize(), qint64(20) << 30);
}
