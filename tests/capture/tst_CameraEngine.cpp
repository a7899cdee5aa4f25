#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>

#include <QDir>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "Camera.h"
#include "CameraEngine.h"
#include "HttpSnapshot.h"
#include "MiniHttpServer.h"
#include "TestEnv.h"
#include "TestPictures.h"

namespace {

constexpr int Timeout = 10000;

using TestPictures::jpegOf;

bool near(QRgb a, const QColor &b)
{
    return qAbs(qRed(a) - b.red()) < 30 && qAbs(qGreen(a) - b.green()) < 30 &&
           qAbs(qBlue(a) - b.blue()) < 30;
}

QColor centreOf(const Picture &picture)
{
    const QImage thumb = picture.thumbnail();
    return thumb.isNull() ? QColor() : thumb.pixelColor(thumb.width() / 2, thumb.height() / 2);
}

QByteArray okHeader(const QByteArray &extraLines)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n" + extraLines + "\r\n";
}

bool waitFor(const std::function<bool()> &condition)
{
    return QTest::qWaitFor(condition, Timeout);
}

class CameraEngineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The temporary directory is one of this test's own, so it can check
        // that nothing is written there.
        static int count = 0;
        m_tempDir = TestEnv::root() + QStringLiteral("/engine-tmp-%1").arg(++count);
        QDir().mkpath(m_tempDir);
        m_oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(m_tempDir));
        engine.setRealTimersEnabled(false);
        engine.setNotFoundPicture(Picture::fromImage(notFoundImage()));
    }
    void TearDown() override { qputenv("TMPDIR", m_oldTmp); }

    static QImage notFoundImage()
    {
        QImage image(20, 20, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        return image;
    }

    // Opens a camera as the window and the recorder do; index is the panel
    // it must land in, the lowest free one.
    void openPanel(int index, const QString &name, const QString &address,
                   const QString &refresh = QStringLiteral("30"))
    {
        const Camera *camera = engine.open(name, address, refresh);
        ASSERT_NE(camera, nullptr) << name.toStdString();
        EXPECT_EQ(camera->panel(), index) << name.toStdString();
        EXPECT_EQ(engine.camera(index), camera);
    }

    // The panel's camera with another refresh text, started again.
    void restart(int index, const QString &refresh)
    {
        engine.camera(index)->setEntry(engine.status(index).name, engine.status(index).address,
                                       refresh);
        engine.refreshNow(index);
    }

    static int panelAt(const QSignalSpy &spy, qsizetype row)
    {
        return qvariant_cast<Camera *>(spy.at(row).at(0))->panel();
    }

    static Failure failureAt(const QSignalSpy &spy, qsizetype row)
    {
        return spy.at(row).at(1).value<Failure>();
    }

    QStringList tempFiles() const
    {
        return QDir(m_tempDir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    CameraEngine engine;
    MiniHttpServer server;
    QString m_tempDir;
    QByteArray m_oldTmp;
};

} // namespace

TEST_F(CameraEngineTest, SendsTheExactRequestWithBlanksEscapedAndThePortKept)
{
    QSignalSpy requests(&server, &MiniHttpServer::requestReceived);
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/my cam/a b.jpg")));
    ASSERT_TRUE(requests.wait(Timeout));
    const QByteArray host = "127.0.0.1:" + QByteArray::number(server.port());
    EXPECT_EQ(requests.at(0).at(0).toByteArray(),
              "GET /my%20cam/a%20b.jpg HTTP/1.1\r\nHost: " + host +
                  "\r\nConnection: close\r\nAccept: */*\r\n\r\n");
    EXPECT_EQ(engine.camera(0)->fetch().path, QStringLiteral("/my%20cam/a%20b.jpg"));
    EXPECT_EQ(engine.camera(0)->fetch().host, QString::fromLatin1(host));

    // Without the scheme the address works the same.
    openPanel(1, QStringLiteral("Gate"), server.hostAndPath(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(requests.wait(Timeout));
    EXPECT_TRUE(requests.at(1).at(0).toByteArray().startsWith("GET /snap.jpg HTTP/1.1\r\n"));
}

TEST_F(CameraEngineTest, OnePieceResponseShowsThePictureWithoutProgress)
{
    const QByteArray body = jpegOf(Qt::green, QSize(320, 240));
    server.setReply({MiniHttpServer::response(body, "image/jpeg")});
    QSignalSpy status(&engine, &CameraEngine::statusText);
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    QSignalSpy started(&engine, &CameraEngine::fetchStarted);
    QSignalSpy changed(&engine, &CameraEngine::statusChanged);

    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    EXPECT_TRUE(engine.status(0).busy);
    EXPECT_TRUE(engine.status(0).inUse);
    EXPECT_EQ(engine.status(0).caption, QStringLiteral("Yard"));
    ASSERT_EQ(started.count(), 1);
    EXPECT_EQ(panelAt(started, 0), 0);
    EXPECT_GE(changed.count(), 1);
    openPanel(1, QStringLiteral("Gate"), server.url(QStringLiteral("/snap.jpg")));
    EXPECT_EQ(started.count(), 2);
    EXPECT_EQ(engine.panelsInUse(), 2);

    ASSERT_TRUE(waitFor([&] { return arrived.count() == 2; }));
    for (int i : {0, 1}) {
        const PanelStatus &p = engine.status(i);
        EXPECT_FALSE(p.busy);
        EXPECT_EQ(engine.camera(i)->fetch().contentLength, body.size());
        EXPECT_EQ(p.progress, 0) << "no progress for a response in one piece";
        EXPECT_EQ(engine.camera(i)->fetch().buffer, body);
        EXPECT_FALSE(p.lastFailure.has_value());
        EXPECT_EQ(p.picture.size(), QSize(320, 240));
        EXPECT_TRUE(near(centreOf(p.picture).rgb(), Qt::green));
    }
    EXPECT_EQ(status.count(), 0);
    // The arrival carries the very picture the panel now shows.
    for (const QList<QVariant> &args : std::as_const(arrived)) {
        const int index = qvariant_cast<Camera *>(args.at(0))->panel();
        EXPECT_TRUE(args.at(1).value<Picture>() == engine.status(index).picture) << index;
        EXPECT_FALSE(args.at(2).toBool()) << "the first picture is never new";
    }
}

TEST_F(CameraEngineTest, ProgressFollowsTheBodyEventByEvent)
{
    // A server we step by hand, so every chunk is an event of its own.
    QTcpServer stepper;
    ASSERT_TRUE(stepper.listen(QHostAddress::LocalHost, 0));
    QTcpSocket *peer = nullptr;
    QObject::connect(&stepper, &QTcpServer::newConnection,
                     [&] { peer = stepper.nextPendingConnection(); });

    QByteArray body = jpegOf(Qt::blue);
    body.append(QByteArray(20000 - body.size(), '\0')); // padding after the end marker
    QSignalSpy status(&engine, &CameraEngine::statusText);
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    openPanel(0, QStringLiteral("Yard"),
              QStringLiteral("http://127.0.0.1:%1/cams/snap.jpg?user=admin&pwd=Hidden1")
                  .arg(stepper.serverPort()));

    QByteArray request;
    ASSERT_TRUE(waitFor([&] {
        if (peer)
            request += peer->readAll();
        return request.contains("\r\n\r\n");
    }));
    peer->write(okHeader("Content-Length: 20000\r\n"));
    ASSERT_TRUE(waitFor([&] { return engine.camera(0)->fetch().headerDone; }));
    EXPECT_EQ(engine.camera(0)->fetch().contentLength, 20000);
    EXPECT_EQ(status.count(), 0);

    QList<float> shown;
    for (int k = 0; k < 3; ++k) {
        peer->write(body.mid(k * 5000, 5000));
        ASSERT_TRUE(waitFor([&] { return status.count() == k + 1; }));
        shown.append(engine.status(0).progress);
    }
    EXPECT_EQ(shown, (QList<float>{25, 50, 75}));
    // The password in the query is masked where the file part is shown.
    EXPECT_EQ(status.last().at(0).toString(),
              QStringLiteral("Downloading snap.jpg?user=***&pwd=*** [75]"));
    EXPECT_TRUE(arrived.isEmpty());

    peer->write(body.mid(15000));
    peer->disconnectFromHost();
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 1; }));
    EXPECT_EQ(engine.status(0).progress, 100);
    EXPECT_FALSE(arrived.at(0).at(1).value<Picture>().isNull()) << "the padded body still decodes";
    EXPECT_TRUE(near(centreOf(engine.status(0).picture).rgb(), Qt::blue));
}

