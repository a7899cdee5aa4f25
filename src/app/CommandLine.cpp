#include "CommandLine.h"

#include <cstdio>

#include <unistd.h>

#include <QCoreApplication>
#include <QTextStream>

#include "AppInfo.h"
#include "BrokerAddress.h"
#include "DisplayText.h"
#include "EventTopics.h"
#include "PictureRetention.h"
#include "RecordMode.h"
#include "TimelapseMode.h"
#include "TrustCertificate.h"
#include "WebPasswordCommand.h"

namespace {

// Qt's window options and whether each takes a value.
struct QtOption
{
    const char *name;
    bool takesValue;
};

constexpr QtOption kQtOptions[] = {
    {"-platform", true},        {"-style", true},    {"-stylesheet", true},
    {"-qwindowgeometry", true}, {"-reverse", false},
};

const QtOption *qtOption(const QString &argument)
{
    for (const QtOption &option : kQtOptions) {
        if (argument == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

CommandLine::Parsed failure(const QString &text)
{
    CommandLine::Parsed parsed;
    parsed.action = CommandLine::Action::Fail;
    parsed.message = QStringLiteral("tessaly: %1\nTry 'tessaly --help' for the options.").arg(text);
    parsed.exitCode = CommandLine::UsageExitCode;
    return parsed;
}

void printTo(std::FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

} // namespace

QString CommandLine::usage()
{
    const QString text = QStringLiteral(
        "Usage: tessaly [--record] [--autosave on|off|change] [--keep-original on|off]\n"
        "               [--detect on|off] [--also-every MINUTES]\n"
        "               [--keep-days N] [--keep-size SIZE] [--min-free SIZE]\n"
        "               [--web [ADDRESS:]PORT|off] [--web-cert FILE --web-key FILE]\n"
        "               [--mqtt ADDRESS|off] [--mqtt-id ID] [--mqtt-thumbnails [on|off]]\n"
        "       tessaly --trust-certificate HOST:PORT [--yes]\n"
        "       tessaly [--open NAME]... [--open-all] [--wall]\n"
        "       tessaly --timelapse NAME --from \"YYYY-MM-DD HH:MM\" --to \"YYYY-MM-DD HH:MM\"\n"
        "               [--speed N | --length SECONDS] [--fps N] --output FILE.mp4\n"
        "       tessaly --web-password\n"
        "Viewer and recorder for network cameras that publish a JPEG snapshot URL.\n"
        "\n"
        "Without options the main window opens. Cameras come from 00camlist.txt in the\n"
        "program directory: $TESSALY_HOME when set, else the executable's directory in\n"
        "a build tree or portable folder, else (installed) the per-user data directory\n"
        "${XDG_DATA_HOME:-~/.local/share}/%1/%2, made on the first start.\n"
        "\n"
        "  --record     record without a window: open every camera of the camera list\n"
        "               (up to 24, in file order), save new pictures into cam/ when\n"
        "               \"AutoSave New Pictures\" is ticked, print one line per saved\n"
        "               picture and per failed fetch; SIGINT or SIGTERM stops it\n"
        "  --autosave on|off|change\n"
        "               tick or untick \"AutoSave New Pictures\" (stored like the check\n"
        "               box of the main window), or save only changes: the picture\n"
        "               before a change, every changed one and two after it; then\n"
        "               record with --record or end\n"
        "  --detect on|off\n"
        "               find changes in the pictures (default on), stored like --autosave\n"
        "  --also-every MINUTES\n"
        "               when saving only changes, save one picture every MINUTES as\n"
        "               well (0: none), stored like --autosave\n"
        "  --keep-original on|off\n"
        "               save a camera's own JPEG byte for byte instead of re-encoding\n"
        "               it (\"Keep the camera's own pictures\"), stored like --autosave\n"
        "  --trust-certificate HOST:PORT\n"
        "               connect to an HTTPS camera, show its certificate's SHA-256\n"
        "               fingerprint, ask, and trust that one certificate for HOST:PORT\n"
        "               from then on; --yes trusts without asking\n"
        "  --keep-days N\n"
        "               delete saved pictures older than N days (0: keep them all)\n"
        "  --keep-size SIZE\n"
        "               keep at most SIZE of saved pictures, the oldest deleted first\n"
        "               (500M, 20G; 0: no limit)\n"
        "  --min-free SIZE\n"
        "               pause autosave while the disk has less than SIZE free\n"
        "               (default 1G; 0: never pause); all three are stored like --autosave\n"
        "  --web [ADDRESS:]PORT|off\n"
        "               serve the web view over HTTPS on ADDRESS (default 127.0.0.1;\n"
        "               0.0.0.0 for every network) and PORT (8443 by default), or not\n"
        "               at all; stored like --autosave\n"
        "  --web-cert FILE --web-key FILE\n"
        "               use your own PEM certificate and key for the web view instead\n"
        "               of the self-signed one Tessaly makes; stored like --autosave\n"
        "  --web-password\n"
        "               set the web view's password: asked twice on a terminal, else\n"
        "               one line read from standard input; only a hash is stored\n"
        "  --mqtt mqtt://[user:password@]host[:port] | mqtts://... | off\n"
        "               tell an MQTT broker about changes, stale cameras and saved\n"
        "               pictures, with Home Assistant discovery (mqtts: TLS checked\n"
        "               against the system's CAs, or a certificate trusted with\n"
        "               --trust-certificate HOST:PORT); off stops it; stored like --autosave\n"
        "  --mqtt-id ID this recorder's name in the topics tessaly/ID/... (letters,\n"
        "               digits, _ and -; default: the host name); stored\n"
        "  --mqtt-thumbnails [on|off]\n"
        "               also send a JPEG of at most 64 KB per saved picture; stored\n"
        "  --open NAME  open the camera of the list called NAME in the window at start,\n"
        "               as a double-click on it would; may be given more than once\n"
        "  --open-all   open every camera of the list in the window at start, in file\n"
        "               order, as far as the 24 panels go\n"
        "  --wall       start with the wall: every open camera tiled over the window\n"
        "               (View > Wall)\n"
        "  --timelapse NAME\n"
        "               make an H.264 MP4 video of camera NAME's saved pictures from\n"
        "               --from to --to (local times), each frame showing the picture of\n"
        "               its moment; --speed N plays N real seconds per second (default\n"
        "               60), or --length SECONDS sets the video's length; --fps (default\n"
        "               30); a gap of more than a few frames is cut. Progress goes to\n"
        "               standard error; the file appears under --output only when done\n"
        "  -h, --help   show this text\n"
        "  --version    show the version\n"
        "\n"
        "Exit codes: 0 done or stopped by a signal, 1 nothing to record, no pictures or\n"
        "a failure, 2 a wrong command line.");
    return text.arg(AppInfo::companyName(), AppInfo::productName());
}

QString CommandLine::versionText()
{
    return QStringLiteral("%1 %2 by %3")
        .arg(AppInfo::productName(), AppInfo::versionString(), AppInfo::companyName());
}

CommandLine::Parsed CommandLine::parse(const QStringList &arguments)
{
    bool record = false;
    bool help = false;
    bool version = false;
    Parsed parsed;
    OpenRequest open;
    // "on" or "off" after a switch option; the last word counts.
    const auto switchValue = [&](qsizetype &i, std::optional<bool> &into) {
        const QString value = i + 1 < arguments.size() ? arguments.at(i + 1) : QString();
        ++i;
        if (value == QLatin1String("on") || value == QLatin1String("1"))
            into = true;
        else if (value == QLatin1String("off") || value == QLatin1String("0"))
            into = false;
        else
            return false;
        return true;
    };
    QString trustTarget;
    bool yes = false;
    bool timelapse = false;
    bool windowOptions = false;
    QStringList timelapseOptions;
    bool webPassword = false;
    const auto valueAfter = [&](qsizetype &i) {
        ++i;
        return i < arguments.size() ? arguments.at(i) : QString();
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--record")) {
            record = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            help = true;
        } else if (argument == QLatin1String("--version")) {
            version = true;
        } else if (argument == QLatin1String("--autosave")) {
            const QString value = valueAfter(i);
            if (value == QLatin1String("change"))
                parsed.autoSave = Settings::AutoSaveMode::Change;
            else if (value == QLatin1String("on") || value == QLatin1String("1"))
                parsed.autoSave = Settings::AutoSaveMode::Every;
            else if (value == QLatin1String("off") || value == QLatin1String("0"))
                parsed.autoSave = Settings::AutoSaveMode::Off;
            else
                return failure(QStringLiteral("option '--autosave' takes on, off or change"));
        } else if (argument == QLatin1String("--keep-original") ||
                   argument == QLatin1String("--detect")) {
            if (!switchValue(i, argument == QLatin1String("--detect") ? parsed.detect
                                                                      : parsed.keepOriginal))
                return failure(QStringLiteral("option '%1' takes on or off").arg(argument));
        } else if (argument == QLatin1String("--also-every")) {
            const QString value = valueAfter(i);
            bool ok = false;
            const int minutes = value.toInt(&ok);
            if (!ok || minutes < 0 || minutes > MaxAlsoEveryMinutes || value.isEmpty() ||
                !value.front().isDigit())
                return failure(QStringLiteral("option '--also-every' takes whole minutes from 0 "
                                              "(none) to %1, not '%2'")
                                   .arg(MaxAlsoEveryMinutes)
                                   .arg(value));
            parsed.alsoEveryMinutes = minutes;
        } else if (argument == QLatin1String("--trust-certificate")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).startsWith(QLatin1Char('-')))
                return failure(QStringLiteral("option '--trust-certificate' needs HOST:PORT"));
            trustTarget = arguments.at(++i);
        } else if (argument == QLatin1String("--yes")) {
            yes = true;
        } else if (argument == QLatin1String("--keep-days")) {
            const QString value = valueAfter(i);
            bool ok = false;
            const int days = value.toInt(&ok);
            // Digits only: "+3", " 3" or "3.0" in a service file is more likely a slip.
            if (!ok || days < 0 || value.isEmpty() || !value.front().isDigit())
                return failure(QStringLiteral("option '--keep-days' takes a whole number of days "
                                              "(0 for no limit), not '%1'")
                                   .arg(value));
            parsed.keepDays = days;
        } else if (argument == QLatin1String("--keep-size") ||
                   argument == QLatin1String("--min-free")) {
            const QString value = valueAfter(i);
            const std::optional<qint64> bytes = PictureRetention::parseSize(value);
            if (!bytes)
                return failure(QStringLiteral("option '%1' takes a size like 500M or 20G (0 for "
                                              "none), not '%2'")
                                   .arg(argument, value));
            (argument == QLatin1String("--keep-size") ? parsed.keepSize : parsed.minFree) = *bytes;
        } else if (argument == QLatin1String("--timelapse")) {
            if (++i >= arguments.size() || arguments.at(i).isEmpty())
                return failure(QStringLiteral("option '--timelapse' needs a camera name"));
            timelapse = true;
            parsed.timelapse.camera = arguments.at(i);
        } else if (argument == QLatin1String("--from") || argument == QLatin1String("--to")) {
            const QString value = valueAfter(i);
            const QDateTime moment =
                QDateTime::fromString(value, QStringLiteral("yyyy-MM-dd HH:mm"));
            if (!moment.isValid())
                return failure(QStringLiteral("option '%1' takes a local time like "
                                              "\"2026-07-12 08:00\", not '%2'")
                                   .arg(argument, value));
            (argument == QLatin1String("--from") ? parsed.timelapse.from : parsed.timelapse.to) =
                moment;
            timelapseOptions << argument;
        } else if (argument == QLatin1String("--speed") || argument == QLatin1String("--length")) {
            const QString value = valueAfter(i);
            bool ok = false;
            const double number = value.toDouble(&ok);
            if (!ok || !(number > 0) || number > 1e7)
                return failure(QStringLiteral("option '%1' takes a number above 0, not '%2'")
                                   .arg(argument, value));
            (argument == QLatin1String("--speed") ? parsed.timelapse.speed
                                                  : parsed.timelapse.length) = number;
            timelapseOptions << argument;
        } else if (argument == QLatin1String("--fps")) {
            const QString value = valueAfter(i);
            bool ok = false;
            const int fps = value.toInt(&ok);
            if (!ok || fps < 1 || fps > 120)
                return failure(
                    QStringLiteral("option '--fps' takes 1 to 120, not '%1'").arg(value));
            parsed.timelapse.fps = fps;
            timelapseOptions << argument;
        } else if (argument == QLatin1String("--output")) {
            if (++i >= arguments.size() || arguments.at(i).isEmpty())
                return failure(QStringLiteral("option '--output' needs a file name"));
            parsed.timelapse.output = arguments.at(i);
            timelapseOptions << argument;
        } else if (argument == QLatin1String("--web")) {
            const QString value = valueAfter(i);
            parsed.webView = Settings::parseWebView(value);
            if (!parsed.webView)
                return failure(QStringLiteral("option '--web' takes [ADDRESS:]PORT (a numeric "
                                              "address, a port from 1 to 65535) or off, not '%1'")
                                   .arg(value));
        } else if (argument == QLatin1String("--web-cert") ||
                   argument == QLatin1String("--web-key")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty())
                return failure(QStringLiteral("option '%1' needs a file").arg(argument));
            (argument == QLatin1String("--web-cert") ? parsed.webCertificate : parsed.webKey) =
                arguments.at(++i);
        } else if (argument == QLatin1String("--web-password")) {
            webPassword = true;
        } else if (argument == QLatin1String("--mqtt")) {
            const QString value = valueAfter(i);
            if (value == QLatin1String("off")) {
                parsed.mqttBroker = QString();
            } else {
                const Result<BrokerAddress> broker = BrokerAddress::parse(value);
                // The value may hold a password: it is never echoed as typed.
                if (!broker)
                    return failure(QStringLiteral("option '--mqtt' takes a broker address or "
                                                  "off, not '%1': %2")
                                       .arg(DisplayText::address(value), broker.errorText()));
                parsed.mqttBroker = broker.value().text();
            }
        } else if (argument == QLatin1String("--mqtt-id")) {
            const QString value = valueAfter(i);
            if (!EventTopics::isValidId(value))
                return failure(QStringLiteral("option '--mqtt-id' takes 1 to 64 letters, digits, "
                                              "_ or -, not '%1'")
                                   .arg(DisplayText::escapeControls(value)));
            parsed.mqttId = value;
        } else if (argument == QLatin1String("--mqtt-thumbnails")) {
            // A bare --mqtt-thumbnails is on; an on or off after it decides.
            const QString next = i + 1 < arguments.size() ? arguments.at(i + 1) : QString();
            if (next == QLatin1String("on") || next == QLatin1String("off") ||
                next == QLatin1String("1") || next == QLatin1String("0")) {
                if (!switchValue(i, parsed.mqttThumbnails))
                    return failure(QStringLiteral("option '--mqtt-thumbnails' takes on or off"));
            } else {
                parsed.mqttThumbnails = true;
            }
        } else if (argument == QLatin1String("--open")) {
            if (++i >= arguments.size() || arguments.at(i).isEmpty())
                return failure(QStringLiteral("option '--open' needs a camera name"));
            open.names << arguments.at(i);
        } else if (argument == QLatin1String("--open-all")) {
            open.all = true;
        } else if (argument == QLatin1String("--wall")) {
            open.wall = true;
        } else if (const QtOption *option = qtOption(argument)) {
            windowOptions = true;
            if (option->takesValue && ++i >= arguments.size())
                return failure(QStringLiteral("option '%1' needs a value").arg(argument));
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return failure(QStringLiteral("unknown option '%1'").arg(argument));
        } else {
            return failure(QStringLiteral("unexpected argument '%1'").arg(argument));
        }
    }
    if (parsed.webCertificate.has_value() != parsed.webKey.has_value() && !help && !version)
        return failure(QStringLiteral("'--web-cert' and '--web-key' go together"));
    if (yes && trustTarget.isEmpty() && !help && !version)
        return failure(QStringLiteral("option '--yes' belongs to '--trust-certificate'"));
    parsed.open = open;
    const bool opens = open.all || !open.names.isEmpty();
    if (open.wall && !help && !version &&
        (record || parsed.storesSomething() || !trustTarget.isEmpty()))
        return failure(QStringLiteral("--wall is for the window"));
    if (!timelapse && !timelapseOptions.isEmpty() && !help && !version)
        return failure(
            QStringLiteral("option '%1' belongs to '--timelapse'").arg(timelapseOptions.first()));
    if (help) {
        parsed.action = Action::Help;
        parsed.message = usage();
    } else if (version) {
        parsed.action = Action::Version;
        parsed.message = versionText();
    } else if (timelapse) {
        // A video is made without a window, cameras or stored settings.
        if (record || parsed.storesSomething() || opens || windowOptions ||
            !trustTarget.isEmpty() || yes)
            return failure(QStringLiteral("'--timelapse' goes alone with its own options"));
        const TimelapseRequest &request = parsed.timelapse;
        if (!request.from.isValid() || !request.to.isValid() || request.output.isEmpty())
            return failure(QStringLiteral("'--timelapse' needs --from, --to and --output"));
        if (request.to <= request.from)
            return failure(QStringLiteral("'--to' must come after '--from'"));
        if (request.speed && request.length)
            return failure(QStringLiteral("'--speed' and '--length' do not go together"));
        parsed.action = Action::Timelapse;
    } else if (webPassword) {
        if (record || parsed.storesSomething() || opens || !trustTarget.isEmpty())
            return failure(QStringLiteral("'--web-password' goes alone"));
        parsed.action = Action::SetWebPassword;
    } else if (!trustTarget.isEmpty()) {
        if (record || parsed.storesSomething() || opens)
            return failure(QStringLiteral("'--trust-certificate' goes alone (with '--yes')"));
        parsed.action = Action::TrustCertificate;
        parsed.trustTarget = trustTarget;
        parsed.yes = yes;
    } else if ((!open.names.isEmpty() && record) ||
               (opens && !record && parsed.storesSomething())) {
        // Opening is the window's. The recorder opens every camera, which is
        // what --open-all asks, but not only some; a settings-only run ends
        // before any window shows.
        return failure(QStringLiteral("--open and --open-all are for the window; the recorder "
                                      "opens every camera, and settings options without "
                                      "--record only store"));
    } else if (record) {
        parsed.action = Action::Record;
    } else if (parsed.storesSomething()) {
        parsed.action = Action::StoreSettings;
    }
    return parsed;
}

