#include "DemoCamDaytime.h"

#include <QTcpSocket>
#include <QTimeZone>

DemoCamDaytime::DemoCamDaytime(QObject *parent)
    : QObject(parent)
    , m_clock([] { return QDateTime::currentDateTimeUtc(); })
{
    connect(&m_server, &QTcpServer::newConnection, this, &DemoCamDaytime::onNewConnection);
}

bool DemoCamDaytime::listen(quint16 port)
{
    return m_server.listen(QHostAddress::LocalHost, port);
}

QString DemoCamDaytime::listeningLine() const
{
    return QStringLiteral("tessaly-democam daytime on 127.0.0.1:%1").arg(port());
}

QByteArray DemoCamDaytime::daytimeLine(const QDateTime &utc)
{
    const QDateTime t = utc.toTimeZone(QTimeZone::utc());
    const QDate d = t.date();
    const QTime h = t.time();
    // The modified Julian day counts from 17 November 1858.
    const qint64 mjd = QDate(1858, 11, 17).daysTo(d);
    return QStringLiteral("\n%1 %2-%3-%4 %5:%6:%7 00 0 0 0.0 UTC(NIST) * \n")
        .arg(mjd)
        .arg(d.year() % 100, 2, 10, QLatin1Char('0'))
        .arg(d.month(), 2, 10, QLatin1Char('0'))
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(h.hour(), 2, 10, QLatin1Char('0'))
        .arg(h.minute(), 2, 10, QLatin1Char('0'))
        .arg(h.second(), 2, 10, QLatin1Char('0'))
        .toLatin1();
}

void DemoCamDaytime::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        // A daytime server speaks first, once, and hangs up.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->write(daytimeLine(m_clock()));
        socket->disconnectFromHost();
    }
}
