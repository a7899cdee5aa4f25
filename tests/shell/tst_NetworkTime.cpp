#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include "NetworkTime.h"

namespace {

// Runs the event loop until done() holds or time runs out.
template <typename Done>
bool waitUntil(Done done, int timeoutMs = 5000)
{
    return QTest::qWaitFor(done, timeoutMs);
}

const QByteArray kExample = "\n60078 23-05-14 18:07:42 50 0 0 123.4 UTC(NIST) * \n";

// A daytime server on 127.0.0.1: it speaks first, in the pieces it is given,
// one timer shot apart, then closes (or keeps quiet, or stays open).
class DaytimeServer : public QObject
{
public:
    struct Script
    {
        QList<QByteArray> pieces;
        bool closeAfter = true;
        bool silent = false;
    };

    DaytimeServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    }

    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    void setScripts(QList<Script> scripts) { m_scripts = std::move(scripts); }
    int connections() const { return static_cast<int>(m_sockets.size()); }
    bool connectionEnded(int index) const { return m_closed.value(index, false); }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            const int index = static_cast<int>(m_sockets.size());
            m_sockets.append(socket);
            m_closed.append(false);
            socket->setParent(this);
            QObject::connect(socket, &QTcpSocket::disconnected, this,
                             [this, index] { m_closed[index] = true; });
            const Script script =
                m_scripts.value(index, m_scripts.isEmpty() ? Script{} : m_scripts.last());
            if (!script.silent)
                send(socket, script, 0);
        }
    }

    void send(QTcpSocket *socket, const Script &script, int piece)
    {
        if (piece >= script.pieces.size()) {
            if (script.closeAfter)
                socket->disconnectFromHost();
            return;
        }
        socket->write(script.pieces.at(piece));
        socket->flush();
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(30, this, [this, guard, script, piece] {
            if (guard)
                send(guard, script, piece + 1);
        });
    }

    QTcpServer m_server;
    QList<Script> m_scripts;
    QList<QTcpSocket *> m_sockets;
    QList<bool> m_closed;
};

class NetworkTimeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("TESSALY_TIME_SERVER", server.address().toLatin1());
        // Every request goes to the server unless a test says otherwise.
        time.setRequestSpacing(0, 0);
        QObject::connect(&time, &NetworkTime::timeTextChanged, &time,
                         [this](const QString &text) { texts.append(text); });
    }
    void TearDown() override { qunsetenv("TESSALY_TIME_SERVER"); }

    // Asks once and waits until the server's connection has ended.
    void askAndSettle()
    {
        const int before = server.connections();
        time.GetNetworkTime();
        ASSERT_TRUE(waitUntil([&] { return server.connections() > before; }));
        ASSERT_TRUE(waitUntil([&] { return server.connectionEnded(before); }));
        ASSERT_TRUE(waitUntil([&] { return clientIdle(); }));
    }

    bool clientIdle() const { return time.socket()->state() == QAbstractSocket::UnconnectedState; }

    DaytimeServer server;
    NetworkTime time;
    QStringList texts;
};

} // namespace

TEST(DaytimeReply, ReadsDateAndTimeInUtc)
{
    const auto when = ParseDaytimeReply(kExample);
    ASSERT_TRUE(when.has_value());
    EXPECT_EQ(*when, QDateTime(QDate(2023, 5, 14), QTime(18, 7, 42), Qt::UTC));
    EXPECT_EQ(when->timeSpec(), Qt::UTC);
    EXPECT_EQ(NetworkTimeText(*when), QStringLiteral("5/14/2023 6:07:42 PM GMT"));

    // The two-digit year window and the text forms around noon and midnight.
    EXPECT_EQ(ParseDaytimeReply("1 29-12-31 23:59:59 0")->date(), QDate(2029, 12, 31));
    EXPECT_EQ(ParseDaytimeReply("1 30-01-01 00:00:01 0")->date(), QDate(1930, 1, 1));
    EXPECT_EQ(ParseDaytimeReply("1 00-02-29 12:00:00 0")->date(), QDate(2000, 2, 29));
    EXPECT_EQ(NetworkTimeText(*ParseDaytimeReply("1 23-05-14 00:00:00")),
              QStringLiteral("5/14/2023 GMT"));
    EXPECT_EQ(NetworkTimeText(*ParseDaytimeReply("1 23-11-02 12:00:05")),
              QStringLiteral("11/2/2023 12:00:05 PM GMT"));
    EXPECT_EQ(NetworkTimeText(*ParseDaytimeReply("1 23-11-02 00:30:00")),
              QStringLiteral("11/2/2023 12:30:00 AM GMT"));
    // A server that ends its line with CR LF.
    EXPECT_TRUE(ParseDaytimeReply("60078 23-05-14 18:07:42\r\n").has_value());
}

