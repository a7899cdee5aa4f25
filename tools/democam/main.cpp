#include <cstdio>

#include <QGuiApplication>
#include <QStringList>

#include "AppInfo.h"
#include "DemoCamDaytime.h"
#include "DemoCamOptions.h"
#include "DemoCamServer.h"
#include "StopSignals.h"

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const DemoCamOptions::Parsed parsed = DemoCamOptions::parse(arguments);
    if (parsed.action != DemoCamOptions::Action::Run) {
        std::FILE *out = parsed.action == DemoCamOptions::Action::Fail ? stderr : stdout;
        std::fprintf(out, "%s\n", parsed.message.toLocal8Bit().constData());
        return parsed.exitCode;
    }

    // The scene needs fonts, hence a GUI application, but never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    AppInfo::applyToApplication();
    QCoreApplication::setApplicationName(QStringLiteral("tessaly-democam"));

    StopSignals stopSignals;
    if (!stopSignals.isActive())
        std::fprintf(stderr, "tessaly-democam: cannot catch SIGINT/SIGTERM\n");
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app,
                     [](int) { QCoreApplication::quit(); });

    DemoCamServer server(parsed.options);
    if (!server.listen()) {
        std::fprintf(stderr, "tessaly-democam: cannot listen on 127.0.0.1:%u: %s\n",
                     unsigned(parsed.options.port), server.errorString().toLocal8Bit().constData());
        return 1;
    }
    // Scripts wait for these lines to learn the ports, so they must not sit in a buffer.
    std::printf("%s\n", server.listeningLine().toLocal8Bit().constData());
    DemoCamDaytime daytime;
    if (parsed.options.daytimePort) {
        if (!daytime.listen(*parsed.options.daytimePort)) {
            std::fprintf(stderr, "tessaly-democam: cannot listen on 127.0.0.1:%u: %s\n",
                         unsigned(*parsed.options.daytimePort),
                         daytime.errorString().toLocal8Bit().constData());
            return 1;
        }
        std::printf("%s\n", daytime.listeningLine().toLocal8Bit().constData());
    }
    if (std::fflush(stdout) != 0)
        std::fprintf(stderr, "tessaly-democam: cannot write to standard output\n");

    const int rc = app.exec();
    std::fprintf(stderr, "tessaly-democam: stopped\n");
    return rc;
}
