#include <gtest/gtest.h>

#include "HttpSnapshot.h"
#include "PanelStatus.h"

using namespace HttpSnapshot;

TEST(HttpSnapshot, RequestBytesEscapeBlanksAndStoreThePathBack)
{
    QString path = QStringLiteral("/my cam/a b.jpg");
    const QByteArray request = requestBytes(QStringLiteral("h:8080"), path);
    EXPECT_EQ(request, QByteArray("GET /my%20cam/a%20b.jpg HTTP/1.1\r\n"
                                  "Host: h:8080\r\n"
                                  "Connection: close\r\n"
                                  "Accept: */*\r\n"
                                  "\r\n"));
    EXPECT_EQ(path, QStringLiteral("/my%20cam/a%20b.jpg"));

    QString plain = QStringLiteral("/snap.jpg?size=2");
    EXPECT_EQ(requestBytes(QStringLiteral("h"), plain),
              QByteArray("GET /snap.jpg?size=2 HTTP/1.1\r\nHost: h\r\nConnection: close\r\n"
                         "Accept: */*\r\n\r\n"));
}

TEST(HttpSnapshot, DisplayNameAndTexts)
{
    EXPECT_EQ(displayFileName(QStringLiteral("/cams/yard/snap.jpg")), QStringLiteral("snap.jpg"));
    EXPECT_EQ(displayFileName(QStringLiteral("/cgi/get?f=/x")), QStringLiteral("x"));
    EXPECT_EQ(displayFileName(QStringLiteral("/cams/")), QString());
    EXPECT_EQ(downloadingText(QString(), 50), QStringLiteral("Downloading  [50]"))
        << "an empty name leaves two blanks";

    EXPECT_EQ(singleText(75), QStringLiteral("75"));
    EXPECT_EQ(singleText(37.5f), QStringLiteral("37.5"));
    EXPECT_EQ(singleText(100), QStringLiteral("100"));
    EXPECT_EQ(singleText(0), QStringLiteral("0"));
    EXPECT_EQ(singleText(progressPercent(1, 3)), QStringLiteral("33.33333"));
    EXPECT_EQ(singleText(progressPercent(2, 3)), QStringLiteral("66.66666"));
    EXPECT_EQ(singleText(0.1f), QStringLiteral("0.1"));
    EXPECT_EQ(singleText(progressPercent(1, 67108864)), QStringLiteral("1.490116E-06"));

    EXPECT_EQ(numberText(29), QStringLiteral("29"));
    EXPECT_EQ(numberText(2.5 - 1), QStringLiteral("1.5"));
    EXPECT_EQ(numberText(-3), QStringLiteral("-3"));
    EXPECT_EQ(numberText(2147483647.0 - 1), QStringLiteral("2147483646"));
}

TEST(HttpSnapshot, HeaderEndCountsOnlyUpToPosition32767)
{
    EXPECT_EQ(headerEndPosition("HTTP/1.1 200 OK\r\n\r\nbody"), 16);
    EXPECT_EQ(headerEndPosition("HTTP/1.1 200 OK\r\n"), 0);
    EXPECT_EQ(headerEndPosition(QByteArray()), 0);

    const auto withEndAt = [](qint32 position) {
        return QByteArray(position - 1, 'x') + "\r\n\r\n" + QByteArray(100, 'b');
    };
    EXPECT_EQ(headerEndPosition(withEndAt(32767)), 32767);
    EXPECT_EQ(headerEndPosition(withEndAt(32768)), 0);
    EXPECT_EQ(headerEndPosition(withEndAt(40000)), 0);
}

TEST(HttpSnapshot, ContentLengthWalkStopsAtTheFirstMatchingLine)
{
    EXPECT_EQ(contentLength("HTTP/1.1 200 OK\r\nContent-Length: 20000\r\nX: 1", 0), 20000);
    EXPECT_EQ(contentLength("HTTP/1.1 200 OK\r\nContent-Length:   512  ", 0), 512);
    // Case-sensitive: a lower-case line is no length line.
    EXPECT_EQ(contentLength("HTTP/1.1 200 OK\r\ncontent-length: 20000", 0), 0);
    // The first line with the word ends the walk, readable or not.
    EXPECT_EQ(contentLength("HTTP/1.1 200 OK\r\nContent-Length:20000\r\nContent-Length: 5", 0), 0);
    EXPECT_EQ(contentLength("HTTP/1.1 200 OK\r\nContent-Length: many\r\nContent-Length: 5", 7), 7);
    EXPECT_EQ(contentLength("HTTP/1.1 200 OK\r\nContent-Length: 99999999999", 0), 0);
    EXPECT_EQ(contentLength("HTTP/1.1 200 OK\r\nContent-Length: 12 34", 0), 0);
    EXPECT_EQ(contentLength("HTTP/1.1 200 OK\r\nContent-Length: -5", 0), -5);
    EXPECT_EQ(contentLength("HTTP/1.1 200 OK\r\nContent-Length: +-5", 3), 3);
    EXPECT_EQ(contentLength("HTTP/1.1 200 OK\r\nX-Content-Length-Hint: 42\r\nContent-Length: 7", 0),
              42);
    EXPECT_EQ(contentLength("", 0), 0);
}

