#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

class QTcpSocket;

// Reads the current time from a daytime server (the text of `lblTime`). One
// socket, one request at a time: a new request drops the one in progress. The
// text changes only when a whole reply parses; a failed request is silent.
//
// The label is asked for every second while a camera runs, but NIST refuses
// service to clients that ask more than once every four seconds. So the server
// is asked again only when the last reply is a minute old (or, until one
// arrives, every four seconds); in between, the time is counted on from the
// last reply with the monotonic clock and the label still moves every second.
class NetworkTime : public QObject
{
    Q_OBJECT
public:
    // The default server; TESSALY_TIME_SERVER ("host:port" or "host") overrides it.
    static constexpr const char *DefaultHost = "time.nist.gov";
    static constexpr quint16 DefaultPort = 13;
    // A daytime line is about 50 bytes; anything longer than this is not one.
    static constexpr qsizetype MaxReplyBytes = 1024;
    // The least time between two connections to the server.
    static constexpr qint64 MinimumRequestSpacingMs = 4000;
    // How long a reply is counted on before the server is asked again.
    static constexpr qint64 ResyncAfterMs = 60000;

    struct Server
    {
        QString host;
        quint16 port = DefaultPort;
    };
    // The server to ask, read from the environment on every request.
    static Server server();
    // "host:port", "host" or "[v6-address]:port"; an empty text gives the default.
    static Server parseServer(const QString &text);

    explicit NetworkTime(QObject *parent = nullptr);
    ~NetworkTime() override;

    // The last time read, as the label shows it; empty until a reply parsed.
    QString timeText() const { return m_timeText; }
    // The one socket all requests go through.
    QTcpSocket *socket() const { return m_socket; }

    // For tests: other spacings (0 and 0 ask the server every time) and a
    // clock of their own, in milliseconds that only move forward.
    void setRequestSpacing(qint64 minimumMs, qint64 resyncAfterMs);
    using Clock = std::function<qint64()>;
    void setClock(Clock clock);

public slots:
    // Starts a request; the answer arrives later through timeTextChanged.
    void GetNetworkTime();

signals:
    void timeTextChanged(const QString &text);

private:
    void readDaytimeReply();
    void onServerClosed();
    void onSocketError();
    void finishReply();
    void dropRequest();
    void showTime(const QDateTime &utc);

    QTcpSocket *m_socket = nullptr;
    QByteArray m_reply;
    bool m_waiting = false;
    QString m_timeText;

    Clock m_clock;
    qint64 m_minimumSpacingMs = MinimumRequestSpacingMs;
    qint64 m_resyncAfterMs = ResyncAfterMs;
    std::optional<qint64> m_lastRequestAt;
    // The last time read and the clock's reading when it arrived.
    std::optional<QDateTime> m_lastReply;
    qint64 m_lastReplyAt = 0;
};

// A daytime reply ("60078 23-05-14 18:07:42 50 0 0 123.4 UTC(NIST) *", maybe
// with line feeds around it) as a date and time in UTC; nothing when it is not
// one. Two-digit years 00-29 are 2000-2029, 30-99 are 1930-1999.
std::optional<QDateTime> ParseDaytimeReply(const QByteArray &reply);

// "5/14/2023 6:07:42 PM GMT"; a time of exactly midnight shows the date alone.
QString NetworkTimeText(const QDateTime &utc);

// True once reply holds a whole line: after any leading line feeds, text that
// ends in a line feed.
bool DaytimeLineComplete(const QByteArray &reply);
