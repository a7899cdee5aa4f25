#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "AppInfo.h"
#include "CameraEngine.h"
#include "MiniHttpServer.h"
#include "PictureIndex.h"
#include "PictureSaver.h"
#include "Recorder.h"
#include "RetentionKeeper.h"
#include "Settings.h"
#include "SettingsStore.h"
#include "SnapshotFileName.h"
#include "TestEnv.h"
#include "TestPictures.h"
#include "TinyDisk.h"

namespace {

constexpr int Timeout = 10000;

using TestPictures::jpegOf;

QByteArray entry(const QString &name, const QString &url, const QString &refresh = "30")
{
    return "[name]" + name.toUtf8() + "\r\n" + url.toUtf8() + "\r\n" + refresh.toUtf8() +
           "\r\n\r\n";
}

bool writeCamList(const QByteArray &content)
{
    return TestEnv::writeFile(AppInfo::programFile("00camlist.txt"), content);
}

QStringList texts(const QSignalSpy &spy)
{
    QStringList lines;
    for (const QList<QVariant> &arguments : spy)
        lines << arguments.at(0).toString();
    return lines;
}

// "2026-12-08 14:20:01 " in front of every line.
const QString Stamp = QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )");

// A save of panel index to path, as the saver reports it.
SaveReport savedReport(const QString &camera, const QString &path)
{
    SaveReport report;
    report.camera = camera;
    report.path = path;
    return report;
}

class RecorderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestEnv::freshProgramDirectory();
        engine.setRealTimersEnabled(false);
        server.setHandler([this](const QByteArray &request) {
            MiniHttpServer::Reply reply;
            if (request.startsWith("GET /good.jpg"))
                reply.bytes = MiniHttpServer::response(jpegOf(Qt::darkGreen), "image/jpeg",
                                                       "Tue, 08 Dec 2026 14:00:00 GMT");
            else if (request.startsWith("GET /broken.jpg"))
                reply.bytes = MiniHttpServer::response("not a jpeg at all", "image/jpeg");
            else if (request.startsWith("GET /torn.jpg"))
                reply.bytes = MiniHttpServer::response(jpegOf(Qt::red).chopped(40), "image/jpeg");
            else if (request.startsWith("GET /silent.jpg"))
                reply.silent = true;
            else if (request.startsWith("GET /flaky.jpg") && !flakyDown)
                reply.bytes = MiniHttpServer::response(jpegOf(Qt::blue), "image/jpeg");
            else
                reply.bytes = MiniHttpServer::response("<html>nope</html>", "text/html");
            return reply;
        });
    }
    void TearDown() override { recorder.stop(); }

    CameraEngine engine;
    Recorder recorder{&engine};
    MiniHttpServer server;
    bool flakyDown = false;
    qint64 nowMs = 0; // the engine's monotonic clock, when a test sets it
};

} // namespace

TEST_F(RecorderTest, RefusesAMissingOrEmptyCameraListAndOpensNothing)
{
    EXPECT_FALSE(recorder.start());
    EXPECT_TRUE(recorder.startError().startsWith("No camera list: "))
        << recorder.startError().toStdString();
    EXPECT_TRUE(recorder.startError().contains("00camlist.txt"));
    // Recording must not make the list up: that is the main window's business.
    EXPECT_FALSE(QFileInfo::exists(AppInfo::programFile("00camlist.txt")));

    // What the main window writes for a new list, and a list whose only name
    // line cannot be found: nothing to record either way.
    ASSERT_TRUE(writeCamList("\r\n\r\n\r\n"));
    EXPECT_FALSE(recorder.start());
    EXPECT_TRUE(recorder.startError().contains("holds no camera"));

    ASSERT_TRUE(
        writeCamList("\r\n[NAME]Yard\r\n" + server.url("/good.jpg").toUtf8() + "\r\n5\r\n"));
    QSignalSpy notices(&recorder, &Recorder::notice);
    EXPECT_FALSE(recorder.start());
    EXPECT_TRUE(recorder.startError().contains("No camera of"));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(texts(notices).first().contains("\"Yard\" is listed, but no entry"));
    EXPECT_FALSE(recorder.isRunning());
    EXPECT_EQ(engine.panelsInUse(), 0);
    EXPECT_EQ(engine.lowestFreePanel(), 0);
}

