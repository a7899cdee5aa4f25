#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include "PictureIndex.h"
#include "SnapshotFileName.h"
#include "TestEnv.h"
#include "TestPictures.h"
#include "WebCameraBoard.h"
#include "WebCertificate.h"
#include "WebPassword.h"
#include "WebServer.h"
#include "WebSessions.h"

// The web view's server against clients that do not play fair, over real TLS
// on 127.0.0.1. Other loopback addresses (127.0.0.2, ...) stand for other
// machines, since the server counts connections per address.

namespace {

const QByteArray kPassword = "correct horse battery";

struct Response
{
    bool answered = false;
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names in lower case; ours are never repeated
    QByteArray body;
    QByteArray raw;

    QByteArray header(const QByteArray &name) const { return headers.value(name); }
    bool has(const QByteArray &name) const { return headers.contains(name); }
};

Response parse(const QByteArray &raw)
{
    Response r;
    r.raw = raw;
    const qsizetype end = raw.indexOf("\r\n\r\n");
    if (end < 0)
        return r;
    const QList<QByteArray> lines = raw.left(end).split('\n');
    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    if (statusLine.size() < 2 || !statusLine.first().startsWith("HTTP/1."))
        return r;
    r.answered = true;
    r.status = statusLine.at(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon > 0)
            r.headers.insert(lines.at(i).left(colon).trimmed().toLower(),
                             lines.at(i).mid(colon + 1).trimmed());
    }
    r.body = raw.mid(end + 4);
    return r;
}

QByteArray get(const QByteArray &path, const QByteArray &cookie = {}, const QByteArray &extra = {})
{
    QByteArray request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    if (!cookie.isEmpty())
        request += "Cookie: tessaly_session=" + cookie + "\r\n";
    return request + extra + "\r\n";
}

QByteArray post(const QByteArray &path, const QByteArray &body, const QByteArray &cookie = {})
{
    QByteArray request = "POST " + path +
                         " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                         "Content-Type: application/x-www-form-urlencoded\r\n"
                         "Content-Length: " +
                         QByteArray::number(body.size()) + "\r\n";
    if (!cookie.isEmpty())
        request += "Cookie: tessaly_session=" + cookie + "\r\n";
    return request + "\r\n" + body;
}

class WebServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestEnv::freshDataDirectory();
        const QString dir = TestEnv::freshDataDirectory();
        const Result<WebCertificate> made =
            WebCertificate::make(dir + QStringLiteral("/c.pem"), dir + QStringLiteral("/k.pem"),
                                 {QStringLiteral("127.0.0.1")});
        ASSERT_TRUE(made.ok()) << made.errorText().toStdString();
        m_certificate = made.value();
        static const QString hash = WebPassword::hash(kPassword).value();
        m_board.setCamera(1, QStringLiteral("Yard"), QStringLiteral("2"));
        m_board.setPicture(1, m_picture, QDateTime::currentDateTime());
        m_board.setCamera(7, QStringLiteral("<b>Door</b>"), QStringLiteral("5"));
        m_server = std::make_unique<WebServer>(&m_board, &m_sessions, hash);
        m_server->setClocks([this] { return m_nowMs.load(); }, nullptr);
        m_server->setLimits(m_limits);
        const Result<bool> started = m_server->start(QStringLiteral("127.0.0.1"), 0, m_certificate);
        ASSERT_TRUE(started.ok()) << started.errorText().toStdString();
    }

    // One request on a connection of its own, from the local address from.
    Response exchange(const QByteArray &request, const char *from = "127.0.0.1")
    {
        QSslSocket socket;
        socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        if (!socket.bind(QHostAddress(QString::fromLatin1(from)), 0))
            return {};
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), m_server->port());
        if (!socket.waitForEncrypted(10000))
            return {};
        // The certificate spoken with is ours, not some default.
        EXPECT_EQ(socket.peerCertificate().digest(QCryptographicHash::Sha256),
                  m_certificate.sha256);
        socket.write(request);
        QByteArray raw;
        QElapsedTimer clock;
        clock.start();
        // Until the server closes, or a whole answer is in on a kept-alive connection.
        while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 10000) {
            socket.waitForReadyRead(500);
            raw += socket.readAll();
            const Response sofar = parse(raw);
            if (sofar.answered && sofar.has("content-length") &&
                sofar.body.size() >= sofar.header("content-length").toLongLong())
                break;
        }
        raw += socket.readAll();
        return parse(raw);
    }

    QByteArray logIn(const char *from = "127.0.0.1")
    {
        const Response r =
            exchange(post("/login", "password=" + QByteArray(kPassword).replace(' ', '+')), from);
        const QByteArray cookie = r.header("set-cookie");
        const qsizetype start = cookie.indexOf('=') + 1;
        return cookie.mid(start, cookie.indexOf(';') - start);
    }

    WebServer::Limits m_limits;
    WebCertificate m_certificate;
    WebCameraBoard m_board;
    WebSessions m_sessions;
    std::unique_ptr<WebServer> m_server;
    std::atomic<qint64> m_nowMs = 1000000;
    QByteArray m_picture = TestPictures::jpegOf(Qt::darkGreen, QSize(1280, 720));
};

