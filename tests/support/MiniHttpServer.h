#pragma once

#include <functional>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

// A local HTTP peer on 127.0.0.1 with an ephemeral port that serves canned
// bytes: whole, split into chunks, slowly, closed early or never.
class MiniHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Reply
    {
        QByteArray bytes;        // what to send, header and body together
        int chunkSize = 0;       // 0: all at once
        int chunkDelayMs = 0;    // pause between chunks
        bool closeAfter = true;  // close the connection when everything is sent
        bool silent = false;     // accept, read, never answer
        bool resetAfter = false; // abort (RST) instead of a clean close
    };
    using Handler = std::function<Reply(const QByteArray &request)>;

    explicit MiniHttpServer(QObject *parent = nullptr);
    ~MiniHttpServer() override;

    quint16 port() const;
    // "http://127.0.0.1:<port>" + path
    QString url(const QString &path) const;
    // "127.0.0.1:<port>" + path, without the scheme
    QString hostAndPath(const QString &path) const;

    void setReply(const Reply &reply);
    void setHandler(Handler handler);

    // Requests received so far, in order, each up to its blank line.
    const QList<QByteArray> &requests() const { return m_requests; }
    int connectionCount() const { return m_connections; }

    // A complete response with status 200 and the given headers and body.
    static QByteArray response(const QByteArray &body, const QByteArray &contentType,
                               const QByteArray &lastModified = {}, bool withContentLength = true);

signals:
    void requestReceived(const QByteArray &request);

private:
    void onNewConnection();
    void answer(QTcpSocket *socket, const QByteArray &request);

    QTcpServer m_server;
    Handler m_handler;
    QList<QByteArray> m_requests;
    int m_connections = 0;
};
