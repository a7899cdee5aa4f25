#include "SettingsStore.h"

#include <QSettings>
#include <QStringDecoder>

#include "AppInfo.h"
#include "MachineRegistry.h"
#include "MessageBoxes.h"
#include "TessalyError.h"

namespace {
const QString kSource = QStringLiteral("GetMachineSetting");
const QString kIgnoreKey = QStringLiteral("IgnorePermissionDeniedError");
const QString kSettingsSection = QStringLiteral("Settings");

std::shared_ptr<MachineRegistry> &installedRegistry()
{
    static std::shared_ptr<MachineRegistry> registry;
    return registry;
}

std::shared_ptr<MachineRegistry> currentRegistry()
{
    if (installedRegistry())
        return installedRegistry();
    return std::make_shared<MachineRegistry>(MachineRegistry::defaultFilePath());
}

// Blanks only, as the names are compared and joined; other white space stays.
QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

// Closes an opened key on every way out, before an error reaches the caller.
class KeyCloser
{
public:
    KeyCloser(MachineRegistry &registry, MachineRegistry::Key key)
        : m_registry(registry)
        , m_key(key)
    {
    }
    ~KeyCloser() { m_registry.closeKey(m_key); }
    KeyCloser(const KeyCloser &) = delete;
    KeyCloser &operator=(const KeyCloser &) = delete;

private:
    MachineRegistry &m_registry;
    MachineRegistry::Key m_key;
};

// After a refused step: true when the user wants it tried again. The reason
// names the settings file and what the system said about it.
bool retryAfterRefusal(const QString &reason)
{
    const QString product = AppInfo::productName();
    if (SettingsStore::GetSetting(product, kSettingsSection, kIgnoreKey, QStringLiteral("0")) ==
        QLatin1String("1"))
        return false;
    MessageBoxes::Request request;
    request.title = QStringLiteral("Permission Denied");
    request.text = SettingsStore::permissionDeniedText();
    request.buttons = MessageBoxes::Abort | MessageBoxes::Retry | MessageBoxes::Ignore;
    request.icon = MessageBoxes::NoIcon;
    request.details = reason;
    switch (MessageBoxes::ask(nullptr, request)) {
    case MessageBoxes::Retry:
        return true;
    case MessageBoxes::Ignore:
        SettingsStore::SaveSetting(product, kSettingsSection, kIgnoreKey, QStringLiteral("1"));
        return false;
    default:
        return false;
    }
}
} // namespace

QString SettingsStore::machineKeyPath(const QString &appName, const QString &section)
{
    return QStringLiteral("SOFTWARE\\") + trimBlanks(AppInfo::companyName()) + QLatin1Char('\\') +
           trimBlanks(appName) + QLatin1Char('\\') + trimBlanks(section);
}

QString SettingsStore::permissionDeniedText()
{
    return AppInfo::productName() +
           QStringLiteral(
               " requires read/write access to its settings files and the disk in order to "
               "run properly.  This user account does not have the proper permissions set.  As a "
               "result some or all of your settings may not be properly saved.  Please contact "
               "your system administrator or change the permission settings for this account.") +
           QStringLiteral("\r\n\r\n") +
           QStringLiteral("If you would like to prevent this error message from being "
                          "displayed again, please press 'Ignore'.");
}

bool SettingsStore::SaveMachineSetting(const QString &appName, const QString &section,
                                       const QString &key, const QString &value)
{
    const std::shared_ptr<MachineRegistry> registry = currentRegistry();
    const QString path = machineKeyPath(appName, section);

    MachineRegistry::Key handle = 0;
    while (registry->createKey(path, &handle) != MachineRegistry::Success) {
        if (!retryAfterRefusal(registry->lastError()))
            return false;
    }
    KeyCloser closer(*registry, handle);

    // The string type keeps its terminating zero, and the size counts it.
    QByteArray data = value.toUtf8();
    data.append('\0');
    while (registry->setValue(handle, key, MachineRegistry::TypeString, data) !=
           MachineRegistry::Success) {
        if (!retryAfterRefusal(registry->lastError()))
            return false;
    }
    return true;
}

QString SettingsStore::GetMachineSetting(const QString &appName, const QString &section,
                                         const QString &key, const QString &defaultValue)
{
    if (trimBlanks(appName).isEmpty())
        throw TessalyError(ErrorBase + 1000, kSource, QStringLiteral("AppName may not be empty"));
    if (trimBlanks(section).isEmpty())
        throw TessalyError(ErrorBase + 1001, kSource, QStringLiteral("Section may not be empty"));
    if (trimBlanks(key).isEmpty())
        throw TessalyError(ErrorBase + 1002, kSource, QStringLiteral("Key may not be empty"));

    const std::shared_ptr<MachineRegistry> registry = currentRegistry();
    MachineRegistry::Key handle = 0;
    const long opened = registry->openKey(machineKeyPath(appName, section), &handle);
    if (opened == MachineRegistry::NotFound)
        return defaultValue;
    if (opened != MachineRegistry::Success) {
        throw TessalyError(ErrorBase + 2000 + opened, kSource,
                           QStringLiteral("Could not open settings section"));
    }
    KeyCloser closer(*registry, handle);

    quint32 type = 0;
    quint32 size = 0;
    if (registry->queryValue(handle, key, &type, nullptr, &size) != MachineRegistry::Success)
        return defaultValue;
    if (type != MachineRegistry::TypeString) {
        throw TessalyError(ErrorBase + 2000 + type, kSource,
                           QStringLiteral("Settings data not a string"));
    }
    if (size == 0)
        return QString();
    QByteArray data;
    if (registry->queryValue(handle, key, &type, &data, &size) != MachineRegistry::Success)
        return defaultValue;
    // Drop the terminating zero, and only that.
    if (data.endsWith('\0'))
        data.chop(1);
    return decodeText(data);
}

QString SettingsStore::GetSetting(const QString &appName, const QString &section,
                                  const QString &key, const QString &defaultValue)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, AppInfo::companyName(), appName);
    settings.beginGroup(section);
    return settings.value(key, defaultValue).toString();
}

bool SettingsStore::SaveSetting(const QString &appName, const QString &section, const QString &key,
                                const QString &value)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, AppInfo::companyName(), appName);
    settings.beginGroup(section);
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

std::shared_ptr<MachineRegistry>
SettingsStore::setMachineRegistry(std::shared_ptr<MachineRegistry> registry)
{
    std::shared_ptr<MachineRegistry> previous = std::move(installedRegistry());
    installedRegistry() = std::move(registry);
    return previous;
}