struct RouteCase
{
    const char *name;
    QByteArray request;
    int status;
    const char *location;
};

} // namespace

TEST_F(WebServerTest, WithoutASessionPagesGoToTheLoginAndEverythingElseIsRefused)
{
    const RouteCase cases[] = {
        {"grid", get("/"), 303, "/login"},
        {"camera page", get("/camera/1"), 303, "/login"},
        {"status", get("/api/cameras"), 401, nullptr},
        {"picture", get("/camera/1/latest.jpg"), 401, nullptr},
        {"grid picture", get("/camera/1/grid.jpg"), 401, nullptr},
        {"script", get("/app.js"), 401, nullptr},
        {"saved pictures", get("/api/camera/1/pictures"), 401, nullptr},
        {"saved picture", get("/camera/1/saved/1-1.jpg"), 401, nullptr},
        {"logout", post("/logout", ""), 401, nullptr},
        {"login page", get("/login"), 200, nullptr},
        {"stylesheet", get("/style.css"), 200, nullptr},
    };
    for (const RouteCase &c : cases) {
        SCOPED_TRACE(c.name);
        const Response r = exchange(c.request);
        ASSERT_TRUE(r.answered) << r.raw.toStdString();
        EXPECT_EQ(r.status, c.status);
        if (c.location) {
            EXPECT_EQ(r.header("location"), c.location);
        }
        EXPECT_FALSE(r.body.contains(m_picture.left(64)));
        EXPECT_FALSE(r.body.contains("Yard"));
    }
}

TEST_F(WebServerTest, TraversalAndEncodedPathsReachNoFileWithOrWithoutASession)
{
    const QByteArray session = logIn();
    ASSERT_EQ(session.size(), 64);
    const QByteArray paths[] = {
        "/../../../../etc/passwd",
        "/%2e%2e/%2e%2e/%2e%2e/etc/passwd",
        "/%2E%2E%2F%2E%2E%2Fetc%2Fpasswd",
        "/camera/1/..%2f..%2f..%2fetc%2fpasswd",
        "/camera/1%2flatest.jpg",
        "/camera/1/latest.jpg/../../../../etc/passwd",
        "/style.css/../../../etc/passwd",
        "//etc/passwd",
        "/camera/-1/latest.jpg",
        "/camera/1e3/latest.jpg",
        "/camera/99999999999999/latest.jpg",
        "/camera/1/latest.jpg%00.png",
        "/api/cameras/../../etc/passwd",
        "/etc/passwd",
        "/.%2e/.%2e/proc/self/environ",
        "/camera/1/saved/../../../../etc/passwd",
        "/camera/1/saved/..%2f..%2f..%2fetc%2fpasswd.jpg",
        "/camera/1/saved/1e3-1.jpg",
        "/camera/1/saved/1-99999999999.jpg",
        "/api/camera/1/pictures/../../../etc/passwd",
        "/api/camera/1%2fpictures",
    };
    for (const QByteArray &path : paths) {
        for (const QByteArray &cookie : {QByteArray(), session}) {
            SCOPED_TRACE(path.toStdString() + (cookie.isEmpty() ? " without" : " with") +
                         " a session");
            const Response r = exchange(get(path, cookie));
            ASSERT_TRUE(r.answered) << r.raw.toStdString();
            EXPECT_TRUE(r.status == 404 || r.status == 400) << r.status;
            EXPECT_FALSE(r.body.contains("root:"));
            EXPECT_FALSE(r.body.contains("PATH="));
        }
    }
}

