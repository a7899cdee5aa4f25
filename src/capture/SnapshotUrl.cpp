#include "SnapshotUrl.h"

namespace {

// The port written after the host's last ":", when it is one.
std::optional<quint16> portOf(const QString &host, qsizetype colon)
{
    const QStringView digits = QStringView(host).mid(colon + 1);
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

} // namespace

std::optional<SnapshotUrl> SnapshotUrl::split(const QString &address)
{
    static const QString prefix = QStringLiteral("http://");
    const QString rest =
        address.startsWith(prefix, Qt::CaseSensitive) ? address.mid(prefix.size()) : address;
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return std::nullopt;

    SnapshotUrl url;
    url.host = rest.left(slash);
    url.path = rest.mid(slash);
    url.connectHost = url.host;

    const qsizetype colon = url.host.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        if (const auto port = portOf(url.host, colon)) {
            url.port = *port;
            url.connectHost = url.host.left(colon);
            // "[::1]:8080": the brackets only delimit the address in the URL.
            if (url.connectHost.size() > 2 && url.connectHost.startsWith(QLatin1Char('[')) &&
                url.connectHost.endsWith(QLatin1Char(']')))
                url.connectHost = url.connectHost.mid(1, url.connectHost.size() - 2);
        }
    }
    return url;
}
