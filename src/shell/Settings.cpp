#include "Settings.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QFile>
#include <QHostAddress>
#include <QUrl>

#include "AppInfo.h"
#include "MachineRegistry.h"
#include "SettingsStore.h"

namespace {

const QString kSection = QStringLiteral("Settings");
const QString kAutoSave = QStringLiteral("autoSave");
const QString kShowHelp = QStringLiteral("showHelp");
const QString kKeepOriginal = QStringLiteral("keepOriginal");
const QString kKeepDays = QStringLiteral("keepDays");
const QString kKeepSize = QStringLiteral("keepSize");
const QString kMinFree = QStringLiteral("minFree");
const QString kReopenCams = QStringLiteral("reopenCams");
const QString kOpenCams = QStringLiteral("openCams");
const QString kViewerFit = QStringLiteral("viewerFit");
const QString kAutoSaveChange = QStringLiteral("change");
const QString kDetect = QStringLiteral("detect");
const QString kAlsoEvery = QStringLiteral("alsoEvery");
const QString kDetectionSection = QStringLiteral("Detection");
const QString kWebView = QStringLiteral("webView");
const QString kWebCertificate = QStringLiteral("webCertificate");
const QString kWebKey = QStringLiteral("webKey");
const QString kWebPasswordHash = QStringLiteral("webPasswordHash");
const QString kMqttBroker = QStringLiteral("mqttBroker");
const QString kMqttId = QStringLiteral("mqttId");
const QString kMqttThumbnails = QStringLiteral("mqttThumbnails");
const QString kMqttPublished = QStringLiteral("mqttPublished");
// Camera names are lines of the camera list file, so none holds a line break.
const QChar kNameSeparator = QLatin1Char('\n');

// The one reading of a stored switch: a whole number, blanks around it allowed.
std::optional<int> wholeNumber(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// A switch in the machine area: off unless the whole number 1 is stored.
bool machineSwitch(const QString &key)
{
    const QString stored = SettingsStore::GetMachineSetting(AppInfo::productName(), kSection, key,
                                                            Settings::switchText(false));
    return wholeNumber(stored) == 1;
}

bool storeMachineSwitch(const QString &key, bool on)
{
    return SettingsStore::SaveMachineSetting(AppInfo::productName(), kSection, key,
                                             Settings::switchText(on));
}

// A count in the machine area: a whole number of at least 0, else fallback.
qint64 machineCount(const QString &key, qint64 fallback)
{
    const QString stored = SettingsStore::GetMachineSetting(AppInfo::productName(), kSection, key,
                                                            QString::number(fallback));
    bool ok = false;
    const qint64 value = stored.trimmed().toLongLong(&ok);
    return ok && value >= 0 ? value : fallback;
}

bool storeMachineCount(const QString &key, qint64 value)
{
    return SettingsStore::SaveMachineSetting(AppInfo::productName(), kSection, key,
                                             QString::number(std::max<qint64>(value, 0)));
}

// "<percent-encoded camera name>/<what>" in the Detection section: a name
// with slashes, brackets or equals signs cannot reach another key.
QString cameraKey(const QString &camera, const char *what)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(camera)) + QLatin1Char('/') +
           QLatin1String(what);
}

QString cameraSetting(const QString &camera, const char *what)
{
    return SettingsStore::GetSetting(AppInfo::productName(), kDetectionSection,
                                     cameraKey(camera, what), QString());
}

bool storeCameraSetting(const QString &camera, const char *what, const QString &value)
{
    return SettingsStore::SaveSetting(AppInfo::productName(), kDetectionSection,
                                      cameraKey(camera, what), value);
}

QString machineText(const QString &key)
{
    return SettingsStore::GetMachineSetting(AppInfo::productName(), kSection, key, QString());
}

bool storeMachineText(const QString &key, const QString &value)
{
    return SettingsStore::SaveMachineSetting(AppInfo::productName(), kSection, key, value);
}

} // namespace

QString Settings::switchText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

bool Settings::autoSave()
{
    return machineSwitch(kAutoSave);
}

bool Settings::setAutoSave(bool on)
{
    return storeMachineSwitch(kAutoSave, on);
}

Settings::AutoSaveMode Settings::autoSaveMode()
{
    const QString stored = SettingsStore::GetMachineSetting(AppInfo::productName(), kSection,
                                                            kAutoSave, switchText(false));
    if (wholeNumber(stored) == 1)
        return AutoSaveMode::Every;
    if (stored.trimmed() == kAutoSaveChange)
        return AutoSaveMode::Change;
    return AutoSaveMode::Off;
}