TEST_F(CameraEngineTest, ALengthInAnyLetterCaseAndAHeaderPast32767AreRead)
{
    // Header names are case-insensitive, and a long header is no reason to stop
    // reading it: both lengths count now.
    const QByteArray body = jpegOf(Qt::red, QSize(200, 100));
    QSignalSpy status(&engine, &CameraEngine::statusText);
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);

    server.setReply(
        {okHeader("content-length: " + QByteArray::number(body.size()) + "\r\n") + body, 500, 0});
    openPanel(0, QStringLiteral("Lower"), server.url(QStringLiteral("/a.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 1; }));
    EXPECT_TRUE(engine.camera(0)->fetch().headerDone);
    EXPECT_EQ(engine.camera(0)->fetch().contentLength, body.size());
    EXPECT_EQ(engine.status(0).progress, 100);
    EXPECT_GE(status.count(), 1);

    const QByteArray longHeader = okHeader("Content-Length: " + QByteArray::number(body.size()) +
                                           "\r\nX-Pad: " + QByteArray(33000, 'p') + "\r\n");
    server.setReply({longHeader + body, 4000, 0});
    openPanel(1, QStringLiteral("Long"), server.url(QStringLiteral("/b.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 2; }));
    EXPECT_TRUE(engine.camera(1)->fetch().headerDone);
    EXPECT_EQ(engine.camera(1)->fetch().contentLength, body.size());
    EXPECT_EQ(engine.camera(1)->fetch().buffer, body);
    EXPECT_FALSE(arrived.at(1).at(1).value<Picture>().isNull());
    EXPECT_TRUE(near(centreOf(engine.status(1).picture).rgb(), Qt::red));
}

TEST_F(CameraEngineTest, ANonImageResponseShowsTheNotFoundPictureAndLeavesDetectionAlone)
{
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    QSignalSpy failed(&engine, &CameraEngine::fetchFailed);
    const QByteArray lm = "Mon, 06 Jul 2026 08:00:00 GMT";
    server.setReply({MiniHttpServer::response(jpegOf(Qt::yellow), "image/jpeg", lm)});
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 1; }));
    const QString recorded = engine.camera(0)->fetch().lastModified;
    ASSERT_FALSE(recorded.isEmpty());

    server.setReply({MiniHttpServer::response("<html>404</html>", "text/html",
                                              "Tue, 07 Jul 2026 08:00:00 GMT")});
    engine.refreshNow(0);
    ASSERT_TRUE(waitFor([&] { return failed.count() == 1; }));
    const PanelStatus &p = engine.status(0);
    EXPECT_TRUE(p.picture == engine.notFoundPicture());
    EXPECT_FALSE(p.busy);
    EXPECT_EQ(engine.camera(0)->fetch().lastModified, recorded);
    EXPECT_EQ(p.lastChange, QStringLiteral(" ") + QString::fromLatin1(lm));
    EXPECT_EQ(arrived.count(), 1) << "no autosave step for a page that is not a picture";
    EXPECT_EQ(failureAt(failed, 0).kind, Failure::Kind::NotAPicture);
    ASSERT_TRUE(p.lastFailure.has_value());
    EXPECT_EQ(p.lastFailure->kind, Failure::Kind::NotAPicture);
    EXPECT_TRUE(tempFiles().isEmpty());
}

TEST_F(CameraEngineTest, LastModifiedSequencesAcrossFetches)
{
    // The lines the camera sends, one per fetch; empty means no line at all.
    const QList<QByteArray> lines = {"Mon, 06 Jul 2026 08:00:00 GMT",
                                     "Mon, 06 Jul 2026 08:00:00 GMT",
                                     "Tue, 07 Jul 2026 08:00:00 GMT", QByteArray(), QByteArray()};
    int served = 0;
    server.setHandler([&](const QByteArray &) {
        const QByteArray line = lines.value(served++);
        return MiniHttpServer::Reply{
            MiniHttpServer::response(jpegOf(Qt::cyan), "image/jpeg", line)};
    });
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);

    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    QList<bool> isNew;
    QStringList refreshed;
    for (int fetch = 0; fetch < lines.size(); ++fetch) {
        if (fetch > 0)
            engine.refreshNow(0);
        ASSERT_TRUE(waitFor([&] { return arrived.count() == fetch + 1; }));
        isNew.append(arrived.last().at(2).toBool());
        refreshed.append(engine.status(0).lastRecorded);
        EXPECT_EQ(engine.camera(0)->fetch().newPicture, isNew.last());
        if (fetch == 0) {
            EXPECT_EQ(engine.status(0).lastChange,
                      QStringLiteral(" Mon, 06 Jul 2026 08:00:00 GMT"));
            EXPECT_FALSE(refreshed.first().isEmpty());
        }
        EXPECT_TRUE(engine.status(0).picture == arrived.last().at(1).value<Picture>());
    }
    EXPECT_EQ(isNew, (QList<bool>{false, false, true, false, false}));
    // Stamped only when a changed line is recorded.
    EXPECT_EQ(refreshed[1], refreshed[0]);
    EXPECT_EQ(refreshed[4], refreshed[2]);
    EXPECT_EQ(engine.status(0).lastChange, QStringLiteral(" Tue, 07 Jul 2026 08:00:00 GMT"))
        << "pictures without the line leave the text alone";
    EXPECT_EQ(engine.camera(0)->fetch().lastModified,
              QStringLiteral("Last-Modified: Tue, 07 Jul 2026 08:00:00 GMT"));

    // The recorded line survives a stop; the same date in capitals counts as a change.
    engine.stop(0);
    server.setReply({"HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n"
                     "LAST-MODIFIED: Tue, 07 Jul 2026 08:00:00 GMT\r\n\r\n" +
                     jpegOf(Qt::cyan)});
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 6; }));
    EXPECT_TRUE(arrived.last().at(2).toBool());

    // Another camera in the same panel is judged by its own lines only: its
    // first picture is not new.
    engine.stop(0);
    openPanel(0, QStringLiteral("Gate"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 7; }));
    EXPECT_FALSE(arrived.last().at(2).toBool());
    engine.stop(0);

    // A camera that never sends the line: shown, never new, its texts stay empty.
    server.setReply({MiniHttpServer::response(jpegOf(Qt::cyan), "image/jpeg")});
    openPanel(0, QStringLiteral("Plain"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 8; }));
    engine.refreshNow(0);
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 9; }));
    EXPECT_FALSE(arrived.at(7).at(2).toBool());
    EXPECT_FALSE(arrived.at(8).at(2).toBool());
    EXPECT_TRUE(engine.status(0).lastChange.isEmpty());
    EXPECT_TRUE(engine.status(0).lastRecorded.isEmpty());
    EXPECT_FALSE(engine.status(0).picture.isNull());
}

