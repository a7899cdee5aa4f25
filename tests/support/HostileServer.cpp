#include "HostileServer.h"

#include <sys/socket.h>

#include <memory>

#include <QColor>
#include <QDateTime>
#include <QHostAddress>
#include <QImage>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include "TestPictures.h"

namespace {
QByteArray headerOf(const QByteArray &contentType, qint64 contentLength, int seed)
{
    QByteArray h = "HTTP/1.1 200 OK\r\n";
    h += "Content-Type: " + contentType + "\r\n";
    if (contentLength >= 0)
        h += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
    const QDateTime stamp = QDateTime::fromSecsSinceEpoch(1'700'000'000 + seed, Qt::UTC);
    h += "Last-Modified: " + stamp.toString(Qt::RFC2822Date).toLatin1() + "\r\n";
    h += "Connection: close\r\n\r\n";
    return h;
}
} // namespace

const char *HostileServer::name(Kind kind)
{
    switch (kind) {
    case Kind::Good:
        return "good";
    case Kind::NeverAnswers:
        return "never answers";
    case Kind::HeaderThenStall:
        return "header then stall";
    case Kind::EndlessBody:
        return "endless body";
    case Kind::HugeHeader:
        return "1 MiB header";
    case Kind::RandomBytes:
        return "random bytes";
    case Kind::ResetMidBody:
        return "reset mid-body";
    case Kind::LengthLarger:
        return "Content-Length larger";
    case Kind::LengthSmaller:
        return "Content-Length smaller";
    case Kind::EmptyJpeg:
        return "empty image/jpeg";
    case Kind::HtmlError:
        return "HTML error page";
    case Kind::TruncatedJpeg:
        return "truncated JPEG";
    case Kind::JpegBomb:
        return "JPEG bomb";
    case Kind::OneByteAtATime:
        return "one byte at a time";
    case Kind::EndlessStream:
        return "endless MJPEG stream";
    }
    return "?";
}

HostileServer::HostileServer(Kind kind, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &HostileServer::onNewConnection);
}

HostileServer::~HostileServer() = default;

QString HostileServer::url() const
{
    return QStringLiteral("http://127.0.0.1:%1/snap.jpg").arg(port());
}

QByteArray HostileServer::jpeg(int seed, const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((seed * 37) % 360, 200, 100 + (seed * 13) % 150));
    return TestPictures::encode(image, "jpeg");
}

QByteArray HostileServer::bomb(quint16 width, quint16 height)
{
    QByteArray bytes = jpeg(0, QSize(16, 16));
    // The first start-of-frame marker: FF C0..C2, length, precision, height, width.
    for (qsizetype i = 0; i + 8 < bytes.size(); ++i) {
        const auto marker = uchar(bytes.at(i + 1));
        if (uchar(bytes.at(i)) == 0xFF && marker >= 0xC0 && marker <= 0xC2) {
            bytes[i + 5] = char(height >> 8);
            bytes[i + 6] = char(height & 0xFF);
            bytes[i + 7] = char(width >> 8);
            bytes[i + 8] = char(width & 0xFF);
            break;
        }
    }
    return bytes;
}

QByteArray HostileServer::okResponse(const QByteArray &body, int seed)
{
    return headerOf("image/jpeg", body.size(), seed) + body;
}

void HostileServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto request = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, request] {
            const bool answered = request->contains("\r\n\r\n");
            // Whatever comes later is read and dropped; a request is bounded.
            const QByteArray bytes = socket->readAll();
            if (answered || request->size() > 64 * 1024)
                return;
            request->append(bytes);
            if (request->contains("\r\n\r\n")) {
                ++m_requests;
                answer(socket);
            }
        });
    }
}

void HostileServer::send(QTcpSocket *socket, const QByteArray &bytes)
{
    const qint64 written = socket->write(bytes);
    if (written > 0)
        m_bytesSent += written;
}

