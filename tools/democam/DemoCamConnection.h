#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// One client of the demo camera server: reads a bounded request head, hands it
// to the responder, sends the answer (at full speed or dripped at a fixed rate)
// and closes. A client that sends too much, too slowly or never reads its answer
// is dropped, so no client can hold the server's memory or sockets for long.
class DemoCamConnection : public QObject
{
    Q_OBJECT
public:
    // Gets the request head (up to and including its blank line) and returns the
    // bytes to send, or nothing to keep the connection open without answering.
    using Responder = std::function<std::optional<QByteArray>(const QByteArray &head)>;

    struct Limits
    {
        qsizetype maxRequestBytes = 16 * 1024;
        int requestTimeoutMs = 10000;
        qint64 slowBytesPerSecond = 0; // 0: send at once
        int sendGraceMs = 30000;       // beyond the time the answer needs at its rate
        int silentHoldMs = 300000;     // how long an unanswered client is kept
    };

    DemoCamConnection(QTcpSocket *socket, Responder responder, const Limits &limits,
                      QObject *parent = nullptr);
    ~DemoCamConnection() override;

signals:
    // Emitted once, when the connection has closed or was dropped; the object
    // deletes itself afterwards.
    void finished();

private:
    void onReadyRead();
    void answer(const QByteArray &head);
    void dripSome();
    void drop();
    void finish();

    QTcpSocket *m_socket = nullptr;
    Responder m_responder;
    Limits m_limits;
    QByteArray m_request;
    QByteArray m_outgoing;
    qsizetype m_sent = 0;
    bool m_answered = false;
    bool m_finished = false;
    QTimer m_deadline;
    QTimer m_drip;
    QElapsedTimer m_dripClock;
};
