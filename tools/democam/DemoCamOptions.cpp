#include "DemoCamOptions.h"

#include <array>
#include <utility>

#include "AppInfo.h"

namespace {

constexpr std::array<std::pair<BrokenMode, const char *>, 10> kModeNames{{
    {BrokenMode::None, "none"},
    {BrokenMode::Truncate, "truncate"},
    {BrokenMode::Html, "html"},
    {BrokenMode::NoLastModified, "no-last-modified"},
    {BrokenMode::NoLength, "no-length"},
    {BrokenMode::LowercaseHeaders, "lowercase-headers"},
    {BrokenMode::HugeHeader, "huge-header"},
    {BrokenMode::BadJpeg, "bad-jpeg"},
    {BrokenMode::Garbage, "garbage"},
    {BrokenMode::NeverAnswer, "never-answer"},
}};

// A whole decimal number within [low, high], nothing else (no sign, no blanks).
std::optional<qint64> boundedNumber(const QString &text, qint64 low, qint64 high)
{
    if (text.isEmpty() || text.size() > 12)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

DemoCamOptions::Parsed failure(const QString &message)
{
    DemoCamOptions::Parsed parsed;
    parsed.action = DemoCamOptions::Action::Fail;
    parsed.exitCode = 2;
    parsed.message =
        QStringLiteral("tessaly-democam: %1\nTry 'tessaly-democam --help'.").arg(message);
    return parsed;
}

QString modeList()
{
    QStringList names;
    for (const auto &[mode, name] : kModeNames) {
        if (mode != BrokenMode::None)
            names << QLatin1String(name);
    }
    return names.join(QStringLiteral(", "));
}

} // namespace

int DemoCamOptions::changeEveryFor(int camera) const
{
    if (changeEvery.isEmpty())
        return 1;
    return changeEvery.at((qMax(camera, 1) - 1) % changeEvery.size());
}

BrokenMode DemoCamOptions::brokenFor(int camera) const
{
    return brokenCamera.value(camera, brokenAll);
}

QString DemoCamOptions::brokenModeName(BrokenMode mode)
{
    for (const auto &[m, name] : kModeNames) {
        if (m == mode)
            return QLatin1String(name);
    }
    return QString();
}

std::optional<BrokenMode> DemoCamOptions::brokenModeFromName(const QString &name)
{
    for (const auto &[mode, text] : kModeNames) {
        if (name == QLatin1String(text))
            return mode;
    }
    return std::nullopt;
}

QString DemoCamOptions::versionText()
{
    return QStringLiteral("tessaly-democam %1").arg(AppInfo::versionString());
}

QString DemoCamOptions::usage()
{
    return QStringLiteral(
               "Usage: tessaly-democam [options]\n"
               "Serves synthetic snapshot cameras on http://127.0.0.1:PORT/cam1.jpg ... camN.jpg\n"
               "\n"
               "  --port P              TCP port on 127.0.0.1; 0 picks a free one (default 0)\n"
               "  --cameras N           number of cameras, 1 to 24 (default 4)\n"
               "  --size WxH            picture size (default 1280x720)\n"
               "  --change-every S[,S]  seconds between new pictures, taken in turn by the\n"
               "                        cameras (default 2,3,4,5)\n"
               "  --quality Q           JPEG quality, 1 to 100 (default 85)\n"
               "  --scene NAME          what the cameras show: %2 (default shapes);\n"
               "                        the others are views to try change detection on\n"
               "  --scene-offset S      draw the scene S seconds ahead of the clock (0 to\n"
               "                        86400), so a test can start just before its event\n"
               "  --slow BYTES_PER_SEC  send every response at this rate\n"
               "  --broken [N:]MODE     misbehave on every camera, or on camera N only;\n"
               "                        MODE is one of: %1\n"
               "  --daytime-port P      also tell the time by the daytime protocol on this\n"
               "                        port of 127.0.0.1; 0 picks a free one\n"
               "  --help                show this text\n"
               "  --version             show the version\n"
               "\n"
               "The first line on standard output names the port, the second the daytime "
               "port\nwhen asked for. SIGINT or SIGTERM stops the server.\n")
        .arg(modeList(), DemoCamScene::kindNames().join(QLatin1Char('|')));
}

DemoCamOptions::Parsed DemoCamOptions::parse(const QStringList &arguments)
{
    Parsed parsed;
    DemoCamOptions &o = parsed.options;

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        std::optional<QString> inlineValue;
        if (name.startsWith(QLatin1String("--"))) {
            const qsizetype eq = name.indexOf(QLatin1Char('='));
            if (eq > 0) {
                inlineValue = name.mid(eq + 1);
                name.truncate(eq);
            }
        }

        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            parsed.action = Action::Help;
            parsed.exitCode = 0;
            parsed.message = usage();
            return parsed;
        }
        if (name == QLatin1String("--version")) {
            parsed.action = Action::Version;
            parsed.exitCode = 0;
            parsed.message = versionText();
            return parsed;
        }

