#include "CommandLine.h"

#include <cstdio>

#include "AppInfo.h"
#include "RecordMode.h"

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
    return {CommandLine::Action::Fail,
            QStringLiteral("tessaly: %1\nTry 'tessaly --help' for the options.").arg(text),
            CommandLine::UsageExitCode,
            std::nullopt,
            std::nullopt,
            {}};
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
        "Usage: tessaly [--record] [--autosave on|off] [--keep-original on|off]\n"
        "       tessaly [--open NAME]... [--open-all]\n"
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
        "  --autosave on|off\n"
        "               tick or untick \"AutoSave New Pictures\" (stored like the check\n"
        "               box of the main window), then record with --record or end\n"
        "  --keep-original on|off\n"
        "               save a camera's own JPEG byte for byte instead of re-encoding\n"
        "               it (\"Keep the camera's own pictures\"), stored like --autosave\n"
        "  --open NAME  open the camera of the list called NAME in the window at start,\n"
        "               as a double-click on it would; may be given more than once\n"
        "  --open-all   open every camera of the list in the window at start, in file\n"
        "               order, as far as the 24 panels go\n"
        "  -h, --help   show this text\n"
        "  --version    show the version\n"
        "\n"
        "Exit codes: 0 done or stopped by a signal, 1 nothing to record or a start-up\n"
        "failure, 2 a wrong command line.");
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
    std::optional<bool> autoSave;
    std::optional<bool> keepOriginal;
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
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--record")) {
            record = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            help = true;
        } else if (argument == QLatin1String("--version")) {
            version = true;
        } else if (argument == QLatin1String("--autosave") ||
                   argument == QLatin1String("--keep-original")) {
            if (!switchValue(i, argument == QLatin1String("--autosave") ? autoSave : keepOriginal))
                return failure(QStringLiteral("option '%1' takes on or off").arg(argument));
        } else if (argument == QLatin1String("--open")) {
            if (++i >= arguments.size() || arguments.at(i).isEmpty())
                return failure(QStringLiteral("option '--open' needs a camera name"));
            open.names << arguments.at(i);
        } else if (argument == QLatin1String("--open-all")) {
            open.all = true;
        } else if (const QtOption *option = qtOption(argument)) {
            if (option->takesValue && ++i >= arguments.size())
                return failure(QStringLiteral("option '%1' needs a value").arg(argument));
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return failure(QStringLiteral("unknown option '%1'").arg(argument));
        } else {
            return failure(QStringLiteral("unexpected argument '%1'").arg(argument));
        }
    }
    if (help)
        return {Action::Help, usage(), 0, autoSave, keepOriginal, open};
    if (version)
        return {Action::Version, versionText(), 0, autoSave, keepOriginal, open};
    // Opening is the window's. The recorder opens every camera, which is what
    // --open-all asks, but not only some; a settings-only run ends before any
    // window shows.
    if ((!open.names.isEmpty() && record) ||
        ((open.all || !open.names.isEmpty()) && !record && (autoSave || keepOriginal)))
        return failure(QStringLiteral("--open and --open-all are for the window; the recorder "
                                      "opens every camera, and --autosave or --keep-original "
                                      "without --record only stores"));
    Parsed parsed{record ? Action::Record : Action::Window, {}, 0, autoSave, keepOriginal, open};
    if (!record && (autoSave || keepOriginal))
        parsed.action = Action::StoreSettings;
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
        return RecordMode::run(argc, argv, {parsed.autoSave, parsed.keepOriginal}, false);
    case Action::Record:
        return RecordMode::run(argc, argv, {parsed.autoSave, parsed.keepOriginal}, true);
    }
    return UsageExitCode;
}