TEST_F(CameraEngineTest, PicturesAreDecodedFromMemoryWithNothingWrittenToTheTemporaryDirectory)
{
    const QByteArray good = jpegOf(Qt::white);
    const QByteArray torn = jpegOf(Qt::black, QSize(300, 300)).left(400);
    QByteArray bodyServed = good;
    server.setHandler([&](const QByteArray &) {
        return MiniHttpServer::Reply{MiniHttpServer::response(bodyServed, "image/jpeg")};
    });

    // Nothing in the temporary directory while the picture is taken in either.
    QList<int> seenDuringArrival;
    QObject::connect(&engine, &CameraEngine::pictureArrived, &engine,
                     [&] { seenDuringArrival.append(int(tempFiles().size())); });

    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    QSignalSpy failed(&engine, &CameraEngine::fetchFailed);
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 1; }));
    EXPECT_EQ(seenDuringArrival, (QList<int>{0}));
    EXPECT_TRUE(tempFiles().isEmpty());
    const Picture shown = engine.status(0).picture;

    // A torn body is no picture: a decode failure, and the panel keeps the
    // previous one.
    bodyServed = torn;
    engine.refreshNow(0);
    ASSERT_TRUE(waitFor([&] { return failed.count() == 1; }));
    EXPECT_EQ(failureAt(failed, 0).kind, Failure::Kind::Decode);
    EXPECT_EQ(failureAt(failed, 0).text, QStringLiteral("the picture could not be decoded"));
    EXPECT_EQ(arrived.count(), 1);
    EXPECT_TRUE(engine.status(0).picture == shown);
    EXPECT_TRUE(tempFiles().isEmpty());

    // No temporary directory at all changes nothing.
    qputenv("TMPDIR", QFile::encodeName(m_tempDir + QStringLiteral("/gone")));
    bodyServed = jpegOf(Qt::darkGreen);
    engine.refreshNow(0);
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 2; }));
    EXPECT_FALSE(engine.status(0).lastFailure.has_value()) << "a picture clears the failure";
    EXPECT_TRUE(near(centreOf(engine.status(0).picture).rgb(), Qt::darkGreen));
}

