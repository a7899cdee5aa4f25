#include "DemoCamConnection.h"

#include <QTcpSocket>

namespace {

// The end of the request head: a blank line. Bare LF line ends are accepted too,
// as hand-typed requests (netcat) send them.
qsizetype headEnd(const QByteArray &bytes)
{
    const qsizetype crlf = bytes.indexOf("\r\n\r\n");
    const qsizetype lf = bytes.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf + 2 <= lf))
        return crlf + 4;
    if (lf >= 0)
        return lf + 2;
    return -1;
}

} // namespace

DemoCamConnection::DemoCamConnection(QTcpSocket *socket, Responder responder, const Limits &limits,
                                     QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_responder(std::move(responder))
    , m_limits(limits)
{
    m_socket->setParent(this);
    // Qt would otherwise buffer whatever a client sends; one request head is all we take.
    m_socket->setReadBufferSize(m_limits.maxRequestBytes + 1);

    connect(m_socket, &QTcpSocket::readyRead, this, &DemoCamConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &DemoCamConnection::finish);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        // The peer went away (reset, broken pipe): nothing more to do for it.
        if (m_socket->state() != QAbstractSocket::ConnectedState &&
            m_socket->state() != QAbstractSocket::ClosingState)
            finish();
    });

    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &DemoCamConnection::drop);
    m_deadline.start(m_limits.requestTimeoutMs);

    m_drip.setInterval(20);
    connect(&m_drip, &QTimer::timeout, this, &DemoCamConnection::dripSome);

    // Bytes may have arrived before we were connected to readyRead.
    if (m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &DemoCamConnection::onReadyRead, Qt::QueuedConnection);
}

DemoCamConnection::~DemoCamConnection()
{
    // Deleted with the server while still open: close without calling back into
    // a server that is going away.
    m_finished = true;
    m_socket->disconnect(this);
    m_socket->abort();
}

void DemoCamConnection::onReadyRead()
{
    if (m_finished)
        return;
    if (m_answered) {
        // Whatever a client sends after its request is of no interest.
        m_socket->readAll();
        return;
    }
    const qsizetype room = m_limits.maxRequestBytes + 1 - m_request.size();
    m_request += m_socket->read(qMax<qsizetype>(room, 0));
    const qsizetype end = headEnd(m_request);
    if (end >= 0) {
        answer(m_request.left(end));
        return;
    }
    if (m_request.size() > m_limits.maxRequestBytes)
        drop();
}

void DemoCamConnection::answer(const QByteArray &head)
{
    m_answered = true;
    m_deadline.stop();
    const std::optional<QByteArray> bytes = m_responder(head);
    if (!bytes) {
        m_deadline.start(m_limits.silentHoldMs);
        return;
    }
    m_outgoing = *bytes;

    // A client that does not read its answer is dropped after the time the answer
    // needs plus a grace period, so it cannot keep the socket forever.
    qint64 needMs = 0;
    if (m_limits.slowBytesPerSecond > 0)
        needMs = m_outgoing.size() * qint64(1000) / m_limits.slowBytesPerSecond;
    m_deadline.start(int(qMin<qint64>(needMs + m_limits.sendGraceMs, 24LL * 3600 * 1000)));

    if (m_limits.slowBytesPerSecond > 0) {
        m_dripClock.start();
        m_drip.start();
        dripSome();
        return;
    }
    if (m_socket->write(m_outgoing) != m_outgoing.size()) {
        drop();
        return;
    }
    m_sent = m_outgoing.size();
    // Closes once everything written has gone out; disconnected() then ends us.
    m_socket->disconnectFromHost();
}

void DemoCamConnection::dripSome()
{
    if (m_finished)
        return;
    // What the rate allows by now, so the average holds whatever the timer's jitter.
    const qint64 allowed =
        qMax<qint64>(1, m_dripClock.elapsed() * m_limits.slowBytesPerSecond / 1000);
    const qsizetype target = qsizetype(qMin<qint64>(allowed, m_outgoing.size()));
    if (target > m_sent) {
        const qint64 written = m_socket->write(m_outgoing.constData() + m_sent, target - m_sent);
        if (written < 0) {
            drop();
            return;
        }
        m_sent += qsizetype(written);
        m_socket->flush();
    }
    if (m_sent >= m_outgoing.size()) {
        m_drip.stop();
        m_socket->disconnectFromHost();
    }
}

void DemoCamConnection::drop()
{
    if (m_finished)
        return;
    m_drip.stop();
    m_socket->abort();
    finish();
}

void DemoCamConnection::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_deadline.stop();
    m_drip.stop();
    emit finished();
    deleteLater();
}
