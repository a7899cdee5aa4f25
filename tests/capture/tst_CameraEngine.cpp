#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>

#include <QBuffer>
#include <QDir>
#include <QHostAddress>
#include <QImageWriter>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "CameraEngine.h"
#include "HttpSnapshot.h"
#include "MiniHttpServer.h"
#include "TestEnv.h"

namespace {

constexpr int Timeout = 10000;

QByteArray jpegOf(const QColor &color, const QSize &size = QSize(64, 48))
{
    const QByteArray bytes = TestEnv::jpegOf(color, size);
    if (bytes.isEmpty())
        ADD_FAILURE() << "cannot make a JPEG";
    return bytes;
}

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

    // What the list commands do when they put a camera into a panel.
    void openPanel(int index, const QString &name, const QString &address,
                   const QString &refresh = QStringLiteral("30"))
    {
        engine.setName(index, name);
        engine.setAddress(index, address);
        engine.setRefresh(index, refresh);
        engine.setVisible(index, true);
        engine.setCamsInUse(qint16(engine.camsInUse() + 1));
        engine.StartPanel(index);
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
    EXPECT_EQ(engine.panel(0).camPath, QStringLiteral("/my%20cam/a%20b.jpg"));
    EXPECT_EQ(engine.panel(0).camHost, QString::fromLatin1(host));

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
    QSignalSpy viewer(&engine, &CameraEngine::viewerPictureChanged);
    QSignalSpy labels(&engine, &CameraEngine::viewerLabelsChanged);
    QSignalSpy windowBusy(&engine, &CameraEngine::pictureWindowBusy);
    QSignalSpy windowPicture(&engine, &CameraEngine::pictureWindowPictureChanged);
    engine.setPictureWindowOpen(true);

    // Panel 0 is the selected camera at start; panel 1 is not.
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    EXPECT_TRUE(engine.panel(0).busy);
    EXPECT_EQ(engine.panel(0).caption, QStringLiteral("Yard"));
    ASSERT_EQ(windowBusy.count(), 1);
    EXPECT_TRUE(windowBusy.at(0).at(0).toBool());
    openPanel(1, QStringLiteral("Gate"), server.url(QStringLiteral("/snap.jpg")));
    EXPECT_EQ(windowBusy.count(), 1);

    ASSERT_TRUE(waitFor([&] { return arrived.count() == 2; }));
    for (int i : {0, 1}) {
        const CameraPanel &p = engine.panel(i);
        EXPECT_FALSE(p.busy);
        EXPECT_EQ(p.camContentLength, body.size());
        EXPECT_EQ(p.progress, 0) << "no progress for a response in one piece";
        EXPECT_EQ(p.camBuffer, body);
        EXPECT_EQ(p.picture.size(), QSize(320, 240));
        EXPECT_TRUE(near(centreOf(p.picture).rgb(), Qt::green));
    }
    EXPECT_EQ(status.count(), 0);
    EXPECT_EQ(arrived.at(0).at(2).toBool(), true);

    // Only the selected camera reaches the viewer and the picture window.
    ASSERT_EQ(viewer.count(), 1);
    EXPECT_EQ(viewer.at(0).at(0).toInt(), 0);
    ASSERT_EQ(labels.count(), 1);
    EXPECT_EQ(labels.at(0).at(0).toInt(), 0);
    ASSERT_EQ(windowBusy.count(), 2);
    EXPECT_FALSE(windowBusy.at(1).at(0).toBool());
    ASSERT_EQ(windowPicture.count(), 1);
    EXPECT_TRUE(windowPicture.at(0).at(0).value<Picture>() == engine.panel(0).picture);
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
              QStringLiteral("http://127.0.0.1:%1/cams/snap.jpg").arg(stepper.serverPort()));

