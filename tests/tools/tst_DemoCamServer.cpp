#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QImage>
#include <QMap>
#include <QTcpSocket>
#include <QTimeZone>

#include <memory>
#include <vector>

#include "DemoCamDaytime.h"
#include "DemoCamServer.h"
#include "NetworkTime.h"
#include "ScopedHooks.h"
#include "WaitUntil.h"

namespace {

// A client on 127.0.0.1 that sends one request and collects everything until the
// server closes, spinning the event loop so the server in this thread can work.
class Client
{
public:
    Client(quint16 port, const QByteArray &request)
    {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] {
            m_bytes += m_socket.readAll();
            ++m_arrivals;
        });
        QObject::connect(&m_socket, &QTcpSocket::connected,
                         [this, request] { m_socket.write(request); });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }

    // True when the server closed the connection within the time.
    bool waitClosed(int timeoutMs = 5000)
    {
        return waitUntil([this] { return m_socket.state() == QAbstractSocket::UnconnectedState; },
                         timeoutMs);
    }

    QTcpSocket &socket() { return m_socket; }
    const QByteArray &bytes() const { return m_bytes; }
    int arrivals() const { return m_arrivals; }

private:
    QTcpSocket m_socket;
    QByteArray m_bytes;
    int m_arrivals = 0;
};

QByteArray get(const QByteArray &path, const QByteArray &method = "GET")
{
    return method + " " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
           "Accept: */*\r\n\r\n";
}

struct Reply
{
    QByteArray statusLine;
    QMap<QByteArray, QByteArray> headers; // names as sent
    QByteArray body;
    bool hasHeaderEnd = false;
};

Reply parse(const QByteArray &bytes)
{
    Reply r;
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    r.hasHeaderEnd = end >= 0;
    if (end < 0)
        return r;
    const QList<QByteArray> lines = bytes.left(end).split('\n');
    r.statusLine = lines.value(0).trimmed();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            r.headers.insert(line.left(colon), line.mid(colon + 1).trimmed());
    }
    r.body = bytes.mid(end + 4);
    return r;
}

// A moment whose seconds are a multiple of 60, so every period up to 5 s starts there.
const qint64 kT0 = 1700000040;

class DemoCamServerTest : public ::testing::Test
{
protected:
    void start(const DemoCamOptions &options)
    {
        server = std::make_unique<DemoCamServer>(options);
        server->setClock([this] { return QDateTime::fromSecsSinceEpoch(now, Qt::UTC); });
        ASSERT_TRUE(server->listen()) << server->errorString().toStdString();
    }

    Reply fetch(const QByteArray &request)
    {
        Client client(server->port(), request);
        EXPECT_TRUE(client.waitClosed()) << "the server must close after its answer";
        return parse(client.bytes());
    }

    static DemoCamOptions smallOptions()
    {
        DemoCamOptions o;
        o.size = QSize(320, 180);
        o.changeEvery = {3, 5};
        return o;
    }

    qint64 now = kT0;
    std::unique_ptr<DemoCamServer> server;
};

} // namespace