TEST_F(RecorderTest, OpensListedCamerasInFileOrderOnceEachAndReportsWhatFails)
{
    QByteArray list = "\r\n";
    list += entry("Good", server.url("/good.jpg"));
    list += "[NAME]Lost\r\nhttp://127.0.0.1:1/x.jpg\r\n30\r\n\r\n"; // listed, not findable
    list += entry("Html", server.url("/page.html"));
    list += entry("Good", server.url("/other.jpg")); // a second Good: the first one wins
    list += entry("Broken", server.url("/broken.jpg"));
    list += entry("NoPath", "127.0.0.1");
    ASSERT_TRUE(writeCamList(list));

    QSignalSpy lines(&recorder, &Recorder::reported);
    QSignalSpy notices(&recorder, &Recorder::notice);
    ASSERT_TRUE(recorder.start()) << recorder.startError().toStdString();
    EXPECT_TRUE(recorder.isRunning());
    EXPECT_EQ(recorder.openedCameras(), (QStringList{"Good", "Html", "Broken", "NoPath"}));
    EXPECT_EQ(engine.panelsInUse(), 4);
    EXPECT_EQ(engine.status(0).address, server.url("/good.jpg"));
    EXPECT_EQ(engine.status(3).address, "127.0.0.1");
    // The cam folder exists from the start, as after the main window's start-up.
    EXPECT_TRUE(QFileInfo(AppInfo::programFile("cam")).isDir());

    const QStringList noticeTexts = texts(notices);
    ASSERT_EQ(noticeTexts.size(), 2) << noticeTexts.join('\n').toStdString();
    EXPECT_TRUE(noticeTexts[0].contains("\"Lost\" is listed, but no entry"));
    EXPECT_TRUE(noticeTexts[1].contains("\"Good\" is listed twice"));

    ASSERT_TRUE(QTest::qWaitFor([&] { return lines.size() >= 3; }, Timeout));
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.counts().pictures == 1; }, Timeout));
    QStringList got = texts(lines);
    // By what they say: the time stamps may fall on different seconds.
    const auto said = [](const QString &line) { return line.section(QLatin1Char(' '), 2); };
    std::sort(got.begin(), got.end(),
              [&](const QString &a, const QString &b) { return said(a) < said(b); });
    ASSERT_EQ(got.size(), 3) << got.join('\n').toStdString();
    EXPECT_TRUE(QRegularExpression(Stamp + R"(failed Broken: the picture could not be decoded$)")
                    .match(got[0])
                    .hasMatch())
        << got[0].toStdString();
    EXPECT_TRUE(QRegularExpression(
                    Stamp + R"(failed Html: Response from 127\.0\.0\.1:\d+ is not a picture$)")
                    .match(got[1])
                    .hasMatch())
        << got[1].toStdString();
    EXPECT_TRUE(QRegularExpression(Stamp + R"(failed NoPath: Address "127\.0\.0\.1" has no path$)")
                    .match(got[2])
                    .hasMatch())
        << got[2].toStdString();

    const Recorder::Counts counts = recorder.counts();
    EXPECT_EQ(counts.pictures, 1);
    EXPECT_EQ(counts.newPictures, 0); // the first picture only records its Last-Modified line
    EXPECT_EQ(counts.failed, 3);
    EXPECT_TRUE(recorder.summaryLine().startsWith(
        "recorded 1 pictures (0 new, 0 saved, 3 failed) from 4 cameras in "));

    // Stopping frees every panel and silences the recorder.
    recorder.stop();
    EXPECT_FALSE(recorder.isRunning());
    EXPECT_EQ(engine.panelsInUse(), 0);
    EXPECT_EQ(engine.lowestFreePanel(), 0);
    recorder.onPictureSaved(savedReport("Front Door", "/somewhere.jpg"));
    EXPECT_EQ(lines.size(), 3);
}

TEST_F(RecorderTest, OpensAtMostTwentyFourCamerasAndSaysWhichAreLeftOut)
{
    QByteArray list;
    for (int i = 1; i <= 26; ++i)
        list +=
            entry(QStringLiteral("Cam%1").arg(i), server.url(QStringLiteral("/cam%1.jpg").arg(i)));
    ASSERT_TRUE(writeCamList(list));
    QSignalSpy notices(&recorder, &Recorder::notice);
    ASSERT_TRUE(recorder.start());
    const QStringList opened = recorder.openedCameras();
    ASSERT_EQ(opened.size(), 24);
    EXPECT_EQ(opened.first(), "Cam1");
    EXPECT_EQ(opened.last(), "Cam24");
    EXPECT_EQ(engine.panelsInUse(), 24);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(texts(notices).first().contains("\"Cam25\" and the cameras after it are left out"));
}