TEST_F(CameraEngineTest, CountdownOfThirtySecondsAndItsOddIntervals)
{
    QSignalSpy requests(&server, &MiniHttpServer::requestReceived);
    // What a window shows for each tick: the panel and its seconds to go.
    QStringList label;
    QObject::connect(&engine, &CameraEngine::ticked, &engine, [&](Camera *camera) {
        const int index = camera->panel();
        label << QString::number(index) + QLatin1Char(':') +
                     engine.camera(index)->nextRefreshLabel();
    });
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(requests.wait(Timeout));
    EXPECT_EQ(engine.camera(0)->fetch().refreshSecs, 30);
    EXPECT_TRUE(engine.camera(0)->fetch().counting);

    for (int t = 0; t < 29; ++t)
        engine.tick(0);
    EXPECT_EQ(engine.camera(0)->fetch().ticks, 29);
    EXPECT_EQ(engine.camera(0)->nextRefreshLabel(), QStringLiteral("1"));
    engine.tick(0); // shows 0 and starts the next fetch
    EXPECT_EQ(engine.camera(0)->fetch().ticks, 0);
    EXPECT_TRUE(engine.status(0).busy);
    ASSERT_TRUE(requests.wait(Timeout));
    QStringList expected;
    for (int left = 29; left >= 0; --left)
        expected.append(QStringLiteral("0:%1").arg(left));
    EXPECT_EQ(label, expected) << "29 down to 0, never 30";

    // Every panel reports its own ticks.
    openPanel(1, QStringLiteral("Gate"), server.url(QStringLiteral("/snap.jpg")), "0");
    ASSERT_TRUE(requests.wait(Timeout));
    label.clear();
    // A refresh of 0 or below fetches on every tick.
    for (int t = 0; t < 3; ++t) {
        engine.tick(1);
        ASSERT_TRUE(requests.wait(Timeout)) << "tick " << t;
    }
    EXPECT_EQ(label, (QStringList{"1:-1", "1:-1", "1:-1"}));
    restart(0, QStringLiteral("-5"));
    ASSERT_TRUE(requests.wait(Timeout));
    engine.tick(0);
    ASSERT_TRUE(requests.wait(Timeout));
    EXPECT_EQ(label.last(), QStringLiteral("0:-6"));

    // 2.5 seconds: an interval of 2 (halves to even), while the label shows halves.
    restart(0, QStringLiteral("2.5"));
    ASSERT_TRUE(requests.wait(Timeout));
    EXPECT_EQ(engine.camera(0)->fetch().refreshSecs, 2);
    engine.tick(0);
    EXPECT_EQ(label.last(), QStringLiteral("0:1.5"));
    EXPECT_EQ(engine.camera(0)->fetch().ticks, 1);
    engine.tick(0);
    EXPECT_EQ(label.last(), QStringLiteral("0:0.5"));
    EXPECT_EQ(engine.camera(0)->fetch().ticks, 0);
    ASSERT_TRUE(requests.wait(Timeout));
    restart(0, QStringLiteral("3.5"));
    EXPECT_EQ(engine.camera(0)->fetch().refreshSecs, 4);
}