TEST_F(WebServerTest, ForgedAndEndedCookiesAreRefused)
{
    const QByteArray session = logIn();
    ASSERT_EQ(session.size(), 64);
    QByteArray oneOff = session;
    oneOff[10] = oneOff[10] == 'a' ? 'b' : 'a';
    const QByteArray forged[] = {
        QByteArray(64, '0'), oneOff,
        session.left(63),    session + "0",
        session.toUpper(),   QByteArray(4000, 'a'),
        "../../etc/passwd",  "%22" + session,
    };
    for (const QByteArray &cookie : forged) {
        SCOPED_TRACE(cookie.left(80).toStdString());
        EXPECT_EQ(exchange(get("/api/cameras", cookie)).status, 401);
        EXPECT_EQ(exchange(get("/camera/1/latest.jpg", cookie)).status, 401);
    }
    EXPECT_EQ(exchange(get("/api/cameras", session)).status, 200);

    // Logout ends the session for good and clears the browser's cookie.
    const Response out = exchange(post("/logout", "", session));
    EXPECT_EQ(out.status, 303);
    EXPECT_EQ(out.header("location"), "/login");
    EXPECT_TRUE(out.header("set-cookie").startsWith("tessaly_session=;"));
    EXPECT_TRUE(out.header("set-cookie").contains("Max-Age=0"));
    EXPECT_EQ(exchange(get("/api/cameras", session)).status, 401);
}

TEST_F(WebServerTest, LoginSetsAStrictCookieAndTheSessionReachesCamerasAndPictures)
{
    const Response wrong = exchange(post("/login", "password=guess"));
    EXPECT_EQ(wrong.status, 401);
    EXPECT_FALSE(wrong.has("set-cookie"));
    EXPECT_TRUE(wrong.body.contains("Wrong password"));

    const Response good =
        exchange(post("/login", "password=" + QByteArray(kPassword).replace(' ', '+')));
    ASSERT_EQ(good.status, 303);
    EXPECT_EQ(good.header("location"), "/");
    const QByteArray cookie = good.header("set-cookie");
    EXPECT_TRUE(cookie.contains("; HttpOnly; Secure; SameSite=Strict")) << cookie.toStdString();
    EXPECT_TRUE(cookie.contains("Max-Age=2592000"));
    EXPECT_FALSE(good.raw.contains(kPassword));
    const QByteArray session = cookie.mid(16, 64);

    m_board.setChangeMark(1, true);
    const Response status = exchange(get("/api/cameras", session));
    ASSERT_EQ(status.status, 200);
    EXPECT_EQ(status.header("content-type"), "application/json");
    const QJsonArray cameras = QJsonDocument::fromJson(status.body).array();
    ASSERT_EQ(cameras.size(), 2);
    const QJsonObject yard = cameras.at(0).toObject();
    EXPECT_EQ(yard.value("name").toString(), "Yard");
    EXPECT_EQ(yard.value("state").toString(), "ok");
    EXPECT_EQ(yard.value("picture").toString(), "/camera/1/latest.jpg?v=1");
    EXPECT_EQ(yard.value("changed"), QJsonValue(true));
    const QJsonObject door = cameras.at(1).toObject();
    EXPECT_EQ(door.value("name").toString(), "<b>Door</b>");
    EXPECT_EQ(door.value("state").toString(), "none");
    EXPECT_TRUE(door.value("picture").isNull());
    EXPECT_TRUE(door.value("changed").isNull()) << "no change detection, no mark";

    const Response picture = exchange(get("/camera/1/latest.jpg?v=1", session));
    ASSERT_EQ(picture.status, 200);
    EXPECT_EQ(picture.body, m_picture) << "the camera's own bytes";
    const Response grid = exchange(get("/camera/1/grid.jpg?v=1", session));
    ASSERT_EQ(grid.status, 200);
    EXPECT_EQ(QImage::fromData(grid.body).size(), QSize(320, 180));
    EXPECT_EQ(exchange(get("/camera/7/latest.jpg", session)).status, 404);
    EXPECT_EQ(exchange(get("/camera/8", session)).status, 404);
    EXPECT_EQ(exchange(get("/camera/7", session)).status, 200);
}