TEST_F(DemoCamServerTest, ServesAJpegOfTheAskedSizeWithItsHeadersAndCloses)
{
    start(smallOptions());
    const Reply r = fetch(get("/cam1.jpg"));
    EXPECT_EQ(r.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(r.headers.value("Content-Type"), "image/jpeg");
    EXPECT_EQ(r.headers.value("Content-Length"), QByteArray::number(r.body.size()));
    EXPECT_EQ(r.headers.value("Connection"), "close");
    EXPECT_EQ(r.headers.value("Last-Modified"), "Tue, 14 Nov 2023 22:14:00 GMT");
    EXPECT_TRUE(r.body.startsWith("\xff\xd8"));
    const QImage picture = QImage::fromData(r.body, "JPEG");
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(320, 180));

    // A HEAD request gets the same headers and no body.
    const Reply head = fetch(get("/cam1.jpg", "HEAD"));
    EXPECT_EQ(head.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(head.headers.value("Content-Length"), QByteArray::number(r.body.size()));
    EXPECT_TRUE(head.body.isEmpty());

    EXPECT_EQ(server->listeningLine(),
              QStringLiteral("tessaly-democam listening on http://127.0.0.1:%1/cam1.jpg ... "
                             "http://127.0.0.1:%1/cam4.jpg (4 cameras)")
                  .arg(server->port()));
}

TEST_F(DemoCamServerTest, LastModifiedAndBytesChangeOnlyWithThePicture)
{
    start(smallOptions()); // camera 1 every 3 s from kT0, camera 2 every 5 s from kT0 + 1

    const Reply first = fetch(get("/cam1.jpg"));
    now = kT0 + 2;
    const Reply repeat = fetch(get("/cam1.jpg"));
    EXPECT_EQ(repeat.headers.value("Last-Modified"), first.headers.value("Last-Modified"));
    EXPECT_EQ(repeat.body, first.body);
    EXPECT_EQ(server->renderCount(), 1) << "a repeat within the period must come from the cache";

    now = kT0 + 3;
    const Reply changed = fetch(get("/cam1.jpg"));
    EXPECT_EQ(changed.headers.value("Last-Modified"), DemoCamServer::httpDate(kT0 + 3));
    EXPECT_NE(changed.body, first.body);
    EXPECT_EQ(server->renderCount(), 2);

    // Camera 2 keeps its own period, shifted by a second.
    now = kT0 + 5;
    const Reply cam2 = fetch(get("/cam2.jpg"));
    EXPECT_EQ(cam2.headers.value("Last-Modified"), DemoCamServer::httpDate(kT0 + 1));
    now = kT0 + 6;
    EXPECT_EQ(fetch(get("/cam2.jpg")).headers.value("Last-Modified"),
              DemoCamServer::httpDate(kT0 + 6));

    // Periods line up the same way before the epoch (a skewed clock).
    EXPECT_EQ(server->momentFor(1, -1), -3);
    EXPECT_EQ(server->momentFor(1, -3), -3);
    EXPECT_EQ(server->momentFor(2, 0), -4);
    EXPECT_EQ(server->momentFor(3, 7), 5) << "camera 3 takes the first period again (3 s)";
}

TEST_F(DemoCamServerTest, ManyClientsAtOnceShareOneRenderedPicture)
{
    start(smallOptions());
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 12; ++i)
        clients.push_back(std::make_unique<Client>(server->port(), get("/cam3.jpg")));
    QByteArray body;
    for (auto &c : clients) {
        ASSERT_TRUE(c->waitClosed());
        const Reply r = parse(c->bytes());
        EXPECT_EQ(r.statusLine, "HTTP/1.1 200 OK");
        if (body.isEmpty())
            body = r.body;
        EXPECT_EQ(r.body, body);
    }
    EXPECT_FALSE(body.isEmpty());
    EXPECT_EQ(server->renderCount(), 1);
}