TEST_F(CameraEngineTest, ARefreshTextThatIsNoNumberRunsOnThirtySeconds)
{
    QSignalSpy requests(&server, &MiniHttpServer::requestReceived);
    QSignalSpy status(&engine, &CameraEngine::statusText);
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")), "abc");
    ASSERT_TRUE(requests.wait(Timeout)) << "the panel still fetches";
    EXPECT_EQ(engine.camera(0)->fetch().refreshSecs, 30);
    ASSERT_GE(status.count(), 1);
    EXPECT_EQ(status.first().at(0).toString(),
              QStringLiteral("Refresh \"abc\" of Yard is not a number; using 30 seconds"));
    engine.tick(0);
    EXPECT_EQ(engine.camera(0)->nextRefreshLabel(), QStringLiteral("29"));

    restart(0, QStringLiteral("99999999999"));
    EXPECT_EQ(engine.camera(0)->fetch().refreshSecs, 30) << "outside the 32-bit range";
    restart(0, QString());
    EXPECT_EQ(engine.camera(0)->fetch().refreshSecs, 30);
}

TEST_F(CameraEngineTest, RefreshNowDropsTheRunningDownloadAndStartsAgain)
{
    const QByteArray second = jpegOf(Qt::darkBlue);
    int served = 0;
    server.setHandler([&](const QByteArray &) {
        if (served++ == 0) {
            // Half a picture, and the connection stays open.
            MiniHttpServer::Reply stuck;
            stuck.bytes =
                MiniHttpServer::response(jpegOf(Qt::red, QSize(400, 400)), "image/jpeg").left(600);
            stuck.closeAfter = false;
            return stuck;
        }
        return MiniHttpServer::Reply{MiniHttpServer::response(second, "image/jpeg")};
    });
    QSignalSpy requests(&server, &MiniHttpServer::requestReceived);
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(requests.wait(Timeout));
    ASSERT_TRUE(waitFor([&] { return engine.camera(0)->fetch().headerDone; }));
    engine.tick(0);
    engine.tick(0);
    EXPECT_EQ(engine.camera(0)->fetch().ticks, 2);

    engine.refreshNow(0);
    EXPECT_EQ(engine.camera(0)->fetch().ticks, 0);
    EXPECT_TRUE(engine.camera(0)->fetch().buffer.isEmpty());
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 1; }));
    EXPECT_EQ(requests.count(), 2);
    EXPECT_EQ(engine.camera(0)->fetch().buffer, second) << "nothing of the dropped download";
    EXPECT_TRUE(near(centreOf(engine.status(0).picture).rgb(), Qt::darkBlue));
}