TEST_F(WebServerTest, EveryAnswerForbidsFramingAndOtherOriginsAndPicturesAreNeverStored)
{
    const QByteArray session = logIn();
    const QByteArray requests[] = {get("/login"),
                                   get("/style.css"),
                                   get("/", session),
                                   get("/api/cameras", session),
                                   get("/app.js", session),
                                   get("/camera/1/latest.jpg", session),
                                   get("/camera/1/grid.jpg", session),
                                   get("/nothing")};
    for (const QByteArray &request : requests) {
        SCOPED_TRACE(request.left(request.indexOf('\r')).toStdString());
        const Response r = exchange(request);
        ASSERT_TRUE(r.answered);
        EXPECT_EQ(r.header("content-security-policy"), "default-src 'self'");
        EXPECT_EQ(r.header("x-frame-options"), "DENY");
        EXPECT_EQ(r.header("cache-control"), "no-store");
        EXPECT_EQ(r.header("x-content-type-options"), "nosniff");
    }
}

TEST_F(WebServerTest, AfterFiveWrongPasswordsAMinuteTheAddressWaitsWithRetryAfter)
{
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(exchange(post("/login", "password=wrong" + QByteArray::number(i))).status, 401);
    m_nowMs += 10000;
    // Even the right password is not heard now.
    const Response held =
        exchange(post("/login", "password=" + QByteArray(kPassword).replace(' ', '+')));
    EXPECT_EQ(held.status, 429);
    EXPECT_EQ(held.header("retry-after"), "50");
    EXPECT_FALSE(held.has("set-cookie"));
    // Another machine is not held back by this one.
    EXPECT_EQ(logIn("127.0.0.2").size(), 64);
    // Once the first failure is a minute old, the address may try again.
    m_nowMs += 50000;
    EXPECT_EQ(logIn().size(), 64);
}

TEST_F(WebServerTest, AHeaderOver16KilobytesGets431AndANormalOneIsServed)
{
    const struct
    {
        int bytes;
        int status;
    } cases[] = {{200, 200},       {8 * 1024, 200},  {15 * 1024, 200},
                 {17 * 1024, 431}, {40 * 1024, 431}, {200 * 1024, 431}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes);
        const Response r =
            exchange(get("/login", {}, "X-Fill: " + QByteArray(c.bytes, 'a') + "\r\n"));
        ASSERT_TRUE(r.answered) << r.raw.left(200).toStdString();
        EXPECT_EQ(r.status, c.status);
    }
    // Still serving.
    EXPECT_EQ(exchange(get("/login")).status, 200);
}

TEST_F(WebServerTest, ConnectionsFromOneAddressAreBoundedWhileOthersAreServed)
{
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 30; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->bind(QHostAddress(QStringLiteral("127.0.0.20")), 0);
        socket->connectToHost(QStringLiteral("127.0.0.1"), m_server->port());
        idle.push_back(std::move(socket));
    }
    // The server closes what is over the bound at once; the rest stay open.
    const auto open = [&] {
        int n = 0;
        for (const auto &socket : idle)
            n += socket->state() == QAbstractSocket::ConnectedState ? 1 : 0;
        return n;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return open() == m_limits.connectionsPerAddress; }, 5000))
        << open();
    EXPECT_EQ(exchange(get("/login"), "127.0.0.2").status, 200);
}

namespace {
// A server with a short deadline for a request's header, to see it cut off
// a client that drips its header a byte at a time.
class SlowClientTest : public WebServerTest
{
protected:
    void SetUp() override
    {
        m_limits.requestDeadlineMs = 2000;
        m_limits.idleSeconds = 60; // only the deadline may close them here
        WebServerTest::SetUp();
    }
};
} // namespace