TEST(DaytimeReply, RefusesWhatIsNotADaytimeLine)
{
    for (const QByteArray &bad :
         {QByteArray(), QByteArray("\n"), QByteArray("hello world\n"),
          QByteArray("60078 23-05-14\n"),              // no time
          QByteArray("60078  23-05-14 18:07:42 50\n"), // two blanks shift the fields
          QByteArray("60078 23-13-14 18:07:42\n"),     // month 13
          QByteArray("60078 23-02-30 18:07:42\n"),     // 30 February
          QByteArray("60078 23-05-14 24:00:00\n"), QByteArray("60078 23-05-14 18:7:42\n"),
          QByteArray("60078 2023-05-14 18:07:42\n"), QByteArray("60078 +3-05-14 18:07:42\n"),
          QByteArray("60078 23-05-14 18:07:42x\n"), QByteArray(2000, '1')}) {
        SCOPED_TRACE(bad.left(40).toStdString());
        EXPECT_FALSE(ParseDaytimeReply(bad).has_value());
    }
}

TEST(DaytimeReply, LineIsCompleteAfterLeadingLineFeeds)
{
    EXPECT_FALSE(DaytimeLineComplete(""));
    EXPECT_FALSE(DaytimeLineComplete("\n\n"));
    EXPECT_FALSE(DaytimeLineComplete("\n60078 23-05"));
    EXPECT_TRUE(DaytimeLineComplete("\n60078 23-05-14 18:07:42\n"));
}