TEST_F(CameraEngineTest, StoppingAPanelBlanksAndFreesIt)
{
    server.setReply({MiniHttpServer::response(jpegOf(Qt::green), "image/jpeg"), 0, 0, true, true});
    QSignalSpy requests(&server, &MiniHttpServer::requestReceived);
    QSignalSpy stopped(&engine, &CameraEngine::stopped);
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    QSignalSpy failed(&engine, &CameraEngine::fetchFailed);
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    openPanel(1, QStringLiteral("Gate"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return requests.count() == 2; }));
    ASSERT_EQ(engine.panelsInUse(), 2);

    engine.stop(0);
    const PanelStatus &p = engine.status(0);
    EXPECT_EQ(p.caption, QStringLiteral("[webcam]"));
    EXPECT_FALSE(p.inUse);
    EXPECT_FALSE(p.busy);
    EXPECT_EQ(engine.camera(0), nullptr) << "the camera is gone";
    EXPECT_TRUE(p.picture.isNull()) << "the blank picture";
    EXPECT_EQ(engine.panelsInUse(), 1);
    ASSERT_EQ(stopped.count(), 1);
    EXPECT_EQ(stopped.at(0).at(0).toInt(), 0);
    EXPECT_TRUE(stopped.at(0).at(1).toBool());
    EXPECT_EQ(engine.lowestFreePanel(), 0);

    // A stopped panel ignores its timer; stopping it again says it was free.
    engine.tick(0);
    EXPECT_EQ(engine.camera(0), nullptr);
    engine.stop(0);
    EXPECT_EQ(engine.panelsInUse(), 1);
    ASSERT_EQ(stopped.count(), 2);
    EXPECT_FALSE(stopped.at(1).at(1).toBool());

    // The next camera opens in the freed panel.
    openPanel(0, QStringLiteral("Again"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return requests.count() == 3; }));
    engine.stop(0);
    engine.stop(1);
    EXPECT_EQ(engine.panelsInUse(), 0);
    EXPECT_TRUE(arrived.isEmpty()) << "closing our own sockets is no server close";
    EXPECT_TRUE(failed.isEmpty());
}

TEST_F(CameraEngineTest, StopAllWithThreePanelsInUse)
{
    server.setReply({MiniHttpServer::response(jpegOf(Qt::green), "image/jpeg")});
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    for (int i : {0, 1, 2})
        openPanel(i, QStringLiteral("Cam %1").arg(i), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 3; }));
    EXPECT_EQ(engine.panelsInUse(), 3);
    EXPECT_EQ(engine.lowestFreePanel(), 3);

    engine.stopAll();
    EXPECT_EQ(engine.panelsInUse(), 0);
    for (int i = 0; i < CameraEngine::PanelCount; ++i) {
        EXPECT_FALSE(engine.status(i).inUse) << i;
        EXPECT_EQ(engine.status(i).caption, QStringLiteral("[webcam]")) << i;
        EXPECT_EQ(engine.camera(i), nullptr) << i;
        EXPECT_TRUE(engine.status(i).picture.isNull()) << i;
    }
}