TEST_F(SlowClientTest, FiftySlowConnectionsAreCutOffWhileAGoodClientIsServed)
{
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    // Half stop inside the TLS handshake, half finish it and drip the header.
    for (int i = 0; i < 50; ++i) {
        const QString from = QStringLiteral("127.0.0.%1").arg(30 + i % 5);
        if (i % 2 == 0) {
            auto socket = std::make_unique<QTcpSocket>();
            socket->bind(QHostAddress(from), 0);
            socket->connectToHost(QStringLiteral("127.0.0.1"), m_server->port());
            slow.push_back(std::move(socket));
        } else {
            auto socket = std::make_unique<QSslSocket>();
            socket->setPeerVerifyMode(QSslSocket::VerifyNone);
            socket->bind(QHostAddress(from), 0);
            socket->connectToHostEncrypted(QStringLiteral("127.0.0.1"), m_server->port());
            slow.push_back(std::move(socket));
        }
    }
    const QByteArray header = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";
    int dripped = 0;
    QTimer drip;
    QObject::connect(&drip, &QTimer::timeout, [&] {
        for (size_t i = 0; i < slow.size(); ++i) {
            if (slow[i]->state() != QAbstractSocket::ConnectedState)
                continue;
            if (auto *tls = qobject_cast<QSslSocket *>(slow[i].get())) {
                if (tls->isEncrypted())
                    tls->write(header.mid(dripped % header.size(), 1));
            } else if (dripped == 0) {
                tls = nullptr;
                slow[i]->write("\x16\x03\x01\x02", 4); // the start of a ClientHello
            }
        }
        ++dripped;
    });
    drip.start(200);
    QElapsedTimer clock;
    clock.start();
    const auto connected = [&] {
        int n = 0;
        for (const auto &socket : slow)
            n += socket->state() == QAbstractSocket::ConnectedState ? 1 : 0;
        return n;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return connected() == 50; }, 5000)) << connected();
    int served = 0;
    while (connected() > 0 && clock.elapsed() < 15000) {
        const Response r = exchange(get("/login"), "127.0.0.2");
        EXPECT_EQ(r.status, 200);
        served += r.status == 200 ? 1 : 0;
        QTest::qWait(300);
    }
    EXPECT_EQ(connected(), 0) << "slow clients still connected after 15 s";
    EXPECT_GE(clock.elapsed(), 1500) << "cut off before the deadline";
    EXPECT_GE(m_server->connectionsCutOff(), 50u);
    EXPECT_GE(served, 3);
    EXPECT_EQ(exchange(get("/login"), "127.0.0.2").status, 200);
}

TEST_F(WebServerTest, ABrokenClientNeverStopsTheServer)
{
    const QByteArray garbage[] = {
        "\x16\x03\x01\x00\x05hello",
        QByteArray(5000, '\0'),
        "GET / HTTP/1.1\r\n",
        "NONSENSE\r\n\r\n",
    };
    for (const QByteArray &bytes : garbage) {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), m_server->port());
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(bytes);
        socket.waitForBytesWritten(1000);
        socket.abort();
    }
    // Inside TLS: a request line and headers that make no sense.
    const QByteArray requests[] = {"GARBAGE\r\n\r\n", "GET /login HTTP/9.9\r\n\r\n",
                                   "DELETE /api/cameras HTTP/1.1\r\nHost: x\r\n\r\n",
                                   "POST /login HTTP/1.1\r\nHost: x\r\nContent-Length: 99999\r\n"
                                   "\r\n" +
                                       QByteArray(9000, 'p')};
    for (const QByteArray &request : requests) {
        SCOPED_TRACE(request.left(40).toStdString());
        QElapsedTimer clock;
        clock.start();
        const Response r = exchange(request);
        EXPECT_LT(clock.elapsed(), 5000) << "not answered or closed at once";
        EXPECT_TRUE(!r.answered || r.status >= 400) << r.raw.left(300).toStdString();
    }
    EXPECT_EQ(exchange(get("/login")).status, 200);
    EXPECT_TRUE(m_server->isRunning());
}

namespace {

// Saved pictures in a temporary cam/ and its index: Yard (camera 1) has
// three today, two of them in one second, and one yesterday; Gate (camera 3)
// one today.
class SavedPicturesTest : public WebServerTest
{
protected:
    void SetUp() override
    {
        WebServerTest::SetUp();
        TestEnv::freshCacheDirectory();
        m_cam = TestEnv::freshProgramDirectory() + QStringLiteral("/cam");
        QDir().mkpath(m_cam);
        m_board.setCamera(3, QStringLiteral("Gate"), QStringLiteral("1"));
        save("Yard", QDateTime(m_today.addDays(-1), QTime(12, 0)), Qt::blue);
        for (const Qt::GlobalColor color : {Qt::red, Qt::yellow})
            save("Yard", QDateTime(m_today, QTime(0, 0, 5)), color);
        save("Yard", QDateTime(m_today, QTime(0, 0, 9)), Qt::cyan);
        m_gateFile = save("Gate", QDateTime(m_today, QTime(0, 0, 7)), Qt::magenta);
        ASSERT_TRUE(m_index.emplace(m_cam).open().ok());
        ASSERT_EQ(m_index->scanNow().added, 5);
        m_server->setPictureIndex(&*m_index);
    }

