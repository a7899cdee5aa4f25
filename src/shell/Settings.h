#pragma once

#include <optional>

#include <QString>
#include <QStringList>

// The program's settings, one typed accessor each. This is the one place that
// knows which store a setting lives in, its key, its default and how its text
// reads; the rest of the program never sees the stored texts.
class Settings
{
public:
    // "AutoSave New Pictures": machine area, key "autoSave", default off. On
    // only for the whole number 1; any other text, number or not, is off.
    // Throws TessalyError as SettingsStore::GetMachineSetting does when the
    // store cannot be read.
    static bool autoSave();
    // Stores "1" or "0"; true when stored (the "Permission Denied" box has then
    // been dealt with).
    static bool setAutoSave(bool on);

    // "Keep the camera's own pictures": machine area beside autoSave, key
    // "keepOriginal", default off, read and written by the same rule.
    static bool keepOriginal();
    static bool setKeepOriginal(bool on);

    // How long and how much of the saved pictures is kept, and the free space
    // autosave leaves on the disk: machine area beside autoSave, keys
    // "keepDays", "keepSize" and "minFree", stored as whole numbers (days,
    // bytes, bytes). 0 days or 0 bytes is no limit; a text that is no whole
    // number of at least 0 reads as the default: no limit for the first two,
    // DefaultMinFreeBytes for the floor. Reading throws like autoSave().
    static constexpr qint64 DefaultMinFreeBytes = qint64(1) << 30;
    static int keepDays();
    static bool setKeepDays(int days);
    static qint64 keepSize();
    static bool setKeepSize(qint64 bytes);
    static qint64 minFree();
    static bool setMinFree(qint64 bytes);

    // "Show at Startup" of the help window: per-user area, key "showHelp",
    // default on. The whole number 1 is on, 0 is off; any other text says
    // nothing (std::nullopt), and the start-up then does not open the help.
    static std::optional<bool> showHelp();
    // Stores "1" or "0"; true when it reached the disk.
    static bool setShowHelp(bool on);

    // "Reopen cameras at start": per-user area, key "reopenCams", default off,
    // read like showHelp but absent or unreadable counts as off.
    static bool reopenCams();
    static bool setReopenCams(bool on);

    // The cameras open when the window last closed, by name, in panel order:
    // per-user area, key "openCams". Empty names are dropped on reading.
    static QStringList openCams();
    static bool setOpenCams(const QStringList &names);

    // The MQTT events, in the machine area beside autoSave, so that each
    // program directory (one recorder with its own camera list) has its own.
    // "mqttBroker": the broker address as typed, password included, or empty
    // for off. Storing one with a password makes the machine settings file
    // readable by its owner only; nothing ever shows it unmasked.
    static QString mqttBroker();
    static bool setMqttBroker(const QString &address);
    // "mqttId": this recorder's name on the broker; empty for the host name.
    static QString mqttId();
    static bool setMqttId(const QString &id);
    // "mqttThumbnails": a small JPEG per saved picture too; off by default.
    static bool mqttThumbnails();
    static bool setMqttThumbnails(bool on);
    // "mqttPublished": the cameras that have retained messages on the broker,
    // as "<id>/<slug>", so a camera gone from the list is cleared even after
    // a restart.
    static QStringList mqttPublished();
    static bool setMqttPublished(const QStringList &entries);

    // How a switch is written into either store: "1" on, "0" off.
    static QString switchText(bool on);
};