TEST_F(CameraEngineTest, TwentyFourPanelsFetchShowAndDetectAtOnce)
{
    // Every camera has its own colour and its own Last-Modified, moved on per round.
    int round = 0;
    server.setHandler([&](const QByteArray &request) {
        const int camera = request.mid(request.indexOf("/cam/") + 5).split('.').first().toInt();
        const QColor colour = QColor::fromHsv(camera * 15, 255, 255);
        const QByteArray lm =
            "Round " + QByteArray::number(round) + " of " + QByteArray::number(camera);
        return MiniHttpServer::Reply{
            MiniHttpServer::response(jpegOf(colour, QSize(160, 120)), "image/jpeg", lm), 1024, 0};
    });
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    for (int i = 0; i < CameraEngine::PanelCount; ++i)
        openPanel(i, QStringLiteral("Cam %1").arg(i),
                  server.url(QStringLiteral("/cam/%1.jpg").arg(i)));
    EXPECT_EQ(engine.lowestFreePanel(), -1);
    EXPECT_EQ(engine.panelsInUse(), 24);
    EXPECT_EQ(engine.open(QStringLiteral("One too many"), server.url(QStringLiteral("/x.jpg")),
                          QStringLiteral("30")),
              nullptr);

    for (round = 0; round < 2; ++round) {
        if (round > 0) {
            for (int i = 0; i < CameraEngine::PanelCount; ++i)
                engine.refreshNow(i);
        }
        ASSERT_TRUE(waitFor([&] { return arrived.count() == 24 * (round + 1); }));
        QList<int> seen;
        for (int k = 24 * round; k < arrived.count(); ++k) {
            seen.append(panelAt(arrived, k));
            EXPECT_EQ(arrived.at(k).at(2).toBool(), round > 0) << "new only from round 2";
        }
        std::sort(seen.begin(), seen.end());
        QList<int> all(24);
        std::iota(all.begin(), all.end(), 0);
        EXPECT_EQ(seen, all);
        for (int i = 0; i < CameraEngine::PanelCount; ++i) {
            const PanelStatus &p = engine.status(i);
            EXPECT_FALSE(p.busy) << i;
            EXPECT_EQ(p.picture.size(), QSize(160, 120)) << i;
            EXPECT_TRUE(near(centreOf(p.picture).rgb(), QColor::fromHsv(i * 15, 255, 255))) << i;
            EXPECT_EQ(p.lastChange, QStringLiteral(" Round %1 of %2").arg(round).arg(i)) << i;
        }
    }
    EXPECT_TRUE(tempFiles().isEmpty());
}