    QByteArray request;
    ASSERT_TRUE(waitFor([&] {
        if (peer)
            request += peer->readAll();
        return request.contains("\r\n\r\n");
    }));
    peer->write(okHeader("Content-Length: 20000\r\n"));
    ASSERT_TRUE(waitFor([&] { return engine.panel(0).camHeaderDone; }));
    EXPECT_EQ(engine.panel(0).camContentLength, 20000);
    EXPECT_EQ(status.count(), 0);

    QList<float> shown;
    for (int k = 0; k < 3; ++k) {
        peer->write(body.mid(k * 5000, 5000));
        ASSERT_TRUE(waitFor([&] { return status.count() == k + 1; }));
        shown.append(engine.panel(0).progress);
    }
    EXPECT_EQ(shown, (QList<float>{25, 50, 75}));
    EXPECT_EQ(status.last().at(0).toString(), QStringLiteral("Downloading snap.jpg [75]"));
    EXPECT_TRUE(arrived.isEmpty());

    peer->write(body.mid(15000));
    peer->disconnectFromHost();
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 1; }));
    EXPECT_EQ(engine.panel(0).progress, 100);
    EXPECT_TRUE(arrived.at(0).at(2).toBool()) << "the padded body still decodes";
    EXPECT_TRUE(near(centreOf(engine.panel(0).picture).rgb(), Qt::blue));
}

