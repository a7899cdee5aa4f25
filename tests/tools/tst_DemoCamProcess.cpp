#include <gtest/gtest.h>

#include <cstdlib>

#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>

#include "NetworkTime.h"
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
                   QStringLiteral("2"), QStringLiteral("--size"), QStringLiteral("160x120"),
                   QStringLiteral("--daytime-port"), QStringLiteral("0")});
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

    // The second line names the daytime port; its answer is this machine's clock.
    ASSERT_TRUE(waitUntil([&] { return democam.canReadLine(); }, 15000));
    const QString daytimeLine = QString::fromLocal8Bit(democam.readLine()).trimmed();
    const auto daytimeMatch =
        QRegularExpression(QStringLiteral(R"(^tessaly-democam daytime on 127\.0\.0\.1:(\d+)$)"))
            .match(daytimeLine);
    ASSERT_TRUE(daytimeMatch.hasMatch()) << daytimeLine.toStdString();
    QTcpSocket daytime;
    QByteArray told;
    QObject::connect(&daytime, &QTcpSocket::readyRead, [&] { told += daytime.readAll(); });
    daytime.connectToHost(QHostAddress::LocalHost, daytimeMatch.captured(1).toUShort());
    ASSERT_TRUE(
        waitUntil([&] { return daytime.state() == QAbstractSocket::UnconnectedState; }, 15000));
    const std::optional<QDateTime> when = ParseDaytimeReply(told);
    ASSERT_TRUE(when) << told.toStdString();
    EXPECT_LE(std::abs(when->secsTo(QDateTime::currentDateTimeUtc())), 5);

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
