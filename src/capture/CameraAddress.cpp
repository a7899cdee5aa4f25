#include "CameraAddress.h"

namespace {

std::optional<quint16> portNumber(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 5)
        return std::nullopt;
    int value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    if (value < 1 || value > 65535)
        return std::nullopt;
    return quint16(value);
}

QString percentDecoded(QStringView text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
}

} // namespace

std::optional<CameraAddress> CameraAddress::parse(const QString &address)
{
    CameraAddress result;
    QStringView rest(address);
    if (rest.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        result.https = true;
        result.port = HttpsPort;
        rest = rest.mid(8);
    } else if (rest.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) {
        rest = rest.mid(7);
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return std::nullopt;
    QStringView authority = rest.left(slash);
    result.path = rest.mid(slash).toString();

    // "cam?x=/y" is the host "cam" and a query to libcurl, but would be a host
    // text here: such an address has no usable path. (A "?" or "#" in the
    // user information has to be percent-encoded anyway.)
    if (authority.contains(QLatin1Char('?')) || authority.contains(QLatin1Char('#')))
        return std::nullopt;
    // The last "@" ends the user information: a password may hold a raw "@".
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QStringView userInfo = authority.left(at);
        authority = authority.mid(at + 1);
        result.hasUserInfo = true;
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        result.user = percentDecoded(colon < 0 ? userInfo : userInfo.left(colon));
        if (colon >= 0)
            result.password = percentDecoded(userInfo.mid(colon + 1));
    }
    result.hostText = authority.toString();
    result.connectHost = result.hostText;

    // "[::1]:8080": the colon after the closing bracket starts the port.
    const qsizetype bracket = authority.lastIndexOf(QLatin1Char(']'));
    const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0 && colon > bracket) {
        if (const auto port = portNumber(authority.mid(colon + 1)))
            result.port = *port;
        else
            result.portValid = false;
        result.connectHost = authority.left(colon).toString();
    }
    if (result.connectHost.size() > 2 && result.connectHost.startsWith(QLatin1Char('[')) &&
        result.connectHost.endsWith(QLatin1Char(']')))
        result.connectHost = result.connectHost.mid(1, result.connectHost.size() - 2);
    return result;
}

QString CameraAddress::requestPath() const
{
    QString text = path;
    text.replace(QLatin1Char(' '), QLatin1String("%20"));
    return text;
}

QByteArray CameraAddress::fetchUrl() const
{
    return (https ? QByteArrayLiteral("https://") : QByteArrayLiteral("http://")) +
           hostText.toUtf8() + requestPath().toUtf8();
}

QString CameraAddress::hostPort() const
{
    const bool v6 = connectHost.contains(QLatin1Char(':'));
    return (v6 ? QLatin1Char('[') + connectHost + QLatin1Char(']') : connectHost) +
           QLatin1Char(':') + QString::number(port);
}