TEST(HttpSnapshot, ReceivingCountsBodyBytesAndShowsProgressFromTheNextEvent)
{
    SnapshotFetch panel;
    panel.path = QStringLiteral("/cams/snap.jpg");
    panel.progress = 12;
    const QByteArray header = "HTTP/1.1 200 OK\r\nContent-Length: 20000\r\n\r\n";

    // Header and the first bytes of the body in one event: length read, no progress.
    Arrival a = receive(panel, header.left(10));
    EXPECT_FALSE(a.headerFound);
    EXPECT_FALSE(panel.headerDone);
    a = receive(panel, header.mid(10));
    EXPECT_TRUE(a.headerFound);
    EXPECT_FALSE(a.progressShown);
    EXPECT_TRUE(panel.headerDone);
    EXPECT_EQ(panel.contentLength, 20000);
    EXPECT_EQ(panel.bytesReceived, 0);
    EXPECT_EQ(panel.progress, 12) << "the bar is not reset between fetches";

    QList<float> shown;
    for (int i = 0; i < 3; ++i) {
        a = receive(panel, QByteArray(5000, 'b'));
        ASSERT_TRUE(a.progressShown);
        shown.append(panel.progress);
    }
    EXPECT_EQ(shown, (QList<float>{25, 50, 75}));
    EXPECT_EQ(a.statusText, QStringLiteral("Downloading snap.jpg [75]"));
    EXPECT_EQ(panel.buffer, header + QByteArray(15000, 'b'));

    // More than announced: the bar refuses it and the text repeats its last value.
    receive(panel, QByteArray(5000, 'b'));
    EXPECT_EQ(panel.progress, 100);
    a = receive(panel, QByteArray(1000, 'b'));
    EXPECT_EQ(panel.progress, 100);
    EXPECT_EQ(a.statusText, QStringLiteral("Downloading snap.jpg [100]"));
    EXPECT_EQ(panel.bytesReceived, 21000);
}

TEST(HttpSnapshot, NoUsableLengthOrAHeaderPast32767ShowsNoProgress)
{
    SnapshotFetch lower;
    receive(lower, "HTTP/1.1 200 OK\r\ncontent-length: 10\r\n\r\n");
    EXPECT_TRUE(lower.headerDone);
    EXPECT_FALSE(receive(lower, "0123456789").progressShown);

    SnapshotFetch longHeader;
    const QByteArray big =
        "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nX-Pad: " + QByteArray(33000, 'p') + "\r\n\r\n";
    receive(longHeader, big);
    EXPECT_FALSE(longHeader.headerDone);
    const Arrival later = receive(longHeader, "0123456789");
    EXPECT_FALSE(later.progressShown);
    EXPECT_FALSE(longHeader.headerDone);
    EXPECT_EQ(longHeader.bytesReceived, big.size() + 10);
}

TEST(HttpSnapshot, AResponseBeyondTheCapIsRefusedWithoutGrowingTheBuffer)
{
    SnapshotFetch panel;
    receive(panel, "HTTP/1.1 200 OK\r\n\r\n");
    const QByteArray block(MaxResponseBytes / 4, 'b');
    for (int i = 0; i < 3; ++i)
        ASSERT_FALSE(receive(panel, block).overCap);
    const qsizetype before = panel.buffer.size();
    EXPECT_TRUE(receive(panel, block).overCap);
    EXPECT_EQ(panel.buffer.size(), before);
}

TEST(HttpSnapshot, TheAnnouncedLengthReservesTheBufferOnlyUpToItsLimit)
{
    const QByteArray header = "HTTP/1.1 200 OK\r\nContent-Length: 300000\r\n\r\n";
    SnapshotFetch panel;
    HttpSnapshot::receive(panel, header + QByteArray(1000, 'x'));
    EXPECT_GE(panel.buffer.capacity(), header.size() + 300000);
    // The body still arrives byte for byte, whatever the room.
    HttpSnapshot::receive(panel, QByteArray(299000, 'y'));
    EXPECT_EQ(panel.buffer.size(), header.size() + 300000);
    EXPECT_EQ(panel.bytesReceived, 300000);

    // A server announcing two gigabytes gets no more room than the limit.
    SnapshotFetch inflated;
    HttpSnapshot::receive(inflated, "HTTP/1.1 200 OK\r\nContent-Length: 2000000000\r\n\r\n");
    EXPECT_EQ(inflated.contentLength, 2000000000);
    EXPECT_LE(inflated.buffer.capacity(), qsizetype(HttpSnapshot::ReserveLimit) + 64);
}
