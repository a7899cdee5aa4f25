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

    // What autosave saves: nothing, every new picture, or only what change
    // detection finds ("Save only changes"). The same key "autoSave" holds
    // "0", "1" or "change", so settings written before keep their meaning,
    // and a build that knows no change mode reads "change" as off (any text
    // but 1 is off) rather than saving every picture. Any other text is off.
    // Reading throws like autoSave().
    enum class AutoSaveMode { Off, Every, Change };
    static AutoSaveMode autoSaveMode();
    static bool setAutoSaveMode(AutoSaveMode mode);

    // Change detection at all ("--detect"): machine area beside autoSave, key
    // "detect", default on; off only for the whole number 0.
    static bool detect();
    static bool setDetect(bool on);

    // In change mode, a regular picture every so many minutes as well
    // ("--also-every"): machine area, key "alsoEvery", 0 for none, read like
    // keepDays.
    static int alsoEveryMinutes();
    static bool setAlsoEveryMinutes(int minutes);

    // Change detection of one camera, by its name in the camera list: per-user
    // area, section "Detection", one group per camera (the name
    // percent-encoded, so any name is a safe key). The sensitivity runs from
    // 1 to 100, the minimum area from 0.1 to 100 percent of the picture; a
    // text that is no number in range reads as the default. The mask is the
    // detector's own text of the excluded cells, "" for none.
    static constexpr int DefaultDetectionSensitivity = 50;
    static constexpr int MinDetectionSensitivity = 1;
    static constexpr int MaxDetectionSensitivity = 100;
    static constexpr double DefaultDetectionMinArea = 1.0;
    static constexpr double MinDetectionMinArea = 0.1;
    static constexpr double MaxDetectionMinArea = 100.0;
    static int detectionSensitivity(const QString &camera);
    static bool setDetectionSensitivity(const QString &camera, int sensitivity);
    static double detectionMinArea(const QString &camera);
    static bool setDetectionMinArea(const QString &camera, double percent);
    static QString detectionMask(const QString &camera);
    static bool setDetectionMask(const QString &camera, const QString &mask);

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

    // "Fit" of the viewer: the whole picture in the viewer rather than a zoom
    // of 1 to 5. Per-user area, key "viewerFit", default on; read like
    // showHelp, anything but 0 counts as on.
    static bool viewerFit();
    static bool setViewerFit(bool on);

    // The cameras open when the window last closed, by name, in panel order:
    // per-user area, key "openCams". Empty names are dropped on reading.
    static QStringList openCams();
    static bool setOpenCams(const QStringList &names);

    // The web view: per-user area, key "webView", default off. Stored as "off"
    // or "ADDRESS:PORT" ("[ADDRESS]:PORT" for IPv6); read by parseWebView, and
    // a text that does not parse reads as off.
    struct WebView
    {
        bool on = false;
        QString address = QStringLiteral("127.0.0.1");
        quint16 port = 8443;
        friend bool operator==(const WebView &, const WebView &) = default;
    };
    static WebView webView();
    static bool setWebView(const WebView &view);
    // "off", "PORT" or "ADDRESS:PORT" (an IPv6 address in brackets); the
    // address defaults to 127.0.0.1. Nothing for any other text, port 0 or a
    // port over 65535.
    static std::optional<WebView> parseWebView(const QString &text);
    static QString webViewText(const WebView &view);

    // The user's own certificate and key for the web view (PEM files): per-user
    // area, keys "webCertificate" and "webKey", empty for the certificate
    // Tessaly makes itself.
    static QString webCertificate();
    static QString webKey();
    static bool setWebCertificate(const QString &certificatePath, const QString &keyPath);

    // The web view's password as an Argon2id hash string ("$argon2id$..."):
    // per-user area, key "webPasswordHash", empty when none is set. The
    // password itself is never stored.
    static QString webPasswordHash();
    static bool setWebPasswordHash(const QString &hash);
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
