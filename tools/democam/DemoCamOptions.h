#pragma once

#include <optional>

#include <QList>
#include <QMap>
#include <QSize>
#include <QString>
#include <QStringList>

#include "DemoCamScene.h"

// The ways a demo camera can misbehave on purpose, so that the viewer's handling
// of bad cameras can be tried and benchmarked against something reproducible.
enum class BrokenMode {
    None,
    Truncate,         // announces the whole JPEG, sends half of it, closes
    Html,             // a text/html error page with status 500
    NoLastModified,   // a good picture without a Last-Modified line
    NoLength,         // a good picture without a Content-Length line
    LowercaseHeaders, // every header name in lower case
    HugeHeader,       // a header block of more than 32 KiB before the picture
    BadJpeg,          // image/jpeg, but the body is not a JPEG
    Garbage,          // bytes that are not HTTP at all, then close
    NeverAnswer,      // reads the request and never answers
};

// Everything the command line decides. Defaults are what the demo run uses.
struct DemoCamOptions
{
    static constexpr int kMaxCameras = 24;
    static constexpr int kMaxWidth = 7680;
    static constexpr int kMaxHeight = 4320;
    static constexpr int kMinSide = 16;
    static constexpr int kMaxChangeSeconds = 86400;

    quint16 port = 0; // 0: any free port
    // Also serve the daytime protocol on this port of 127.0.0.1 (0: a free one).
    std::optional<quint16> daytimePort;
    int cameras = 4;
    QSize size{1280, 720};
    // Seconds between picture changes, used in turn by camera 1, 2, 3, ...
    QList<int> changeEvery{2, 3, 4, 5};
    int quality = 85;
    // What every camera shows (--scene).
    DemoSceneKind scene = DemoSceneKind::Shapes;
    qint64 sceneOffsetSeconds = 0; // the scene is drawn this far ahead of the clock
    qint64 slowBytesPerSecond = 0; // 0: send at full speed
    BrokenMode brokenAll = BrokenMode::None;
    QMap<int, BrokenMode> brokenCamera; // camera number (1-based) -> mode; wins over brokenAll

    int changeEveryFor(int camera) const;
    BrokenMode brokenFor(int camera) const;

    enum class Action { Run, Help, Version, Fail };
    struct Parsed;
    // Parses the arguments after the program name. Pure: prints nothing, exits nothing.
    static Parsed parse(const QStringList &arguments);
    static QString usage();
    static QString versionText();

    static QString brokenModeName(BrokenMode mode);
    static std::optional<BrokenMode> brokenModeFromName(const QString &name);
};

// The outcome of reading a command line.
struct DemoCamOptions::Parsed
{
    Action action = Action::Fail;
    DemoCamOptions options;
    QString message;  // usage, version text or the error
    int exitCode = 2; // what main() returns when the action is not Run
};