TEST_F(DemoCamServerTest, AnswersOnlyCameraPathsAndWellFormedRequests)
{
    start(smallOptions());
    for (const char *path : {"/", "/cam0.jpg", "/cam5.jpg", "/cam01.jpg", "/cam1.jpeg", "/cam1",
                             "/cam1.jpg/x", "/cam-1.jpg", "/CAM1.jpg"}) {
        const Reply r = fetch(get(path));
        EXPECT_EQ(r.statusLine, "HTTP/1.1 404 Not Found") << path;
        EXPECT_EQ(r.headers.value("Content-Length"), QByteArray::number(r.body.size())) << path;
    }
    EXPECT_EQ(fetch(get("/cam4.jpg?t=1699999999")).statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(fetch(get("http://127.0.0.1/cam2.jpg")).statusLine, "HTTP/1.1 200 OK");

    const Reply post = fetch(get("/cam1.jpg", "POST"));
    EXPECT_EQ(post.statusLine, "HTTP/1.1 405 Method Not Allowed");
    EXPECT_EQ(post.headers.value("Allow"), "GET, HEAD");
    EXPECT_EQ(fetch("hello\r\n\r\n").statusLine, "HTTP/1.1 400 Bad Request");
    // A hand-typed request with bare LF line ends is answered too.
    EXPECT_EQ(fetch("GET /cam1.jpg HTTP/1.0\n\n").statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(server->renderCount(), 3) << "cameras 4, 2 and 1, once each";
}

TEST_F(DemoCamServerTest, DropsClientsThatSendTooMuchOrTooLittle)
{
    start(smallOptions());
    server->setRequestTimeoutMs(200);

    // More than the request limit without a blank line: dropped, nothing answered.
    Client flood(server->port(), "GET /cam1.jpg HTTP/1.1\r\nX: " +
                                     QByteArray(DemoCamServer::kMaxRequestBytes + 100, 'a'));
    EXPECT_TRUE(flood.waitClosed(3000));
    EXPECT_TRUE(flood.bytes().isEmpty());

    // Connected and silent: dropped when the request time is up.
    Client silent(server->port(), QByteArray());
    EXPECT_TRUE(silent.waitClosed(3000));
    EXPECT_TRUE(silent.bytes().isEmpty());

    // Half a request head and then nothing: dropped the same way.
    Client partial(server->port(), "GET /cam1.jpg HTTP/1.1\r\nHost: x\r\n");
    EXPECT_TRUE(partial.waitClosed(3000));
    EXPECT_TRUE(partial.bytes().isEmpty());

    EXPECT_TRUE(waitUntil([this] { return server->openConnections() == 0; }, 3000));
    EXPECT_EQ(server->renderCount(), 0);
}

TEST_F(DemoCamServerTest, BrokenModesMisbehaveAsNamed)
{
    DemoCamOptions o = smallOptions();
    o.cameras = 8;
    o.brokenCamera = {{1, BrokenMode::Truncate},       {2, BrokenMode::Html},
                      {3, BrokenMode::NoLastModified}, {4, BrokenMode::HugeHeader},
                      {5, BrokenMode::Garbage},        {6, BrokenMode::LowercaseHeaders},
                      {7, BrokenMode::BadJpeg},        {8, BrokenMode::NoLength}};
    start(o);

    const Reply truncated = fetch(get("/cam1.jpg"));
    const qsizetype announced = truncated.headers.value("Content-Length").toLongLong();
    EXPECT_GT(announced, 1000);
    EXPECT_EQ(truncated.body.size(), announced / 2);

    const Reply html = fetch(get("/cam2.jpg"));
    EXPECT_TRUE(html.headers.value("Content-Type").startsWith("text/html"));
    EXPECT_TRUE(html.body.contains("<html>"));
    EXPECT_FALSE(html.headers.contains("Last-Modified"));

    const Reply noDate = fetch(get("/cam3.jpg"));
    EXPECT_EQ(noDate.headers.value("Content-Type"), "image/jpeg");
    EXPECT_FALSE(noDate.headers.contains("Last-Modified"));
    EXPECT_FALSE(QImage::fromData(noDate.body, "JPEG").isNull());

    Client huge(server->port(), get("/cam4.jpg"));
    ASSERT_TRUE(huge.waitClosed());
    EXPECT_GT(huge.bytes().indexOf("\r\n\r\n"), 32767);
    EXPECT_FALSE(QImage::fromData(parse(huge.bytes()).body, "JPEG").isNull());

    Client garbage(server->port(), get("/cam5.jpg"));
    ASSERT_TRUE(garbage.waitClosed());
    EXPECT_GT(garbage.bytes().size(), 1000);
    EXPECT_FALSE(garbage.bytes().startsWith("HTTP/"));
    EXPECT_FALSE(garbage.bytes().contains("\r\n\r\n"));

    const Reply lower = fetch(get("/cam6.jpg"));
    EXPECT_EQ(lower.headers.value("content-length"), QByteArray::number(lower.body.size()));
    EXPECT_FALSE(lower.headers.contains("Content-Length"));

    const Reply bad = fetch(get("/cam7.jpg"));
    EXPECT_EQ(bad.headers.value("Content-Type"), "image/jpeg");
    EXPECT_EQ(bad.headers.value("Content-Length"), QByteArray::number(bad.body.size()));
    EXPECT_TRUE(QImage::fromData(bad.body, "JPEG").isNull());

    const Reply noLength = fetch(get("/cam8.jpg"));
    EXPECT_FALSE(noLength.headers.contains("Content-Length"));
    EXPECT_FALSE(QImage::fromData(noLength.body, "JPEG").isNull());
}

TEST_F(DemoCamServerTest, NeverAnswerKeepsTheClientWaitingWhileOthersAreServed)
{
    DemoCamOptions o = smallOptions();
    o.brokenCamera = {{2, BrokenMode::NeverAnswer}};
    start(o);
    server->setRequestTimeoutMs(100); // must not cut a request that was read in time

    Client waiting(server->port(), get("/cam2.jpg"));
    EXPECT_EQ(fetch(get("/cam1.jpg")).statusLine, "HTTP/1.1 200 OK");
    EXPECT_FALSE(waitUntil(
        [&] { return waiting.socket().bytesAvailable() > 0 || !waiting.bytes().isEmpty(); }, 400));
    EXPECT_EQ(waiting.socket().state(), QAbstractSocket::ConnectedState);
    EXPECT_TRUE(waiting.bytes().isEmpty());
    EXPECT_EQ(server->openConnections(), 1);

    // The client giving up frees the connection.
    int finished = 0;
    QObject::connect(server.get(), &DemoCamServer::connectionFinished, [&] { ++finished; });
    waiting.socket().disconnectFromHost();
    EXPECT_TRUE(waitUntil([&] { return finished == 1; }, 3000));
    EXPECT_EQ(server->openConnections(), 0);
}

TEST_F(DemoCamServerTest, SlowModeDripsTheWholeResponse)
{
    DemoCamOptions o = smallOptions();
    o.size = QSize(64, 48);
    o.slowBytesPerSecond = 8000;
    start(o);

    QElapsedTimer clock;
    clock.start();
    Client client(server->port(), get("/cam1.jpg"));
    ASSERT_TRUE(client.waitClosed(20000));
    const Reply r = parse(client.bytes());
    EXPECT_EQ(r.headers.value("Content-Length"), QByteArray::number(r.body.size()));
    EXPECT_FALSE(QImage::fromData(r.body, "JPEG").isNull());
    // The rate is a ceiling: the whole response cannot arrive sooner than it allows.
    EXPECT_GE(clock.elapsed(), client.bytes().size() * 1000 / o.slowBytesPerSecond - 50);
    EXPECT_GT(client.arrivals(), 3);
}

TEST(DemoCamHttpDate, IsEnglishGmtWhateverTheLocale)
{
    const ScopedDefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(DemoCamServer::httpDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(DemoCamServer::httpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
}

TEST(DemoCamDaytime, TellsTheTimeInNistsFormat)
{
    const QDateTime when(QDate(2023, 5, 14), QTime(18, 7, 42), QTimeZone::utc());
    const QByteArray line = DemoCamDaytime::daytimeLine(when);
    EXPECT_TRUE(line.startsWith("\n60078 23-05-14 18:07:42 ")) << line.toStdString();
    EXPECT_TRUE(line.endsWith("UTC(NIST) * \n"));
    // The program's own reader gets the same time back.
    EXPECT_EQ(ParseDaytimeReply(line), std::optional<QDateTime>(when));
    const QDateTime newYear(QDate(2030, 1, 1), QTime(0, 0, 0), QTimeZone::utc());
    EXPECT_TRUE(DemoCamDaytime::daytimeLine(newYear).startsWith("\n62502 30-01-01 00:00:00 "));
}
