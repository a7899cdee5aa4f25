#pragma once

#include <optional>

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "Settings.h"

// What the command line asks for. Without options the program opens its main
// window; --record records headless; --autosave on|off|change stores the
// "AutoSave New Pictures" option the way its check box does (a box without a
// desktop has no other way to tick it), or "Save only changes"; --detect
// on|off switches change detection, --also-every MINUTES adds a regular
// picture to saving only changes; --keep-original on|off the "Keep the
// camera's own pictures" option; --keep-days, --keep-size and --min-free the limits
// of the saved pictures; --open NAME (repeatable) and --open-all open cameras
// of the list in the window at start, --wall shows them as a wall;
// --trust-certificate HOST:PORT [--yes]
// trusts one HTTPS camera's certificate; --timelapse NAME --from --to
// --output makes a timelapse video of saved pictures headless; --web
// [ADDRESS:]PORT|off, --web-cert FILE and --web-key FILE store how the web
// view listens, --web-password sets its password; --mqtt, --mqtt-id and
// --mqtt-thumbnails store the MQTT events; --help and --version answer and
// end.
// Anything else is refused with exit code 2 before any window or camera is
// touched, so a typo in a service file fails loudly instead of opening a GUI.
class CommandLine
{
public:
    enum class Action {
        Window,
        Record,
        StoreSettings,
        TrustCertificate,
        Timelapse,
        SetWebPassword,
        Help,
        Version,
        Fail
    };

    // --timelapse NAME --from "YYYY-MM-DD HH:MM" --to "YYYY-MM-DD HH:MM"
    // [--speed N | --length SECONDS] [--fps N] --output FILE.mp4
    struct TimelapseRequest
    {
        QString camera;               // the camera's name as in the list
        QDateTime from;               // local
        QDateTime to;                 // local, after from
        std::optional<double> speed;  // real seconds per video second
        std::optional<double> length; // seconds of video
        int fps = 30;
        QString output;
    };

    // The cameras the window opens at start, as double-clicks on the list would.
    struct OpenRequest
    {
        QStringList names; // --open, in the order given
        bool all = false;  // --open-all
        bool wall = false; // --wall: the window starts showing the wall of all cameras
    };

    struct Parsed
    {
        Action action = Action::Window;
        QString message; // usage, version text or the error, for Help/Version/Fail
        int exitCode = 0;
        // --autosave, --keep-original, --detect and --also-every: the options
        // to store before anything else happens.
        std::optional<Settings::AutoSaveMode> autoSave;
        std::optional<bool> keepOriginal;
        std::optional<bool> detect;
        std::optional<int> alsoEveryMinutes; // 0: none
        // --trust-certificate HOST:PORT, and whether --yes answered the question.
        QString trustTarget;
        bool yes = false;
        // --keep-days, --keep-size, --min-free: days and bytes, 0 for no limit.
        std::optional<int> keepDays;
        std::optional<qint64> keepSize;
        std::optional<qint64> minFree;
        // --mqtt ADDRESS|off (off: empty), --mqtt-id ID, --mqtt-thumbnails [on|off].
        std::optional<QString> mqttBroker;
        std::optional<QString> mqttId;
        std::optional<bool> mqttThumbnails;

        // --web: the web view switched off, or on at an address and port.
        std::optional<Settings::WebView> webView;
        // --web-cert and --web-key, always both; as given on the command line.
        std::optional<QString> webCertificate;
        std::optional<QString> webKey;

        bool storesSomething() const
        {
            return autoSave || keepOriginal || keepDays || keepSize || minFree || detect ||
                   alsoEveryMinutes || webView || webCertificate || mqttBroker || mqttId ||
                   mqttThumbnails;
        }
        OpenRequest open;
        TimelapseRequest timelapse;
    };

    static constexpr int UsageExitCode = 2;
    // The longest --also-every: a week.
    static constexpr int MaxAlsoEveryMinutes = 7 * 24 * 60;

    // Parses the arguments after the program name. Pure: prints nothing.
    // Qt's own window options (-platform NAME, -style NAME, -stylesheet FILE,
    // -qwindowgeometry GEOMETRY, -reverse) are let through for the window.
    static Parsed parse(const QStringList &arguments);

    static QString usage();
    static QString versionText();

    // Handles every action except opening the window: prints help, version or
    // the error, or runs the headless recorder until SIGINT/SIGTERM. Returns the
    // exit code, or nothing when main() should go on and open the main window,
    // with the cameras to open at start in *open. Call it before any
    // application object exists.
    static std::optional<int> run(int &argc, char **argv, OpenRequest *open = nullptr);
};
