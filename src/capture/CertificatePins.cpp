#include "CertificatePins.h"

#include "AppInfo.h"
#include "HttpExchange.h"
#include "SettingsStore.h"

namespace CertificatePins {

namespace {
const QString Section = QStringLiteral("CertificatePins");

// QSettings keys treat "/" and "\" specially; a host:port has neither, but a
// typed IPv6 address is bracketed and the brackets are harmless.
QString keyOf(const QString &hostPort)
{
    return hostPort.toLower();
}
} // namespace

QByteArray pinFor(const QString &hostPort)
{
    return HttpExchange::fingerprintFromText(
        SettingsStore::GetSetting(AppInfo::productName(), Section, keyOf(hostPort), QString()));
}

bool trust(const QString &hostPort, const QByteArray &sha256)
{
    if (sha256.size() != 32)
        return false;
    return SettingsStore::SaveSetting(AppInfo::productName(), Section, keyOf(hostPort),
                                      HttpExchange::fingerprintText(sha256));
}

bool forget(const QString &hostPort)
{
    return SettingsStore::SaveSetting(AppInfo::productName(), Section, keyOf(hostPort), QString());
}

} // namespace CertificatePins
