#pragma once

#include <optional>

#include <QString>
#include <QStringList>

// What the command line asks for. Without options the program opens its main
// window; --record records headless; --autosave on|off stores the "AutoSave
// New Pictures" option the way its check box does (a box without a desktop has
// no other way to tick it), and --keep-original on|off the "Keep the camera's
// own pictures" option; --keep-days, --keep-size and --min-free the limits
// of the saved pictures; --mqtt, --mqtt-id and --mqtt-thumbnails the MQTT
// events; --open NAME (repeatable) and --open-all open cameras
// of the list in the window at start; --trust-certificate HOST:PORT [--yes]
// trusts one HTTPS camera's certificate; --help and --version answer and end.
// Anything else is refused with exit code 2 before any window or camera is
// touched, so a typo in a service file fails loudly instead of opening a GUI.
class CommandLine
{
public:
    enum class Action { Window, Record, StoreSettings, TrustCertificate, Help, Version, Fail };

    // The cameras the window opens at start, as double-clicks on the list would.
    struct OpenRequest
    {
        QStringList names; // --open, in the order given
        bool all = false;  // --open-all
    };

    struct Parsed
    {
        Action action = Action::Window;
        QString message; // usage, version text or the error, for Help/Version/Fail
        int exitCode = 0;
        // --autosave and --keep-original: the options to store before anything
        // else happens.
        std::optional<bool> autoSave;
        std::optional<bool> keepOriginal;
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

        bool storesSomething() const
        {
            return autoSave || keepOriginal || keepDays || keepSize || minFree || mqttBroker ||
                   mqttId || mqttThumbnails;
        }
        OpenRequest open;
    };

    static constexpr int UsageExitCode = 2;

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