TEST_F(RecorderTest, TakesAutoSaveFromTheStoredSettingAndReportsSavesInOneLineEach)
{
    ASSERT_TRUE(writeCamList(entry("Front Door", server.url("/good.jpg"))));
    ASSERT_TRUE(recorder.start());
    EXPECT_FALSE(recorder.autoSave()); // never written: "0"
    recorder.stop();

    ASSERT_TRUE(
        SettingsStore::SaveMachineSetting(AppInfo::productName(), "Settings", "autoSave", "1"));
    QSignalSpy lines(&recorder, &Recorder::reported);
    ASSERT_TRUE(recorder.start());
    EXPECT_TRUE(recorder.autoSave());

    recorder.onPictureSaved(savedReport("Front Door", "/data/cam/FrontDoor12820262200AM.jpg"));
    SaveReport failed = savedReport("Front Door", "/data/cam/FrontDoor12820262201AM.jpg");
    failed.failure = Failure::of(Failure::Kind::File, "No space left on device", ENOSPC);
    recorder.onSaveFailed(failed);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(
        QRegularExpression(Stamp + R"(saved Front Door -> /data/cam/FrontDoor12820262200AM\.jpg$)")
            .match(lines.at(0).at(0).toString())
            .hasMatch());
    EXPECT_TRUE(QRegularExpression(
                    Stamp + "failed Front Door: cannot save "
                            R"(/data/cam/FrontDoor12820262201AM\.jpg: No space left on device$)")
                    .match(lines.at(1).at(0).toString())
                    .hasMatch());
    EXPECT_EQ(recorder.counts().saved, 1);
    EXPECT_EQ(recorder.counts().failed, 1);
}

TEST_F(RecorderTest, TornBodiesAndCamerasThatNeverAnswerAreReported)
{
    QByteArray list = entry("Torn", server.url("/torn.jpg"));
    list += entry("Silent", server.url("/silent.jpg"), "2");
    list += entry("Good", server.url("/good.jpg"), "1");
    ASSERT_TRUE(writeCamList(list));
    QSignalSpy lines(&recorder, &Recorder::reported);
    ASSERT_TRUE(recorder.start());

    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return lines.size() >= 1 && recorder.counts().pictures == 1; }, Timeout));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == 3; }, Timeout));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(QRegularExpression(Stamp + R"(failed Torn: the picture could not be decoded$)")
                    .match(lines.at(0).at(0).toString())
                    .hasMatch())
        << lines.at(0).at(0).toString().toStdString();
    // The good picture is in its panel at its natural size, undecoded until asked.
    const Picture good = engine.status(2).picture;
    ASSERT_FALSE(good.isNull());
    EXPECT_EQ(good.size(), QSize(64, 48));
    EXPECT_EQ(good.thumbnail().size(), Picture::panelSize());

    // The silent camera's interval ends with its fetch unanswered.
    engine.tick(1);
    EXPECT_EQ(lines.size(), 1);
    engine.tick(1);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(QRegularExpression(Stamp + R"(failed Silent: No complete answer within 2 s$)")
                    .match(lines.at(1).at(0).toString())
                    .hasMatch())
        << lines.at(1).at(0).toString().toStdString();
    // A panel whose fetch completed starts its next one without a word.
    engine.tick(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.counts().pictures == 2; }, Timeout));
    EXPECT_EQ(lines.size(), 2);
}

TEST_F(RecorderTest, ACameraThatStaysDownIsToldWhenItFailsEveryTenMinutesAndWhenItIsBack)
{
    engine.setClock([this] { return nowMs; });
    ASSERT_TRUE(writeCamList(entry("Flaky", server.url("/flaky.jpg"), "60")));
    QSignalSpy lines(&recorder, &Recorder::reported);
    ASSERT_TRUE(recorder.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.counts().pictures == 1; }, Timeout));

    // One fetch a minute, as the refresh says; each a failure while it is down.
    const auto fetchAt = [&](qint64 ms) {
        nowMs = ms;
        const qint64 before = recorder.counts().pictures + recorder.fetchFailures("Flaky");
        for (int i = 0; i < 60; ++i)
            engine.tick(0);
        return QTest::qWaitFor(
            [&] { return recorder.counts().pictures + recorder.fetchFailures("Flaky") > before; },
            Timeout);
    };
    flakyDown = true;
    constexpr qint64 Minute = 60 * 1000;
    for (int minute = 1; minute <= 25; ++minute)
        ASSERT_TRUE(fetchAt(minute * Minute)) << minute;
    flakyDown = false;
    ASSERT_TRUE(fetchAt(26 * Minute + 30 * 1000));
    ASSERT_TRUE(fetchAt(27 * Minute)); // and a good picture after it says nothing

    const QStringList got = texts(lines);
    ASSERT_EQ(got.size(), 4) << got.join('\n').toStdString();
    EXPECT_TRUE(QRegularExpression(Stamp +
                                   R"(failed Flaky: Response from 127\.0\.0\.1:\d+ is not a )"
                                   R"(picture$)")
                    .match(got[0])
                    .hasMatch())
        << got[0].toStdString();
    // Down since minute 1: reminded at minutes 11 and 21, with the count so far.
    EXPECT_TRUE(QRegularExpression(Stamp + R"(still failing Flaky: 11 failures in 10 min, last: )"
                                           R"(Response from .* is not a picture$)")
                    .match(got[1])
                    .hasMatch())
        << got[1].toStdString();
    EXPECT_TRUE(QRegularExpression(Stamp + R"(still failing Flaky: 21 failures in 20 min, last: )")
                    .match(got[2])
                    .hasMatch())
        << got[2].toStdString();
    EXPECT_TRUE(QRegularExpression(Stamp + R"(recovered Flaky after 25 failures in 25 min 30 s$)")
                    .match(got[3])
                    .hasMatch())
        << got[3].toStdString();

    EXPECT_EQ(recorder.fetchFailures("Flaky"), 25);
    EXPECT_EQ(recorder.counts().failed, 25);
    EXPECT_EQ(recorder.failureSummaryLine(), "failures by camera: Flaky 25");
}