TEST_F(CameraEngineTest, NoProgressForALowerCaseLengthOrAHeaderPast32767)
{
    const QByteArray body = jpegOf(Qt::red, QSize(200, 100));
    QSignalSpy status(&engine, &CameraEngine::statusText);
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);

    server.setReply(
        {okHeader("content-length: " + QByteArray::number(body.size()) + "\r\n") + body, 500, 0});
    openPanel(0, QStringLiteral("Lower"), server.url(QStringLiteral("/a.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 1; }));
    EXPECT_TRUE(engine.panel(0).camHeaderDone);
    EXPECT_EQ(engine.panel(0).camContentLength, 0);

    const QByteArray longHeader = okHeader("Content-Length: " + QByteArray::number(body.size()) +
                                           "\r\nX-Pad: " + QByteArray(33000, 'p') + "\r\n");
    server.setReply({longHeader + body, 4000, 0});
    openPanel(1, QStringLiteral("Long"), server.url(QStringLiteral("/b.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 2; }));
    EXPECT_FALSE(engine.panel(1).camHeaderDone);
    EXPECT_EQ(engine.panel(1).camContentLength, 0);
    // The arrival finds the header end on its own and shows the picture.
    EXPECT_EQ(engine.panel(1).camBuffer, body);
    EXPECT_TRUE(arrived.at(1).at(2).toBool());
    EXPECT_TRUE(near(centreOf(engine.panel(1).picture).rgb(), Qt::red));

    EXPECT_EQ(status.count(), 0);
}

TEST_F(CameraEngineTest, ANonImageResponseShowsTheNotFoundPictureAndLeavesDetectionAlone)
{
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    QSignalSpy failed(&engine, &CameraEngine::fetchFailed);
    QSignalSpy labels(&engine, &CameraEngine::viewerLabelsChanged);
    const QByteArray lm = "Mon, 06 Jul 2026 08:00:00 GMT";
    server.setReply({MiniHttpServer::response(jpegOf(Qt::yellow), "image/jpeg", lm)});
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 1; }));
    const QString recorded = engine.panel(0).camLastModified;
    ASSERT_FALSE(recorded.isEmpty());

    server.setReply({MiniHttpServer::response("<html>404</html>", "text/html",
                                              "Tue, 07 Jul 2026 08:00:00 GMT")});
    engine.refreshNow(0);
    ASSERT_TRUE(waitFor([&] { return failed.count() == 1; }));
    const CameraPanel &p = engine.panel(0);
    EXPECT_TRUE(p.picture == engine.notFoundPicture());
    EXPECT_FALSE(p.busy);
    EXPECT_EQ(p.camLastModified, recorded);
    EXPECT_EQ(p.txtUpdated, QStringLiteral(" ") + QString::fromLatin1(lm));
    EXPECT_EQ(arrived.count(), 1) << "no autosave step for a page that is not a picture";
    EXPECT_EQ(labels.count(), 2) << "the viewer labels are refreshed all the same";
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
    // The autosave reloads what it saved into the panel from a direct connection.
    const Picture saved = Picture::fromImage(notFoundImage().scaled(30, 30));
    QObject::connect(&engine, &CameraEngine::pictureArrived, &engine,
                     [&](int index, bool isNew, bool) {
                         if (isNew)
                             engine.setPanelPicture(index, saved);
                     });

    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    QList<bool> isNew;
    QStringList refreshed;
    for (int fetch = 0; fetch < lines.size(); ++fetch) {
        if (fetch > 0)
            engine.refreshNow(0);
        ASSERT_TRUE(waitFor([&] { return arrived.count() == fetch + 1; }));
        isNew.append(arrived.last().at(1).toBool());
        refreshed.append(engine.panel(0).txtRefreshed);
        EXPECT_EQ(engine.panel(0).camNewPicture, isNew.last());
        if (fetch == 0) {
            EXPECT_EQ(engine.panel(0).txtUpdated, QStringLiteral(" Mon, 06 Jul 2026 08:00:00 GMT"));
            EXPECT_FALSE(refreshed.first().isEmpty());
        }
        if (fetch == 2)
            EXPECT_TRUE(engine.panel(0).picture == saved) << "the new picture was replaced";
        else
            EXPECT_FALSE(engine.panel(0).picture == saved);
    }
    EXPECT_EQ(isNew, (QList<bool>{false, false, true, false, false}));
    // Stamped only when a changed line is recorded.
    EXPECT_EQ(refreshed[1], refreshed[0]);
    EXPECT_EQ(refreshed[4], refreshed[2]);
    EXPECT_EQ(engine.panel(0).txtUpdated, QStringLiteral(" Tue, 07 Jul 2026 08:00:00 GMT"))
        << "pictures without the line leave the text alone";
    EXPECT_EQ(engine.panel(0).camLastModified,
              QStringLiteral("Last-Modified: Tue, 07 Jul 2026 08:00:00 GMT"));

    // The recorded line survives a stop; the same date in capitals counts as a change.
    engine.StopPanel(0);
    server.setReply({"HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n"
                     "LAST-MODIFIED: Tue, 07 Jul 2026 08:00:00 GMT\r\n\r\n" +
                     jpegOf(Qt::cyan)});
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 6; }));
    EXPECT_TRUE(arrived.last().at(1).toBool());

    // A camera that never sends the line: shown, never new, its texts stay empty.
    server.setReply({MiniHttpServer::response(jpegOf(Qt::cyan), "image/jpeg")});
    openPanel(3, QStringLiteral("Plain"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 7; }));
    engine.refreshNow(3);
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 8; }));
    EXPECT_FALSE(arrived.at(6).at(1).toBool());
    EXPECT_FALSE(arrived.at(7).at(1).toBool());
    EXPECT_TRUE(engine.panel(3).txtUpdated.isEmpty());
    EXPECT_TRUE(engine.panel(3).txtRefreshed.isEmpty());
    EXPECT_FALSE(engine.panel(3).picture.isNull());
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
                     [&](int, bool, bool) { seenDuringArrival.append(int(tempFiles().size())); });

    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 1; }));
    EXPECT_EQ(seenDuringArrival, (QList<int>{0}));
    EXPECT_TRUE(tempFiles().isEmpty());
    const Picture shown = engine.panel(0).picture;

    // A torn body is not a picture: the panel keeps the previous one.
    bodyServed = torn;
    engine.refreshNow(0);
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 2; }));
    EXPECT_FALSE(arrived.last().at(2).toBool());
    EXPECT_TRUE(engine.panel(0).picture == shown);
    EXPECT_TRUE(tempFiles().isEmpty());

    // No temporary directory at all changes nothing.
    qputenv("TMPDIR", QFile::encodeName(m_tempDir + QStringLiteral("/gone")));
    bodyServed = jpegOf(Qt::darkGreen);
    engine.refreshNow(0);
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 3; }));
    EXPECT_TRUE(arrived.last().at(2).toBool());
    EXPECT_TRUE(near(centreOf(engine.panel(0).picture).rgb(), Qt::darkGreen));
}

