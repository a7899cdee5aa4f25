#include "Settings.h"

#include <algorithm>
#include <limits>

#include <QFile>

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