bool Settings::setAutoSaveMode(AutoSaveMode mode)
{
    if (mode == AutoSaveMode::Change)
        return SettingsStore::SaveMachineSetting(AppInfo::productName(), kSection, kAutoSave,
                                                 kAutoSaveChange);
    return storeMachineSwitch(kAutoSave, mode == AutoSaveMode::Every);
}

bool Settings::detect()
{
    const QString stored = SettingsStore::GetMachineSetting(AppInfo::productName(), kSection,
                                                            kDetect, switchText(true));
    return wholeNumber(stored) != 0;
}

bool Settings::setDetect(bool on)
{
    return storeMachineSwitch(kDetect, on);
}

int Settings::alsoEveryMinutes()
{
    const qint64 minutes = machineCount(kAlsoEvery, 0);
    return minutes <= std::numeric_limits<int>::max() ? int(minutes) : 0;
}

bool Settings::setAlsoEveryMinutes(int minutes)
{
    return storeMachineCount(kAlsoEvery, minutes);
}

int Settings::detectionSensitivity(const QString &camera)
{
    const std::optional<int> value = wholeNumber(cameraSetting(camera, "sensitivity"));
    if (!value || *value < MinDetectionSensitivity || *value > MaxDetectionSensitivity)
        return DefaultDetectionSensitivity;
    return *value;
}

bool Settings::setDetectionSensitivity(const QString &camera, int sensitivity)
{
    return storeCameraSetting(
        camera, "sensitivity",
        QString::number(std::clamp(sensitivity, MinDetectionSensitivity, MaxDetectionSensitivity)));
}

double Settings::detectionMinArea(const QString &camera)
{
    bool ok = false;
    const double value = cameraSetting(camera, "minArea").trimmed().toDouble(&ok);
    if (!ok || !(value >= MinDetectionMinArea && value <= MaxDetectionMinArea))
        return DefaultDetectionMinArea;
    return value;
}

bool Settings::setDetectionMinArea(const QString &camera, double percent)
{
    const double value = std::isfinite(percent)
                             ? std::clamp(percent, MinDetectionMinArea, MaxDetectionMinArea)
                             : DefaultDetectionMinArea;
    return storeCameraSetting(camera, "minArea", QString::number(value, 'g', 6));
}

QString Settings::detectionMask(const QString &camera)
{
    return cameraSetting(camera, "mask").trimmed();
}

bool Settings::setDetectionMask(const QString &camera, const QString &mask)
{
    return storeCameraSetting(camera, "mask", mask.trimmed());
}

bool Settings::keepOriginal()
{
    return machineSwitch(kKeepOriginal);
}

bool Settings::setKeepOriginal(bool on)
{
    return storeMachineSwitch(kKeepOriginal, on);
}

int Settings::keepDays()
{
    const qint64 days = machineCount(kKeepDays, 0);
    return days <= std::numeric_limits<int>::max() ? int(days) : 0;
}

bool Settings::setKeepDays(int days)
{
    return storeMachineCount(kKeepDays, days);
}

qint64 Settings::keepSize()
{
    return machineCount(kKeepSize, 0);
}

bool Settings::setKeepSize(qint64 bytes)
{
    return storeMachineCount(kKeepSize, bytes);
}

qint64 Settings::minFree()
{
    return machineCount(kMinFree, DefaultMinFreeBytes);
}

bool Settings::setMinFree(qint64 bytes)
{
    return storeMachineCount(kMinFree, bytes);
}

std::optional<bool> Settings::showHelp()
{
    const std::optional<int> value = wholeNumber(
        SettingsStore::GetSetting(AppInfo::productName(), kSection, kShowHelp, switchText(true)));
    if (value == 1)
        return true;
    if (value == 0)
        return false;
    return std::nullopt;
}

bool Settings::setShowHelp(bool on)
{
    return SettingsStore::SaveSetting(AppInfo::productName(), kSection, kShowHelp, switchText(on));
}

bool Settings::reopenCams()
{
    return wholeNumber(SettingsStore::GetSetting(AppInfo::productName(), kSection, kReopenCams,
                                                 switchText(false))) == 1;
}

bool Settings::setReopenCams(bool on)
{
    return SettingsStore::SaveSetting(AppInfo::productName(), kSection, kReopenCams,
                                      switchText(on));
}

