#include "Settings.h"

#include "AppInfo.h"
#include "SettingsStore.h"

namespace {

const QString kSection = QStringLiteral("Settings");
const QString kAutoSave = QStringLiteral("autoSave");
const QString kShowHelp = QStringLiteral("showHelp");

// The one reading of a stored switch: a whole number, blanks around it allowed.
std::optional<int> wholeNumber(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

} // namespace

QString Settings::switchText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

bool Settings::autoSave()
{
    const QString stored = SettingsStore::GetMachineSetting(AppInfo::productName(), kSection,
                                                            kAutoSave, switchText(false));
    return wholeNumber(stored) == 1;
}

bool Settings::setAutoSave(bool on)
{
    return SettingsStore::SaveMachineSetting(AppInfo::productName(), kSection, kAutoSave,
                                             switchText(on));
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