void HostileServer::answer(QTcpSocket *socket)
{
    const int seed = m_requests;
    const bool firstIsGood = m_requests == 1;
    const QByteArray good = jpeg(seed);
    switch (m_kind) {
    case Kind::Good:
        send(socket, okResponse(good, seed));
        socket->disconnectFromHost();
        return;
    case Kind::NeverAnswers:
        return;
    case Kind::HeaderThenStall:
        send(socket, headerOf("image/jpeg", good.size(), seed));
        return;
    case Kind::EndlessBody: {
        send(socket, headerOf("image/jpeg", -1, seed));
        auto sent = std::make_shared<qint64>(0);
        connect(socket, &QTcpSocket::bytesWritten, socket,
                [this, socket, sent] { sendEndless(socket, sent.get()); });
        sendEndless(socket, sent.get());
        return;
    }
    case Kind::EndlessStream: {
        send(socket, "HTTP/1.1 200 OK\r\n"
                     "Content-Type: multipart/x-mixed-replace; boundary=frame\r\n"
                     "Cache-Control: no-cache\r\n\r\n");
        auto sent = std::make_shared<qint64>(0);
        connect(socket, &QTcpSocket::bytesWritten, socket,
                [this, socket, sent, seed] { sendFrames(socket, sent.get(), seed); });
        sendFrames(socket, sent.get(), seed);
        return;
    }
    case Kind::HugeHeader: {
        // The usual header with 1 MiB of filler lines in front of its blank line.
        QByteArray header = headerOf("image/jpeg", good.size(), seed);
        header.chop(2);
        const QByteArray filler = "X-Filler: " + QByteArray(100, 'x') + "\r\n";
        while (header.size() < 1024 * 1024)
            header += filler;
        send(socket, header + "\r\n" + good);
        socket->disconnectFromHost();
        return;
    }
    case Kind::RandomBytes: {
        QByteArray noise(4096, '\0');
        QRandomGenerator rng{quint32(seed)};
        for (char &c : noise)
            c = char(rng.bounded(256));
        send(socket, noise);
        socket->disconnectFromHost();
        return;
    }
    case Kind::ResetMidBody:
        if (firstIsGood)
            break;
        send(socket, headerOf("image/jpeg", good.size(), seed) + good.left(good.size() / 2));
        socket->flush();
        // Lingering off: closing now sends a reset instead of an orderly end.
        if (socket->socketDescriptor() >= 0) {
            const linger hard{1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                         sizeof hard);
        }
        socket->abort();
        return;
    case Kind::LengthLarger:
        send(socket, headerOf("image/jpeg", good.size() * 50, seed) + good);
        socket->disconnectFromHost();
        return;
    case Kind::LengthSmaller:
        send(socket, headerOf("image/jpeg", good.size() / 3, seed) + good);
        socket->disconnectFromHost();
        return;
    case Kind::EmptyJpeg:
        if (firstIsGood)
            break;
        send(socket, headerOf("image/jpeg", 0, seed));
        socket->disconnectFromHost();
        return;
    case Kind::HtmlError: {
        const QByteArray page = "<html><body><h1>500 Internal Server Error</h1></body></html>";
        send(socket, "HTTP/1.1 500 Internal Server Error\r\nContent-Type: text/html\r\n"
                     "Content-Length: " +
                         QByteArray::number(page.size()) + "\r\n\r\n" + page);
        socket->disconnectFromHost();
        return;
    }
    case Kind::TruncatedJpeg:
        if (firstIsGood)
            break;
        send(socket, headerOf("image/jpeg", good.size(), seed) + good.left(good.size() / 2));
        socket->disconnectFromHost();
        return;
    case Kind::JpegBomb:
        if (firstIsGood)
            break;
        send(socket, okResponse(bomb(65535, 65535), seed));
        socket->disconnectFromHost();
        return;
    case Kind::OneByteAtATime:
        dripBytes(socket, okResponse(good, seed));
        return;
    }
    // The first answer of a kind that damages pictures.
    send(socket, okResponse(good, seed));
    socket->disconnectFromHost();
}

void HostileServer::sendEndless(QTcpSocket *socket, qint64 *sent)
{
    // Keep a little in flight; the reader's pace sets ours.
    static const QByteArray chunk(64 * 1024, '\x5A');
    while (socket->state() == QAbstractSocket::ConnectedState &&
           socket->bytesToWrite() < 4 * chunk.size() && *sent < EndlessLimit) {
        send(socket, chunk);
        *sent += chunk.size();
    }
    if (*sent >= EndlessLimit && socket->bytesToWrite() == 0)
        socket->disconnectFromHost();
}

void HostileServer::sendFrames(QTcpSocket *socket, qint64 *sent, int seed)
{
    // A new picture per part, as a camera's stream has; the reader's pace sets ours.
    static const QByteArray frames[2] = {jpeg(1, QSize(640, 480)), jpeg(2, QSize(640, 480))};
    while (socket->state() == QAbstractSocket::ConnectedState &&
           socket->bytesToWrite() < 256 * 1024 && *sent < EndlessLimit) {
        const QByteArray &picture = frames[(seed + *sent / 1024) % 2];
        const QByteArray part = "--frame\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                QByteArray::number(picture.size()) + "\r\n\r\n" + picture + "\r\n";
        send(socket, part);
        *sent += part.size();
    }
    if (*sent >= EndlessLimit && socket->bytesToWrite() == 0)
        socket->disconnectFromHost();
}

void HostileServer::dripBytes(QTcpSocket *socket, const QByteArray &bytes)
{
    QPointer<QTcpSocket> guard(socket);
    auto offset = std::make_shared<qsizetype>(0);
    auto *timer = new QTimer(socket);
    timer->setInterval(0);
    connect(timer, &QTimer::timeout, socket, [this, guard, timer, offset, bytes] {
        if (!guard || guard->state() != QAbstractSocket::ConnectedState) {
            timer->stop();
            return;
        }
        if (*offset >= bytes.size()) {
            timer->stop();
            guard->disconnectFromHost();
            return;
        }
        send(guard, bytes.mid(*offset, 1));
        guard->flush();
        ++*offset;
    });
    timer->start();
}
