#pragma once

#include <functional>

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QTcpServer>

// A daytime server (the protocol of TCP port 13) on 127.0.0.1 that answers
// with this machine's clock in NIST's format, so the demo's time label fills
// without the Internet.
class DemoCamDaytime : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit DemoCamDaytime(QObject *parent = nullptr);

    // Listens on 127.0.0.1 at port (0: a free port).
    bool listen(quint16 port);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }
    // The line scripts read to learn the port.
    QString listeningLine() const;

    // Tests give a clock of their own; the default is the system's, in UTC.
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // "\n60078 23-05-14 18:07:42 00 0 0 0.0 UTC(NIST) * \n" for that time.
    static QByteArray daytimeLine(const QDateTime &utc);

private:
    void onNewConnection();

    QTcpServer m_server;
    Clock m_clock;
};
