#include "MiniHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

MiniHttpServer::MiniHttpServer(QObject *parent)
    : QObject(parent)
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &MiniHttpServer::onNewConnection);
    setReply(Reply{response("hello", "text/plain"), 0, 0, true, false, false});
}

MiniHttpServer::~MiniHttpServer() = default;

quint16 MiniHttpServer::port() const
{
    return m_server.serverPort();
}

QString MiniHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://") + hostAndPath(path);
}

QString MiniHttpServer::hostAndPath(const QString &path) const
{
    return QStringLiteral("127.0.0.1:%1%2").arg(port()).arg(path);
}

void MiniHttpServer::setReply(const Reply &reply)
{
    m_handler = [reply](const QByteArray &) { return reply; };
}

void MiniHttpServer::setHandler(Handler handler)
{
    m_handler = std::move(handler);
}

QByteArray MiniHttpServer::response(const QByteArray &body, const QByteArray &contentType,
                                    const QByteArray &lastModified, bool withContentLength)
{
    QByteArray r = "HTTP/1.1 200 OK\r\n";
    if (!contentType.isEmpty())
        r += "Content-Type: " + contentType + "\r\n";
    if (withContentLength)
        r += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (!lastModified.isEmpty())
        r += "Last-Modified: " + lastModified + "\r\n";
    r += "Connection: close\r\n\r\n";
    return r + body;
}

void MiniHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_connections;
        socket->setParent(this);
        auto *buffer = new QByteArray;
        // Tied to the socket itself: it must also run when the server goes first.
        connect(socket, &QObject::destroyed, socket, [buffer] { delete buffer; });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            if (buffer->contains("\r\n\r\n"))
                return socket->readAll(), void();
            buffer->append(socket->readAll());
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray request = buffer->left(end + 4);
            m_requests.append(request);
            emit requestReceived(request);
            answer(socket, request);
        });
    }
}

void MiniHttpServer::answer(QTcpSocket *socket, const QByteArray &request)
{
    const Reply reply = m_handler(request);
    if (reply.silent)
        return;
    QPointer<QTcpSocket> guard(socket);
    auto finish = [guard, reply] {
        if (!guard)
            return;
        guard->flush();
        if (reply.resetAfter)
            guard->abort();
        else if (reply.closeAfter)
            guard->disconnectFromHost();
    };
    if (reply.chunkSize <= 0) {
        socket->write(reply.bytes);
        finish();
        return;
    }
    // Send the chunks one timer shot apart so the client sees separate arrivals.
    auto offset = std::make_shared<qsizetype>(0);
    auto timer = new QTimer(socket);
    timer->setInterval(reply.chunkDelayMs);
    connect(timer, &QTimer::timeout, socket, [guard, timer, offset, reply, finish] {
        if (!guard)
            return;
        if (*offset >= reply.bytes.size()) {
            timer->stop();
            finish();
            return;
        }
        guard->write(reply.bytes.mid(*offset, reply.chunkSize));
        guard->flush();
        *offset += reply.chunkSize;
    });
    timer->start();
}