        static const QStringList withValue{
            QStringLiteral("--port"),    QStringLiteral("--cameras"),
            QStringLiteral("--size"),    QStringLiteral("--change-every"),
            QStringLiteral("--quality"), QStringLiteral("--slow"),
            QStringLiteral("--broken"),  QStringLiteral("--daytime-port"),
            QStringLiteral("--scene"),   QStringLiteral("--scene-offset")};
        if (!withValue.contains(name)) {
            if (name.startsWith(QLatin1Char('-')))
                return failure(QStringLiteral("unknown option '%1'").arg(name));
            return failure(QStringLiteral("unexpected argument '%1'").arg(name));
        }
        QString value;
        if (inlineValue) {
            value = *inlineValue;
        } else {
            if (i + 1 >= arguments.size())
                return failure(QStringLiteral("option '%1' needs a value").arg(name));
            value = arguments.at(++i);
        }
        auto bad = [&](const QString &what) {
            return failure(QStringLiteral("invalid value '%1' for %2: %3").arg(value, name, what));
        };

        if (name == QLatin1String("--port")) {
            const auto n = boundedNumber(value, 0, 65535);
            if (!n)
                return bad(QStringLiteral("expected 0 to 65535"));
            o.port = quint16(*n);
        } else if (name == QLatin1String("--daytime-port")) {
            const auto n = boundedNumber(value, 0, 65535);
            if (!n)
                return bad(QStringLiteral("expected 0 to 65535"));
            o.daytimePort = quint16(*n);
        } else if (name == QLatin1String("--cameras")) {
            const auto n = boundedNumber(value, 1, kMaxCameras);
            if (!n)
                return bad(QStringLiteral("expected 1 to %1").arg(kMaxCameras));
            o.cameras = int(*n);
        } else if (name == QLatin1String("--size")) {
            const QStringList parts = value.split(QLatin1Char('x'));
            const auto w =
                parts.size() == 2 ? boundedNumber(parts[0], kMinSide, kMaxWidth) : std::nullopt;
            const auto h =
                parts.size() == 2 ? boundedNumber(parts[1], kMinSide, kMaxHeight) : std::nullopt;
            if (!w || !h) {
                return bad(QStringLiteral("expected WIDTHxHEIGHT within %1x%1 to %2x%3")
                               .arg(kMinSide)
                               .arg(kMaxWidth)
                               .arg(kMaxHeight));
            }
            o.size = QSize(int(*w), int(*h));
        } else if (name == QLatin1String("--change-every")) {
            QList<int> periods;
            for (const QString &part : value.split(QLatin1Char(','))) {
                const auto n = boundedNumber(part, 1, kMaxChangeSeconds);
                if (!n)
                    return bad(QStringLiteral("expected whole seconds from 1 to %1, "
                                              "separated by commas")
                                   .arg(kMaxChangeSeconds));
                periods << int(*n);
            }
            if (periods.size() > kMaxCameras)
                return bad(QStringLiteral("more than %1 periods").arg(kMaxCameras));
            o.changeEvery = periods;
        } else if (name == QLatin1String("--quality")) {
            const auto n = boundedNumber(value, 1, 100);
            if (!n)
                return bad(QStringLiteral("expected 1 to 100"));
            o.quality = int(*n);
        } else if (name == QLatin1String("--slow")) {
            const auto n = boundedNumber(value, 1, qint64(1) << 32);
            if (!n)
                return bad(QStringLiteral("expected bytes per second, at least 1"));
            o.slowBytesPerSecond = *n;
        } else if (name == QLatin1String("--scene")) {
            const auto kind = DemoCamScene::kindFromName(value);
            if (!kind)
                return bad(QStringLiteral("scenes are %1")
                               .arg(DemoCamScene::kindNames().join(QStringLiteral(", "))));
            o.scene = *kind;
        } else if (name == QLatin1String("--scene-offset")) {
            const auto n = boundedNumber(value, 0, 86400);
            if (!n)
                return bad(QStringLiteral("expected 0 to 86400 seconds"));
            o.sceneOffsetSeconds = *n;
        } else if (name == QLatin1String("--broken")) {
            const qsizetype colon = value.indexOf(QLatin1Char(':'));
            const auto mode = brokenModeFromName(colon < 0 ? value : value.mid(colon + 1));
            if (!mode)
                return bad(QStringLiteral("modes are %1").arg(modeList()));
            if (colon < 0) {
                o.brokenAll = *mode;
            } else {
                const auto camera = boundedNumber(value.left(colon), 1, kMaxCameras);
                if (!camera)
                    return bad(QStringLiteral("camera number must be 1 to %1").arg(kMaxCameras));
                o.brokenCamera.insert(int(*camera), *mode);
            }
        }
    }

    // Checked once everything is read, so the order of the options does not matter.
    for (auto it = o.brokenCamera.cbegin(); it != o.brokenCamera.cend(); ++it) {
        if (it.key() > o.cameras) {
            return failure(QStringLiteral("--broken names camera %1, but only %2 are served")
                               .arg(it.key())
                               .arg(o.cameras));
        }
    }

    parsed.action = Action::Run;
    parsed.exitCode = 0;
    return parsed;
}