bool Settings::viewerFit()
{
    return wholeNumber(SettingsStore::GetSetting(AppInfo::productName(), kSection, kViewerFit,
                                                 switchText(true))) != 0;
}

bool Settings::setViewerFit(bool on)
{
    return SettingsStore::SaveSetting(AppInfo::productName(), kSection, kViewerFit, switchText(on));
}

QStringList Settings::openCams()
{
    return SettingsStore::GetSetting(AppInfo::productName(), kSection, kOpenCams, QString())
        .split(kNameSeparator, Qt::SkipEmptyParts);
}

bool Settings::setOpenCams(const QStringList &names)
{
    return SettingsStore::SaveSetting(AppInfo::productName(), kSection, kOpenCams,
                                      names.join(kNameSeparator));
}

std::optional<Settings::WebView> Settings::parseWebView(const QString &text)
{
    WebView view;
    const QString trimmed = text.trimmed();
    if (trimmed == QLatin1String("off"))
        return view;
    QString portText = trimmed;
    const qsizetype colon = trimmed.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        QString address = trimmed.left(colon);
        portText = trimmed.mid(colon + 1);
        if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
            address = address.mid(1, address.size() - 2);
        else if (address.contains(QLatin1Char(':')))
            return std::nullopt; // an IPv6 address needs its brackets
        // Only a numeric address: a host name would be looked up at every start.
        QHostAddress parsed;
        if (address.isEmpty() || !parsed.setAddress(address))
            return std::nullopt;
        view.address = parsed.toString();
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port == 0 || port > 65535 || !portText.front().isDigit())
        return std::nullopt;
    view.port = quint16(port);
    view.on = true;
    return view;
}

QString Settings::webViewText(const WebView &view)
{
    if (!view.on)
        return QStringLiteral("off");
    const QString address = view.address.contains(QLatin1Char(':'))
                                ? QLatin1Char('[') + view.address + QLatin1Char(']')
                                : view.address;
    return address + QLatin1Char(':') + QString::number(view.port);
}

Settings::WebView Settings::webView()
{
    const QString stored =
        SettingsStore::GetSetting(AppInfo::productName(), kSection, kWebView, QString());
    return parseWebView(stored).value_or(WebView());
}

bool Settings::setWebView(const WebView &view)
{
    return SettingsStore::SaveSetting(AppInfo::productName(), kSection, kWebView,
                                      webViewText(view));
}

QString Settings::webCertificate()
{
    return SettingsStore::GetSetting(AppInfo::productName(), kSection, kWebCertificate, QString());
}

QString Settings::webKey()
{
    return SettingsStore::GetSetting(AppInfo::productName(), kSection, kWebKey, QString());
}

bool Settings::setWebCertificate(const QString &certificatePath, const QString &keyPath)
{
    return SettingsStore::SaveSetting(AppInfo::productName(), kSection, kWebCertificate,
                                      certificatePath) &&
           SettingsStore::SaveSetting(AppInfo::productName(), kSection, kWebKey, keyPath);
}

QString Settings::webPasswordHash()
{
    return SettingsStore::GetSetting(AppInfo::productName(), kSection, kWebPasswordHash, QString());
}

bool Settings::setWebPasswordHash(const QString &hash)
{
    return SettingsStore::SaveSetting(AppInfo::productName(), kSection, kWebPasswordHash, hash);
}

QString Settings::mqttBroker()
{
    return machineText(kMqttBroker).trimmed();
}

bool Settings::setMqttBroker(const QString &address)
{
    if (!storeMachineText(kMqttBroker, address.trimmed()))
        return false;
    // The address may hold the broker's password: the file it is in is the
    // owner's alone from now on (later writes keep the mode).
    if (address.contains(QLatin1Char('@')))
        QFile::setPermissions(MachineRegistry::defaultFilePath(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

QString Settings::mqttId()
{
    return machineText(kMqttId).trimmed();
}

bool Settings::setMqttId(const QString &id)
{
    return storeMachineText(kMqttId, id.trimmed());
}

bool Settings::mqttThumbnails()
{
    return machineSwitch(kMqttThumbnails);
}

bool Settings::setMqttThumbnails(bool on)
{
    return storeMachineSwitch(kMqttThumbnails, on);
}

QStringList Settings::mqttPublished()
{
    return machineText(kMqttPublished).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

bool Settings::setMqttPublished(const QStringList &entries)
{
    return storeMachineText(kMqttPublished, entries.join(QLatin1Char(' ')));
}