TEST_F(CameraEngineTest, FailedFetchesWaitForTheNextInterval)
{
    QSignalSpy failed(&engine, &CameraEngine::fetchFailed);
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);

    // An address without a path: the panel runs, but nothing is fetched.
    openPanel(0, QStringLiteral("Bare"), QStringLiteral("camera.example"));
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(panelAt(failed, 0), 0);
    EXPECT_EQ(failureAt(failed, 0).kind, Failure::Kind::BadAddress);
    EXPECT_TRUE(engine.status(0).busy);
    EXPECT_TRUE(engine.camera(0)->fetch().counting);
    EXPECT_EQ(engine.status(0).caption, QStringLiteral("Bare"));

    // A refused connection: reported, the busy indicator stays until the next start.
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    openPanel(1, QStringLiteral("Gone"), QStringLiteral("127.0.0.1:%1/snap.jpg").arg(closedPort),
              "1");
    ASSERT_TRUE(waitFor([&] { return failed.count() == 2; }));
    EXPECT_EQ(panelAt(failed, 1), 1);
    EXPECT_EQ(failureAt(failed, 1).kind, Failure::Kind::Network);
    EXPECT_FALSE(failureAt(failed, 1).text.isEmpty());
    EXPECT_TRUE(engine.status(1).busy);
    engine.tick(1); // the next interval tries again
    ASSERT_TRUE(waitFor([&] { return failed.count() == 3; }));

    // A server that sends without end: dropped at the cap, buffer and all.
    QByteArray endless = okHeader(QByteArray());
    endless.append(QByteArray(HttpSnapshot::MaxResponseBytes + 1, 'x'));
    server.setReply({endless, 0, 0, false});
    openPanel(2, QStringLiteral("Stream"), server.url(QStringLiteral("/video.mjpg")));
    ASSERT_TRUE(waitFor([&] { return failed.count() == 4; }));
    EXPECT_EQ(qvariant_cast<Camera *>(failed.last().at(0))->panel(), 2);
    EXPECT_EQ(failureAt(failed, 3).kind, Failure::Kind::TooLarge);
    EXPECT_TRUE(failureAt(failed, 3).text.contains(QStringLiteral("larger than")));
    EXPECT_TRUE(engine.camera(2)->fetch().buffer.isEmpty());
    EXPECT_TRUE(engine.status(2).busy);
    EXPECT_TRUE(arrived.isEmpty());

    // Out-of-range panel numbers are refused without harm.
    engine.refreshNow(24);
    engine.tick(-1);
    engine.stop(99);
    EXPECT_FALSE(engine.status(24).inUse);
    EXPECT_EQ(engine.camera(-1), nullptr);
    EXPECT_EQ(engine.camera(24), nullptr);
}

TEST_F(CameraEngineTest, HealthFollowsPicturesAndFailuresOnTheEnginesClock)
{
    qint64 now = 50'000;
    engine.setClock([&now] { return now; });
    QSignalSpy changes(&engine, &CameraEngine::healthChanged);
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    QSignalSpy failed(&engine, &CameraEngine::fetchFailed);
    const auto changeAt = [&](qsizetype row) {
        return changes.at(row).at(1).value<CameraHealth::Change>();
    };

    server.setReply({MiniHttpServer::response(jpegOf(Qt::green), "image/jpeg")});
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")), "4");
    EXPECT_EQ(engine.camera(0)->health().startedMs(), 50'000);
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 1; }));
    EXPECT_TRUE(changes.isEmpty()) << "a first picture is no change of health";
    EXPECT_EQ(engine.camera(0)->health().lastPictureMs(), 50'000);

    // Stale after twice the refresh, but never sooner than 10 s.
    now += 10'000;
    EXPECT_FALSE(engine.camera(0)->isStale());
    now += 1;
    EXPECT_TRUE(engine.camera(0)->isStale());

    // A page instead of a picture: failing, with its reason.
    server.setReply({MiniHttpServer::response("<html/>", "text/html")});
    engine.refreshNow(0);
    ASSERT_TRUE(waitFor([&] { return failed.count() == 1; }));
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(panelAt(changes, 0), 0);
    EXPECT_EQ(changeAt(0), CameraHealth::Change::StartedFailing);
    EXPECT_TRUE(engine.camera(0)->health().isFailing());
    EXPECT_TRUE(
        engine.camera(0)->health().lastFailure().contains(QStringLiteral("is not a picture")));
    engine.refreshNow(0);
    ASSERT_TRUE(waitFor([&] { return failed.count() == 2; }));
    EXPECT_EQ(changes.count(), 1) << "a second failure in a row is no news";
    EXPECT_EQ(engine.camera(0)->health().failuresInRun(), 2);

    // The next picture takes the mark off and says the camera is back.
    server.setReply({MiniHttpServer::response(jpegOf(Qt::blue), "image/jpeg")});
    now += 5'000;
    engine.refreshNow(0);
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 2; }));
    ASSERT_EQ(changes.count(), 2);
    EXPECT_EQ(changeAt(1), CameraHealth::Change::Recovered);
    EXPECT_FALSE(engine.camera(0)->isStale());
    EXPECT_EQ(engine.camera(0)->health().lastPictureMs(), now);

    // A camera opened afresh in the panel starts a fresh account.
    engine.stop(0);
    now += 60'000;
    openPanel(0, QStringLiteral("Door"), QStringLiteral("camera.example"));
    EXPECT_FALSE(engine.camera(0)->health().hasPicture());
    EXPECT_EQ(engine.camera(0)->health().totalFailures(), 1)
        << "only the bad address of this camera";
}
