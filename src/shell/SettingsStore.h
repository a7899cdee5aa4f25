#pragma once

#include <memory>

#include <QString>

class MachineRegistry;

// The settings that outlive a run: texts addressed by application name (the
// product name), section ("Settings") and key, in two areas.
// - The machine area (GetMachineSetting / SaveMachineSetting) belongs to this
//   copy of the program and is shared by all its users: "autoSave".
// - The per-user area (GetSetting / SaveSetting) is QSettings in user scope,
//   INI format, organisation = company name: "showHelp",
//   "IgnorePermissionDeniedError".
class SettingsStore
{
public:
    // Numbered read errors of the machine area are ErrorBase + n.
    static constexpr qint64 ErrorBase = 0x80040000;

    // Stores value as a string under key in the machine area. A refused step
    // brings up the "Permission Denied" warning (unless the user chose Ignore
    // once): Retry repeats the step, Abort and Ignore give the write up.
    // Returns true when the value was stored.
    static bool SaveMachineSetting(const QString &appName, const QString &section,
                                   const QString &key, const QString &value);

    // The stored text, or defaultValue when the key or value is missing or cannot
    // be read. Throws TessalyError for blank names (ErrorBase + 1000, 1001, 1002),
    // a section that cannot be opened (ErrorBase + 2000 + status) and a value
    // that is not a string (ErrorBase + 2000 + type).
    static QString GetMachineSetting(const QString &appName, const QString &section,
                                     const QString &key, const QString &defaultValue);

    // The per-user area. SaveSetting answers whether the value reached the disk.
    static QString GetSetting(const QString &appName, const QString &section, const QString &key,
                              const QString &defaultValue);
    static bool SaveSetting(const QString &appName, const QString &section, const QString &key,
                            const QString &value);

    // "SOFTWARE\<company>\<appName>\<section>", each name stripped of blanks at both ends.
    static QString machineKeyPath(const QString &appName, const QString &section);

    // The text of the "Permission Denied" warning, with the product name.
    static QString permissionDeniedText();

    // The registry the machine area uses: by default a MachineRegistry over
    // MachineRegistry::defaultFilePath(), looked up anew on every call. Tests
    // install their own; nullptr restores the default. Returns the previous one.
    static std::shared_ptr<MachineRegistry>
    setMachineRegistry(std::shared_ptr<MachineRegistry> registry);
};