TEST_F(CameraEngineTest, CountdownOfThirtySecondsAndItsOddIntervals)
{
    QSignalSpy requests(&server, &MiniHttpServer::requestReceived);
    QSignalSpy label(&engine, &CameraEngine::nextRefreshText);
    QSignalSpy timeAsked(&engine, &CameraEngine::networkTimeRequested);
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(requests.wait(Timeout));
    EXPECT_EQ(engine.panel(0).camRefreshSecs, 30);
    EXPECT_TRUE(engine.panel(0).timerEnabled);

    for (int t = 0; t < 29; ++t)
        engine.tick(0);
    EXPECT_EQ(engine.panel(0).camTicks, 29);
    EXPECT_EQ(engine.nextRefreshLabel(0), QStringLiteral("1"));
    engine.tick(0); // shows 0 and starts the next fetch
    EXPECT_EQ(engine.panel(0).camTicks, 0);
    EXPECT_TRUE(engine.panel(0).busy);
    ASSERT_TRUE(requests.wait(Timeout));
    QStringList expected;
    for (int left = 29; left >= 0; --left)
        expected.append(QString::number(left));
    QStringList texts;
    for (const QList<QVariant> &args : std::as_const(label))
        texts.append(args.at(0).toString());
    EXPECT_EQ(texts, expected) << "29 down to 0, never 30";
    EXPECT_EQ(timeAsked.count(), 30);

    // Only the selected camera drives the label and the time.
    openPanel(1, QStringLiteral("Gate"), server.url(QStringLiteral("/snap.jpg")), "0");
    ASSERT_TRUE(requests.wait(Timeout));
    label.clear();
    // A refresh of 0 or below fetches on every tick.
    for (int t = 0; t < 3; ++t) {
        engine.tick(1);
        ASSERT_TRUE(requests.wait(Timeout)) << "tick " << t;
    }
    EXPECT_TRUE(label.isEmpty());
    engine.setRefresh(0, QStringLiteral("-5"));
    engine.StartPanel(0);
    ASSERT_TRUE(requests.wait(Timeout));
    engine.tick(0);
    ASSERT_TRUE(requests.wait(Timeout));
    EXPECT_EQ(label.last().at(0).toString(), QStringLiteral("-6"));

    // 2.5 seconds: an interval of 2 (halves to even), while the label shows halves.
    engine.setRefresh(0, QStringLiteral("2.5"));
    engine.StartPanel(0);
    ASSERT_TRUE(requests.wait(Timeout));
    EXPECT_EQ(engine.panel(0).camRefreshSecs, 2);
    engine.tick(0);
    EXPECT_EQ(label.last().at(0).toString(), QStringLiteral("1.5"));
    EXPECT_EQ(engine.panel(0).camTicks, 1);
    engine.tick(0);
    EXPECT_EQ(label.last().at(0).toString(), QStringLiteral("0.5"));
    EXPECT_EQ(engine.panel(0).camTicks, 0);
    ASSERT_TRUE(requests.wait(Timeout));
    engine.setRefresh(0, QStringLiteral("3.5"));
    engine.StartPanel(0);
    EXPECT_EQ(engine.panel(0).camRefreshSecs, 4);
}