TEST(DaytimeReply, ServerFromTheEnvironment)
{
    const auto byDefault = NetworkTime::parseServer(QString());
    EXPECT_EQ(byDefault.host, QStringLiteral("time.nist.gov"));
    EXPECT_EQ(byDefault.port, 13);
    const auto both = NetworkTime::parseServer(QStringLiteral("127.0.0.1:1313"));
    EXPECT_EQ(both.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(both.port, 1313);
    const auto hostOnly = NetworkTime::parseServer(QStringLiteral("time.example.org"));
    EXPECT_EQ(hostOnly.host, QStringLiteral("time.example.org"));
    EXPECT_EQ(hostOnly.port, 13);
    const auto v6 = NetworkTime::parseServer(QStringLiteral("[::1]:1300"));
    EXPECT_EQ(v6.host, QStringLiteral("::1"));
    EXPECT_EQ(v6.port, 1300);
    EXPECT_EQ(NetworkTime::parseServer(QStringLiteral("host:99999")).port, 13);
}

TEST_F(NetworkTimeTest, ExampleReplyWithLeadingLineFeed)
{
    server.setScripts({{{kExample}}});
    time.GetNetworkTime();
    ASSERT_TRUE(waitUntil([&] { return !texts.isEmpty(); }));
    EXPECT_EQ(texts, QStringList{QStringLiteral("5/14/2023 6:07:42 PM GMT")});
    EXPECT_EQ(time.timeText(), QStringLiteral("5/14/2023 6:07:42 PM GMT"));
}

TEST_F(NetworkTimeTest, MidnightShowsTheDateAlone)
{
    server.setScripts({{{"\n60078 23-05-14 00:00:00 50 0 0 123.4 UTC(NIST) * \n"}}});
    time.GetNetworkTime();
    ASSERT_TRUE(waitUntil([&] { return !texts.isEmpty(); }));
    EXPECT_EQ(time.timeText(), QStringLiteral("5/14/2023 GMT"));
}

TEST_F(NetworkTimeTest, SplitReplyIsCollectedUntilTheLineEnds)
{
    // The server keeps the connection open: the line end alone finishes it.
    DaytimeServer::Script open{
        {"\n", "60078 23-05", "-14 18:07:42 50 0 0 ", "123.4 UTC(NIST) * \n"}};
    open.closeAfter = false;
    // No line end at all: the server's close finishes it.
    DaytimeServer::Script closing{{"60078 23-06-01 ", "09:30:00 50"}};
    server.setScripts({open, closing});

    askAndSettle();
    EXPECT_EQ(texts, QStringList{QStringLiteral("5/14/2023 6:07:42 PM GMT")});
    EXPECT_TRUE(server.connectionEnded(0)) << "the client hangs up once it has the line";

    askAndSettle();
    EXPECT_EQ(texts.value(1), QStringLiteral("6/1/2023 9:30:00 AM GMT"));
}

TEST_F(NetworkTimeTest, GarbageLeavesTheTextAsItWas)
{
    DaytimeServer::Script endless{{QByteArray(700, 'x'), QByteArray(700, 'y')}};
    endless.closeAfter = false;
    server.setScripts({{{kExample}},
                       {{"hello world\n"}},
                       {{"60078 23-13-45 18:07:42 50\n"}},
                       {{"\n\n\n"}},
                       {{}},
                       endless});
    askAndSettle();
    ASSERT_EQ(time.timeText(), QStringLiteral("5/14/2023 6:07:42 PM GMT"));
    for (int request = 1; request <= 5; ++request) {
        SCOPED_TRACE(request);
        askAndSettle();
        EXPECT_EQ(time.timeText(), QStringLiteral("5/14/2023 6:07:42 PM GMT"));
    }
    EXPECT_EQ(texts.size(), 1);
    EXPECT_TRUE(server.connectionEnded(5)) << "a reply longer than a line is dropped";
}

TEST_F(NetworkTimeTest, RefusedConnectionIsSilent)
{
    QTcpServer closedPort;
    ASSERT_TRUE(closedPort.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closedPort.serverPort();
    closedPort.close();
    qputenv("TESSALY_TIME_SERVER", QByteArray("127.0.0.1:") + QByteArray::number(port));
    time.GetNetworkTime();
    ASSERT_TRUE(
        waitUntil([&] { return time.socket()->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(time.timeText().isEmpty());

    // The next request works as if nothing had happened.
    qputenv("TESSALY_TIME_SERVER", server.address().toLatin1());
    server.setScripts({{{kExample}}});
    time.GetNetworkTime();
    EXPECT_TRUE(waitUntil([&] { return !texts.isEmpty(); }));
}

TEST_F(NetworkTimeTest, SecondRequestDropsTheFirstOnOneSocket)
{
    DaytimeServer::Script quiet;
    quiet.silent = true;
    server.setScripts({quiet, {{kExample}}});
    QTcpSocket *const socket = time.socket();

    time.GetNetworkTime();
    ASSERT_TRUE(waitUntil([&] { return server.connections() == 1; }));
    time.GetNetworkTime();
    ASSERT_TRUE(waitUntil([&] { return !texts.isEmpty(); }));

    EXPECT_EQ(server.connections(), 2);
    EXPECT_TRUE(waitUntil([&] { return server.connectionEnded(0); }))
        << "the first connection is closed by the second request";
    EXPECT_EQ(time.socket(), socket);
    EXPECT_EQ(time.findChildren<QTcpSocket *>().size(), 1);
    EXPECT_EQ(texts.size(), 1);

    // Two requests back to back: one answer, and only the second connection lives on.
    server.setScripts({quiet, {{kExample}}, {{"\n60078 23-05-15 01:02:03 50\n"}}});
    time.GetNetworkTime();
    time.GetNetworkTime();
    ASSERT_TRUE(waitUntil([&] { return texts.size() == 2; }));
    EXPECT_EQ(texts.last(), QStringLiteral("5/15/2023 1:02:03 AM GMT"));
    ASSERT_TRUE(waitUntil([&] { return clientIdle(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(texts.size(), 2);
}

TEST_F(NetworkTimeTest, AsksTheServerSparinglyAndCountsOnBetweenReplies)
{
    qint64 now = 0;
    time.setClock([&now] { return now; });
    time.setRequestSpacing(NetworkTime::MinimumRequestSpacingMs, NetworkTime::ResyncAfterMs);
    DaytimeServer::Script quiet;
    quiet.silent = true;
    server.setScripts({quiet, {{kExample}}, {{"\n60078 23-05-14 18:09:00 50\n"}}});

    // A server that does not answer is asked again only after four seconds,
    // however often the ticks ask.
    time.GetNetworkTime();
    ASSERT_TRUE(waitUntil([&] { return server.connections() == 1; }));
    for (int second = 1; second <= 3; ++second) {
        now += 1000;
        time.GetNetworkTime();
    }
    QTest::qWait(100);
    EXPECT_EQ(server.connections(), 1);
    EXPECT_TRUE(time.timeText().isEmpty());
    now += 1000;
    time.GetNetworkTime();
    ASSERT_TRUE(waitUntil([&] { return !texts.isEmpty(); }));
    EXPECT_EQ(server.connections(), 2);
    EXPECT_EQ(time.timeText(), QStringLiteral("5/14/2023 6:07:42 PM GMT"));

    // After a reply the label moves on each second without a connection.
    const qint64 replied = now;
    for (int second = 1; second <= 3; ++second) {
        now += 1000;
        time.GetNetworkTime();
    }
    now += 500;
    time.GetNetworkTime();
    EXPECT_EQ(time.timeText(), QStringLiteral("5/14/2023 6:07:45 PM GMT"));
    QTest::qWait(100);
    EXPECT_EQ(server.connections(), 2);

    // A minute after the reply the server is asked again, and its answer counts.
    now = replied + NetworkTime::ResyncAfterMs;
    askAndSettle();
    EXPECT_EQ(server.connections(), 3);
    EXPECT_EQ(time.timeText(), QStringLiteral("5/14/2023 6:09:00 PM GMT"));
    time.setClock({});
}