    QString save(const char *camera, const QDateTime &moment, const QColor &color)
    {
        const QString path = SnapshotFileName::freePath(
            m_cam, SnapshotFileName::make(QString::fromLatin1(camera), moment));
        m_files.append(TestPictures::jpegOf(color, QSize(640, 480)));
        EXPECT_TRUE(TestEnv::writeFile(path, m_files.last()));
        return path;
    }

    // The saved pictures' addresses a strip lists.
    QList<QByteArray> list(const QByteArray &path, const QByteArray &session)
    {
        const Response r = exchange(get(path, session));
        EXPECT_EQ(r.status, 200) << path.toStdString();
        QList<QByteArray> addresses;
        for (const QJsonValue &picture : QJsonDocument::fromJson(r.body).array())
            addresses.append(picture.toObject().value("picture").toString().toUtf8());
        return addresses;
    }

    const QDate m_today = QDate::currentDate();
    QString m_cam;
    QString m_gateFile;
    QList<QByteArray> m_files;
    std::optional<PictureIndex> m_index;
};

} // namespace

TEST_F(SavedPicturesTest, TheStripListsTheCamerasOwnPicturesAndEachIsServedByItsKeyOnly)
{
    const QByteArray session = logIn();
    const QList<QByteArray> today = list("/api/camera/1/pictures", session);
    ASSERT_EQ(today.size(), 3) << "today's only, Yard's only";
    const qint64 newest = QDateTime(m_today, QTime(0, 0, 9)).toMSecsSinceEpoch();
    EXPECT_TRUE(today.first().startsWith("/camera/1/saved/" + QByteArray::number(newest) + '-'));
    // Each the bytes of its own file (the two of one second told apart), and a small copy.
    QSet<QByteArray> served;
    for (const QByteArray &address : today) {
        const Response r = exchange(get(address, session));
        EXPECT_EQ(r.header("content-type"), "image/jpeg");
        EXPECT_EQ(r.header("cache-control"), "no-store");
        served.insert(m_files.contains(r.body) ? r.body : QByteArray());
    }
    EXPECT_EQ(served.size(), 3);
    const QByteArray small = QByteArray(today.first()).replace(".jpg", ".small.jpg");
    EXPECT_EQ(QImage::fromData(exchange(get(small, session)).body).width(), 320);

    // Around a moment: yesterday's too, and still never Gate's, whose key is no Yard's.
    const qint64 noon = QDateTime(m_today.addDays(-1), QTime(12, 0)).toMSecsSinceEpoch();
    EXPECT_EQ(list("/api/camera/1/pictures?around=" + QByteArray::number(noon), session).size(), 4);
    const QByteArray gate = list("/api/camera/3/pictures", session).value(0);
    const QByteArray key = gate.mid(gate.lastIndexOf('/') + 1).chopped(4);
    const QByteArray misses[] = {
        "/camera/1/saved/" + key + ".jpg",
        "/camera/3/saved/" + key,
        "/camera/3/saved/+" + key + ".jpg",
        "/camera/3/saved/" + key + ".jpg%00",
        "/api/camera/9/pictures",
        "/api/camera/3/pictures?around=-5",
        "/api/camera/3/pictures?around=1e12",
    };
    for (const QByteArray &path : misses) {
        SCOPED_TRACE(path.toStdString());
        const Response r = exchange(get(path, session));
        EXPECT_EQ(r.status, path.contains("?around") ? 400 : 404);
        EXPECT_LT(r.body.size(), 100) << "an answer, never a file";
    }

    // A row that is a link is not followed, and a file gone is gone.
    const QString link = m_cam + QLatin1Char('/') +
                         SnapshotFileName::make(QStringLiteral("Gate"), m_today.startOfDay());
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc/passwd"), link));
    ASSERT_TRUE(m_index->add(link, 10, QStringLiteral("Gate")).value());
    EXPECT_EQ(exchange(get(list("/api/camera/3/pictures", session).last(), session)).status, 404);
    ASSERT_TRUE(QFile::remove(m_gateFile));
    EXPECT_EQ(exchange(get(gate, session)).status, 404);

    // Without an index: an empty strip, the page as before, no saved picture.
    m_server->setPictureIndex(nullptr);
    EXPECT_TRUE(list("/api/camera/1/pictures", session).isEmpty());
    EXPECT_EQ(exchange(get("/camera/1", session)).status, 200);
    EXPECT_EQ(exchange(get(today.first(), session)).status, 404);
}