std::optional<int> CommandLine::run(int &argc, char **argv, OpenRequest *open)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Parsed parsed = parse(arguments);
    switch (parsed.action) {
    case Action::Window:
        if (open)
            *open = parsed.open;
        return std::nullopt;
    case Action::Help:
    case Action::Version:
        printTo(stdout, parsed.message);
        return parsed.exitCode;
    case Action::Fail:
        printTo(stderr, parsed.message);
        return parsed.exitCode;
    case Action::StoreSettings:
    case Action::Record: {
        return RecordMode::run(argc, argv,
                               {parsed.autoSave, parsed.detect, parsed.alsoEveryMinutes,
                                parsed.keepOriginal, parsed.keepDays, parsed.keepSize,
                                parsed.minFree, parsed.webView, parsed.webCertificate,
                                parsed.webKey, parsed.mqttBroker, parsed.mqttId,
                                parsed.mqttThumbnails},
                               parsed.action == Action::Record);
    }
    case Action::Timelapse:
        return TimelapseMode::run(argc, argv, parsed.timelapse);
    case Action::SetWebPassword: {
        QCoreApplication app(argc, argv);
        AppInfo::applyToApplication();
        return WebPasswordCommand::run(WebPasswordCommand::consoleIo());
    }
    case Action::TrustCertificate: {
        QCoreApplication app(argc, argv);
        AppInfo::applyToApplication();
        QTextStream out(stdout);
        QTextStream err(stderr);
        QTextStream in(stdin);
        const TrustCertificate::Io io{out, err,
                                      [&in]() -> std::optional<QString> {
                                          QString line;
                                          if (!in.readLineInto(&line))
                                              return std::nullopt;
                                          return line;
                                      },
                                      ::isatty(STDIN_FILENO) == 1};
        return TrustCertificate::run(parsed.trustTarget, parsed.yes, io);
    }
    }
    return UsageExitCode;
}
