#include <gtest/gtest.h>

#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>

#include "WaitUntil.h"

// The program as scripts use it: first line names the port, SIGTERM ends it with 0.

namespace {

QString program()
{
    return QStringLiteral(TESSALY_DEMOCAM_PATH);
}

} // namespace

TEST(DemoCamProcess, PrintsItsPortServesAndStopsOnSigterm)
{
    QProcess democam;
    democam.start(program(),
                  {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--cameras"),
                   QStringLiteral("2"), QStringLiteral("--size"), QStringLiteral("160x120")});
    ASSERT_TRUE(democam.waitForStarted(5000)) << democam.errorString().toStdString();
    ASSERT_TRUE(waitUntil([&] { return democam.canReadLine(); }, 15000));
    const QString line = QString::fromLocal8Bit(democam.readLine()).trimmed();
    const QRegularExpression pattern(QStringLiteral(
        R"(^tessaly-democam listening on http://127\.0\.0\.1:(\d+)/cam1\.jpg \.\.\. )"
        R"(http://127\.0\.0\.1:\1/cam2\.jpg \(2 cameras\)$)"));
    const auto match = pattern.match(line);
    ASSERT_TRUE(match.hasMatch()) << line.toStdString();
    const quint16 port = match.captured(1).toUShort();
    ASSERT_GT(port, 0);

    QTcpSocket socket;
    QByteArray reply;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { reply += socket.readAll(); });
    QObject::connect(&socket, &QTcpSocket::connected, [&] {
        socket.write("GET /cam2.jpg HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    });
    socket.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(
        waitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 15000));
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(reply.contains("\r\nContent-Type: image/jpeg\r\n"));

    democam.terminate(); // SIGTERM
    ASSERT_TRUE(democam.waitForFinished(10000));
    EXPECT_EQ(democam.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(democam.exitCode(), 0);
}

TEST(DemoCamProcess, BadOptionExitsWithTwoBeforeServing)
{
    QProcess democam;
    democam.start(program(), {QStringLiteral("--cameras"), QStringLiteral("99")});
    ASSERT_TRUE(democam.waitForFinished(10000));
    EXPECT_EQ(democam.exitCode(), 2);
    EXPECT_TRUE(democam.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(democam.readAllStandardError().contains("--cameras"));
}
