#pragma once

#include <QByteArray>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// A camera on 127.0.0.1 (ephemeral port) that misbehaves in one chosen way on
// every request, or behaves well (Good) and sends a new picture with a new
// Last-Modified line each time. Kinds that damage a picture answer their first
// request with a good one, so a panel has a picture it should keep.
class HostileServer : public QObject
{
    Q_OBJECT
public:
    enum class Kind {
        Good,
        NeverAnswers,    // accepts, reads the request, never says a word
        HeaderThenStall, // a complete header, then silence
        EndlessBody,     // a header and then body bytes for as long as anyone reads
        HugeHeader,      // a valid picture behind 1 MiB of header lines
        RandomBytes,     // 4 KiB of noise instead of HTTP
        ResetMidBody,    // half the picture, then a TCP reset
        LengthLarger,    // Content-Length announces far more than the body
        LengthSmaller,   // Content-Length announces less than the body
        EmptyJpeg,       // 200 image/jpeg with no body at all
        HtmlError,       // an HTML error page
        TruncatedJpeg,   // the first half of a JPEG
        JpegBomb,        // a JPEG whose header claims 65535 x 65535 pixels
        OneByteAtATime,  // a good picture, one byte per event-loop turn
        // Not among the KindCount kinds every hostile run serves:
        EndlessStream, // an MJPEG stream (multipart/x-mixed-replace) that never ends
    };
    static constexpr int KindCount = int(Kind::OneByteAtATime) + 1;
    static const char *name(Kind kind);

    // An endless body stops after this much per connection, so a test can
    // never run away even when the client under test keeps reading.
    static constexpr qint64 EndlessLimit = 96LL * 1024 * 1024;

    explicit HostileServer(Kind kind, QObject *parent = nullptr);
    ~HostileServer() override;

    Kind kind() const { return m_kind; }
    quint16 port() const { return m_server.serverPort(); }
    // "http://127.0.0.1:<port>/snap.jpg"
    QString url() const;
    int requestCount() const { return m_requests; }
    qint64 bytesSent() const { return m_bytesSent; }

    // A small JPEG of a colour picked by seed, so consecutive seeds differ.
    static QByteArray jpeg(int seed, const QSize &size = QSize(48, 32));
    // A complete JPEG (end marker and all) whose frame header claims width x height.
    static QByteArray bomb(quint16 width, quint16 height);
    // "HTTP/1.1 200 OK" with Content-Type, Content-Length and Last-Modified.
    static QByteArray okResponse(const QByteArray &body, int seed);

private:
    void onNewConnection();
    void answer(QTcpSocket *socket);
    void send(QTcpSocket *socket, const QByteArray &bytes);
    void sendEndless(QTcpSocket *socket, qint64 *sent);
    void sendFrames(QTcpSocket *socket, qint64 *sent, int seed);
    void dripBytes(QTcpSocket *socket, const QByteArray &bytes);

    Kind m_kind;
    QTcpServer m_server;
    int m_requests = 0;
    qint64 m_bytesSent = 0;
};