TEST_F(CameraEngineTest, ARefreshTextThatIsNoNumberRunsOnThirtySeconds)
{
    QSignalSpy requests(&server, &MiniHttpServer::requestReceived);
    QSignalSpy status(&engine, &CameraEngine::statusText);
    QSignalSpy label(&engine, &CameraEngine::nextRefreshText);
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")), "abc");
    ASSERT_TRUE(requests.wait(Timeout)) << "the panel still fetches";
    EXPECT_EQ(engine.panel(0).camRefreshSecs, 30);
    ASSERT_GE(status.count(), 1);
    EXPECT_EQ(status.first().at(0).toString(),
              QStringLiteral("Refresh \"abc\" of Yard is not a number; using 30 seconds"));
    engine.tick(0);
    EXPECT_EQ(label.last().at(0).toString(), QStringLiteral("29"));

    engine.setRefresh(0, QStringLiteral("99999999999"));
    engine.StartPanel(0);
    EXPECT_EQ(engine.panel(0).camRefreshSecs, 30) << "outside the 32-bit range";
    engine.setRefresh(0, QString());
    engine.StartPanel(0);
    EXPECT_EQ(engine.panel(0).camRefreshSecs, 30);
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
    ASSERT_TRUE(waitFor([&] { return engine.panel(0).camHeaderDone; }));
    engine.tick(0);
    engine.tick(0);
    EXPECT_EQ(engine.panel(0).camTicks, 2);

    engine.refreshNow(0);
    EXPECT_EQ(engine.panel(0).camTicks, 0);
    EXPECT_TRUE(engine.panel(0).camBuffer.isEmpty());
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 1; }));
    EXPECT_EQ(requests.count(), 2);
    EXPECT_EQ(engine.panel(0).camBuffer, second) << "nothing of the dropped download";
    EXPECT_TRUE(near(centreOf(engine.panel(0).picture).rgb(), Qt::darkBlue));
}

TEST_F(CameraEngineTest, StoppingTheSelectedPanelHidesTheViewer)
{
    server.setReply({MiniHttpServer::response(jpegOf(Qt::green), "image/jpeg"), 0, 0, true, true});
    QSignalSpy requests(&server, &MiniHttpServer::requestReceived);
    QSignalSpy hidden(&engine, &CameraEngine::viewerHidden);
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    QSignalSpy failed(&engine, &CameraEngine::fetchFailed);
    openPanel(0, QStringLiteral("Yard"), server.url(QStringLiteral("/snap.jpg")));
    openPanel(1, QStringLiteral("Gate"), server.url(QStringLiteral("/snap.jpg")));
    engine.setPanelPicture(0, Picture::fromImage(notFoundImage()));
    ASSERT_TRUE(waitFor([&] { return requests.count() == 2; }));
    ASSERT_EQ(engine.camsInUse(), 2);

    engine.StopPanel(0);
    const CameraPanel &p = engine.panel(0);
    EXPECT_EQ(p.caption, QStringLiteral("[webcam]"));
    EXPECT_FALSE(p.visible);
    EXPECT_FALSE(p.busy);
    EXPECT_FALSE(p.timerEnabled);
    EXPECT_TRUE(p.picture.isNull()) << "the blank picture";
    EXPECT_EQ(engine.camsInUse(), 1);
    EXPECT_EQ(engine.selectedCam(), -1);
    EXPECT_EQ(hidden.count(), 1);
    EXPECT_EQ(engine.lowestHiddenPanel(), 0);

    // A stopped panel ignores its timer; stopping it again changes no count.
    engine.tick(0);
    EXPECT_EQ(p.camTicks, 0);
    engine.StopPanel(0);
    EXPECT_EQ(engine.camsInUse(), 1);
    EXPECT_EQ(hidden.count(), 1);

    // Stopping another panel leaves the (empty) selection alone.
    engine.StopPanel(1);
    EXPECT_EQ(engine.camsInUse(), 0);
    EXPECT_EQ(hidden.count(), 1);
    EXPECT_TRUE(arrived.isEmpty()) << "closing our own sockets is no server close";
    EXPECT_TRUE(failed.isEmpty());
}

