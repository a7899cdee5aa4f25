#include "BrokerAddress.h"

#include <QUrl>

#include "DisplayText.h"

Result<BrokerAddress> BrokerAddress::parse(const QString &text)
{
    const auto bad = [](const QString &why) {
        return Failure::of(Failure::Kind::BadAddress,
                           QStringLiteral("not an MQTT broker address: %1").arg(why));
    };
    const QString trimmed = text.trimmed();
    const QUrl url(trimmed, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")))
        return bad(QStringLiteral("write mqtt://[user:password@]host[:port] or mqtts://…"));
    if (url.host().isEmpty())
        return bad(QStringLiteral("the host is missing"));
    if ((!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() ||
        url.hasFragment())
        return bad(QStringLiteral("a broker address has no path, query or fragment"));
    if (url.password().isEmpty() == false && url.userName().isEmpty())
        return bad(QStringLiteral("a password needs a user name"));
    BrokerAddress address;
    address.m_tls = scheme == QLatin1String("mqtts");
    address.m_host = url.host();
    address.m_port = url.port(address.m_tls ? TlsPort : PlainPort);
    if (address.m_port <= 0 || address.m_port > 65535)
        return bad(QStringLiteral("the port is out of range"));
    address.m_user = url.userName();
    address.m_password = url.password();
    return address;
}

QString BrokerAddress::hostPort() const
{
    const QString host =
        m_host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(m_host) : m_host;
    return QStringLiteral("%1:%2").arg(host).arg(m_port);
}

QString BrokerAddress::text() const
{
    QUrl url;
    url.setScheme(m_tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"));
    url.setHost(m_host);
    url.setPort(m_port);
    url.setUserName(m_user);
    url.setPassword(m_password);
    return url.toString(QUrl::FullyEncoded);
}

QString BrokerAddress::display() const
{
    return DisplayText::address(text());
}