TEST_F(RecorderTest, OldPicturesGoAtTheStartWithOneLineAndTheStoredLimitsAreUsed)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString cam = AppInfo::programFile("cam");
    ASSERT_TRUE(QDir().mkpath(cam));
    const QString old = cam + "/" + SnapshotFileName::make("Good", now.addDays(-40));
    const QString young = cam + "/" + SnapshotFileName::make("Good", now.addDays(-2));
    ASSERT_TRUE(TestEnv::writeFileModifiedAt(old, QByteArray(2048, 'x'), now.addDays(-40)));
    ASSERT_TRUE(TestEnv::writeFileModifiedAt(young, QByteArray(1024, 'x'), now.addDays(-2)));
    ASSERT_TRUE(Settings::setKeepDays(30));
    ASSERT_TRUE(Settings::setMinFree(0));
    ASSERT_TRUE(writeCamList(entry("Good", server.url("/good.jpg"))));

    QSignalSpy lines(&recorder, &Recorder::reported);
    ASSERT_TRUE(recorder.start());
    EXPECT_EQ(recorder.keeper().limits(), (PictureRetention::Limits{30, 0, 0}));
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_TRUE(QFileInfo::exists(young));
    ASSERT_GE(lines.size(), 1);
    EXPECT_TRUE(QRegularExpression(Stamp + R"(removed 1 old pictures \(2K\), keeping 1 \(1K\)$)")
                    .match(lines.at(0).at(0).toString())
                    .hasMatch())
        << lines.at(0).at(0).toString().toStdString();

    // A picture saved while recording leaves the index when retention deletes it.
    PictureIndex *index = recorder.pictureIndex();
    ASSERT_NE(index, nullptr);
    index->waitForScan();
    ASSERT_TRUE(TestEnv::writeFileModifiedAt(old, QByteArray(2048, 'x'), now.addDays(-40)));
    ASSERT_TRUE(index->add(old, 2048, "Good").value());
    ASSERT_EQ(index->count("Good"), 2);
    recorder.keeper().enforceNow();
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_EQ(index->count("Good"), 1);
}

TEST_F(RecorderTest, AFullDiskPausesAutosaveWithOneLine)
{
    TinyDisk disk(1024);
    ASSERT_TRUE(disk.mounted()) << disk.error().toStdString();
    qputenv("TESSALY_HOME", QFile::encodeName(disk.path()));
    ASSERT_TRUE(writeCamList(entry("Good", server.url("/good.jpg"))));
    ASSERT_TRUE(
        SettingsStore::SaveMachineSetting(AppInfo::productName(), "Settings", "autoSave", "1"));
    ASSERT_TRUE(Settings::setMinFree(512 << 10));
    ASSERT_TRUE(disk.fill());

    QSignalSpy lines(&recorder, &Recorder::reported);
    ASSERT_TRUE(recorder.start());
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(QRegularExpression(Stamp +
                                   R"(paused autosave: 0 free on the disk of .*/cam, below )"
                                   R"(the 512K to keep free$)")
                    .match(lines.at(0).at(0).toString())
                    .hasMatch())
        << lines.at(0).at(0).toString().toStdString();
    EXPECT_TRUE(recorder.keeper().isPaused());

    // Room again: the next look says so, once.
    ASSERT_TRUE(disk.makeRoom());
    recorder.keeper().checkFreeSpace();
    recorder.keeper().checkFreeSpace();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(QRegularExpression(Stamp + R"(resumed autosave: \d+(\.\d)?K free on the disk of )")
                    .match(lines.at(1).at(0).toString())
                    .hasMatch())
        << lines.at(1).at(0).toString().toStdString();
    recorder.stop();
    TestEnv::freshProgramDirectory();
}
