#include "NetworkTime.h"

#include <array>
#include <cctype>
#include <memory>

#include <QElapsedTimer>
#include <QTcpSocket>

#include "DateTimeText.h"

namespace {
// Two decimal digits, nothing else.
std::optional<int> twoDigits(QByteArrayView text)
{
    if (text.size() != 2 || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        !std::isdigit(static_cast<unsigned char>(text[1])))
        return std::nullopt;
    return (text[0] - '0') * 10 + (text[1] - '0');
}

// "NN<sep>NN<sep>NN" as three numbers.
std::optional<std::array<int, 3>> threeNumbers(const QByteArray &text, char separator)
{
    if (text.size() != 8 || text[2] != separator || text[5] != separator)
        return std::nullopt;
    const auto a = twoDigits(QByteArrayView(text).sliced(0, 2));
    const auto b = twoDigits(QByteArrayView(text).sliced(3, 2));
    const auto c = twoDigits(QByteArrayView(text).sliced(6, 2));
    if (!a || !b || !c)
        return std::nullopt;
    return std::array<int, 3>{*a, *b, *c};
}
} // namespace

std::optional<QDateTime> ParseDaytimeReply(const QByteArray &reply)
{
    if (reply.size() > NetworkTime::MaxReplyBytes)
        return std::nullopt;
    QByteArray text = reply;
    text.replace('\n', QByteArray());
    // A server that ends its line with CR LF leaves a CR behind; it belongs to
    // the line end, not to a field.
    text.replace('\r', QByteArray());
    // Split at every single blank: two blanks in a row give an empty field.
    const QList<QByteArray> fields = text.split(' ');
    if (fields.size() < 3)
        return std::nullopt;

    // Field 1 is YR-MO-DA; the date is read as MO-DA-YR with the two-digit year window.
    const auto date = threeNumbers(fields.at(1), '-');
    const auto time = threeNumbers(fields.at(2), ':');
    if (!date || !time)
        return std::nullopt;
    const int yy = (*date)[0];
    const int year = yy < 30 ? 2000 + yy : 1900 + yy;
    const QDate day(year, (*date)[1], (*date)[2]);
    const QTime clock((*time)[0], (*time)[1], (*time)[2]);
    if (!day.isValid() || !clock.isValid())
        return std::nullopt;
    // No time-zone conversion: the server's time is UTC and stays so.
    return QDateTime(day, clock, Qt::UTC);
}

QString NetworkTimeText(const QDateTime &utc)
{
    // The program's fixed forms, the ones the saved pictures are named with. A
    // time of exactly midnight shows the date alone, like any date without a
    // time of day.
    const QString text = utc.time() == QTime(0, 0, 0) ? DateTimeText::dateText(utc.date())
                                                      : DateTimeText::dateTimeText(utc);
    return text + QStringLiteral(" GMT");
}

bool DaytimeLineComplete(const QByteArray &reply)
{
    qsizetype start = 0;
    while (start < reply.size() && reply.at(start) == '\n')
        ++start;
    return start < reply.size() && reply.indexOf('\n', start) >= 0;
}

NetworkTime::Server NetworkTime::parseServer(const QString &text)
{
    Server server{QString::fromLatin1(DefaultHost), DefaultPort};
    const QString t = text.trimmed();
    if (t.isEmpty())
        return server;
    QString host = t;
    QString port;
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        if (close > 1) {
            host = t.mid(1, close - 1);
            if (t.mid(close + 1).startsWith(QLatin1Char(':')))
                port = t.mid(close + 2);
        }
    } else if (t.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = t.indexOf(QLatin1Char(':'));
        host = t.left(colon);
        port = t.mid(colon + 1);
    }
    if (!host.isEmpty())
        server.host = host;
    bool ok = false;
    const uint number = port.toUInt(&ok);
    if (ok && number > 0 && number <= 65535)
        server.port = static_cast<quint16>(number);
    return server;
}

NetworkTime::Server NetworkTime::server()
{
    return parseServer(qEnvironmentVariable("TESSALY_TIME_SERVER"));
}

NetworkTime::NetworkTime(QObject *parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this))
{
    setClock({});
    m_socket->setObjectName(QStringLiteral("m_socket"));
    connect(m_socket, &QTcpSocket::readyRead, this, &NetworkTime::readDaytimeReply);
    connect(m_socket, &QTcpSocket::disconnected, this, &NetworkTime::onServerClosed);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetworkTime::onSocketError);
}

NetworkTime::~NetworkTime()
{
    m_waiting = false;
    m_socket->abort();
}

void NetworkTime::setRequestSpacing(qint64 minimumMs, qint64 resyncAfterMs)
{
    m_minimumSpacingMs = minimumMs;
    m_resyncAfterMs = resyncAfterMs;
}

void NetworkTime::setClock(Clock clock)
{
    if (!clock) {
        auto started = std::make_shared<QElapsedTimer>();
        started->start();
        clock = [started] { return started->elapsed(); };
    }
    m_clock = std::move(clock);
}

void NetworkTime::GetNetworkTime()
{
    try {
        const qint64 now = m_clock();
        const bool replyFresh = m_lastReply && now - m_lastReplyAt < m_resyncAfterMs;
        const bool askedLately = m_lastRequestAt && now - *m_lastRequestAt < m_minimumSpacingMs;
        if (replyFresh || askedLately) {
            if (m_lastReply)
                showTime(m_lastReply->addMSecs(now - m_lastReplyAt));
            return;
        }
        m_lastRequestAt = now;
        // A request still in progress is dropped; its late bytes must not count.
        dropRequest();
        const Server s = server();
        m_waiting = true;
        m_socket->connectToHost(s.host, s.port);
        // Nothing is sent: a daytime server speaks first.
    } catch (...) {
        m_waiting = false;
    }
}

void NetworkTime::dropRequest()
{
    m_waiting = false;
    m_reply.clear();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
}

void NetworkTime::readDaytimeReply()
{
    try {
        while (m_waiting && m_socket->bytesAvailable() > 0) {
            const qint64 room = MaxReplyBytes - m_reply.size();
            if (room <= 0) {
                // Not a daytime line: stop listening, keep the label as it is.
                dropRequest();
                return;
            }
            m_reply += m_socket->read(room);
            if (DaytimeLineComplete(m_reply)) {
                finishReply();
                return;
            }
        }
    } catch (...) {
        dropRequest();
    }
}

void NetworkTime::onServerClosed()
{
    try {
        if (!m_waiting)
            return;
        // Whatever the server sent before it closed is the whole reply.
        const qint64 room = MaxReplyBytes - m_reply.size();
        if (m_socket->bytesAvailable() > 0 && room > 0)
            m_reply += m_socket->read(room);
        finishReply();
    } catch (...) {
        dropRequest();
    }
}

void NetworkTime::onSocketError()
{
    // A failed connection is not reported; the next request starts afresh.
    // A server closing the connection is no failure: its bytes still count.
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    if (m_waiting)
        dropRequest();
}

void NetworkTime::finishReply()
{
    const QByteArray reply = m_reply;
    dropRequest();
    const std::optional<QDateTime> when = ParseDaytimeReply(reply);
    if (!when)
        return;
    m_lastReply = when;
    m_lastReplyAt = m_clock();
    showTime(*when);
}

void NetworkTime::showTime(const QDateTime &utc)
{
    // Whole seconds, as the server gives them: a counted-on time that lands on
    // midnight shows the date alone like a reply of midnight would.
    const QString text = NetworkTimeText(utc.addMSecs(-utc.time().msec()));
    if (text == m_timeText)
        return;
    m_timeText = text;
    emit timeTextChanged(m_timeText);
}
