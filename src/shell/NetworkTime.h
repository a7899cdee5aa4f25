#pragma once

#include <optional>

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>

class QTcpSocket;

// Reads the current time from a daytime server (the text of `lblTime`). One
// socket, one request at a time: a new request drops the one in progress. The
// text changes only when a whole reply parses; a failed request is silent.
class NetworkTime : public QObject
{
    Q_OBJECT
public:
    // The default server; TESSALY_TIME_SERVER ("host:port" or "host") overrides it.
    static constexpr const char *DefaultHost = "time.nist.gov";
    static constexpr quint16 DefaultPort = 13;
    // A daytime line is about 50 bytes; anything longer than this is not one.
    static constexpr qsizetype MaxReplyBytes = 1024;

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
    QTcpSocket *socket() const { return objWinsock; }

public slots:
    // Starts a request; the answer arrives later through timeTextChanged.
    void GetNetworkTime();

signals:
    void timeTextChanged(const QString &text);

private:
    void objWinsock_DataArrival();
    void objWinsock_Close();
    void objWinsock_Error();
    void finishReply();
    void dropRequest();

    QTcpSocket *objWinsock = nullptr;
    QByteArray m_reply;
    bool m_waiting = false;
    QString m_timeText;
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