TEST_F(CameraEngineTest, StopAllWithThreePanelsInUse)
{
    server.setReply({MiniHttpServer::response(jpegOf(Qt::green), "image/jpeg")});
    QSignalSpy arrived(&engine, &CameraEngine::pictureArrived);
    for (int i : {0, 5, 23})
        openPanel(i, QStringLiteral("Cam %1").arg(i), server.url(QStringLiteral("/snap.jpg")));
    ASSERT_TRUE(waitFor([&] { return arrived.count() == 3; }));
    EXPECT_EQ(engine.camsInUse(), 3);
    EXPECT_EQ(engine.lowestHiddenPanel(), 1);

    engine.stopAll();
    EXPECT_EQ(engine.camsInUse(), 0);
    for (int i = 0; i < CameraEngine::PanelCount; ++i) {
        EXPECT_FALSE(engine.panel(i).visible) << i;
        EXPECT_EQ(engine.panel(i).caption, QStringLiteral("[webcam]")) << i;
        EXPECT_FALSE(engine.panel(i).timerEnabled) << i;
        EXPECT_TRUE(engine.panel(i).picture.isNull()) << i;
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
    EXPECT_EQ(engine.lowestHiddenPanel(), -1);
    EXPECT_EQ(engine.camsInUse(), 24);

    for (round = 0; round < 2; ++round) {
        if (round > 0) {
            for (int i = 0; i < CameraEngine::PanelCount; ++i)
                engine.refreshNow(i);
        }
        ASSERT_TRUE(waitFor([&] { return arrived.count() == 24 * (round + 1); }));
        QList<int> seen;
        for (int k = 24 * round; k < arrived.count(); ++k) {
            seen.append(arrived.at(k).at(0).toInt());
            EXPECT_EQ(arrived.at(k).at(1).toBool(), round > 0) << "new only from round 2";
            EXPECT_TRUE(arrived.at(k).at(2).toBool());
        }
        std::sort(seen.begin(), seen.end());
        QList<int> all(24);
        std::iota(all.begin(), all.end(), 0);
        EXPECT_EQ(seen, all);
        for (int i = 0; i < CameraEngine::PanelCount; ++i) {
            const CameraPanel &p = engine.panel(i);
            EXPECT_FALSE(p.busy) << i;
            EXPECT_EQ(p.picture.size(), QSize(160, 120)) << i;
            EXPECT_TRUE(near(centreOf(p.picture).rgb(), QColor::fromHsv(i * 15, 255, 255))) << i;
            EXPECT_EQ(p.txtUpdated, QStringLiteral(" Round %1 of %2").arg(round).arg(i)) << i;
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
    EXPECT_EQ(failed.at(0).at(0).toInt(), 0);
    EXPECT_TRUE(engine.panel(0).busy);
    EXPECT_TRUE(engine.panel(0).timerEnabled);
    EXPECT_EQ(engine.panel(0).caption, QStringLiteral("Bare"));

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
    EXPECT_EQ(failed.at(1).at(0).toInt(), 1);
    EXPECT_TRUE(engine.panel(1).busy);
    engine.tick(1); // the next interval tries again
    ASSERT_TRUE(waitFor([&] { return failed.count() == 3; }));

    // A server that sends without end: dropped at the cap, buffer and all.
    QByteArray endless = okHeader(QByteArray());
    endless.append(QByteArray(HttpSnapshot::MaxResponseBytes, 'x'));
    server.setReply({endless, 0, 0, false});
    openPanel(2, QStringLiteral("Stream"), server.url(QStringLiteral("/video.mjpg")));
    ASSERT_TRUE(waitFor([&] { return failed.count() == 4; }));
    EXPECT_EQ(failed.last().at(0).toInt(), 2);
    EXPECT_TRUE(failed.last().at(1).toString().contains(QStringLiteral("larger than")));
    EXPECT_TRUE(engine.panel(2).camBuffer.isEmpty());
    EXPECT_TRUE(engine.panel(2).busy);
    EXPECT_TRUE(arrived.isEmpty());

    // Out-of-range panel numbers are refused without harm.
    engine.StartPanel(24);
    engine.tick(-1);
    engine.StopPanel(99);
    EXPECT_THROW(engine.panel(24), std::out_of_range);
    EXPECT_THROW(engine.setSelectedCam(24), std::out_of_range);
}
