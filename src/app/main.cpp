#include <cstdio>
#include <memory>
#include <optional>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <QApplication>

#include "AppInfo.h"
#include "CameraEngine.h"
#include "CommandLine.h"
#include "EventLoopProbe.h"
#include "MainWindow.h"
#include "MessageBoxWindow.h"
#include "PictureSaver.h"
#include "SingleInstance.h"
#include "SplashWindow.h"

namespace {

// A picture is decoded into a buffer of megabytes, on a pool thread, many
// times a second. By default glibc maps every buffer that large afresh and
// unmaps it when freed, so each decode pays for faulting in and zeroing new
// pages, and each unmapping interrupts the other threads to flush their
// address caches: a fifth of the window's CPU with two dozen cameras. Kept in
// the heap, the memory one picture leaves serves the next.
void keepPictureBuffersInHeap()
{
#if defined(__GLIBC__)
    constexpr int MapAbove = 32 * 1024 * 1024;  // glibc's ceiling for this setting
    constexpr int TrimAbove = 64 * 1024 * 1024; // free memory kept before returning it
    mallopt(M_MMAP_THRESHOLD, MapAbove);
    mallopt(M_TRIM_THRESHOLD, TrimAbove);
#endif
}

} // namespace

int main(int argc, char **argv)
{
    keepPictureBuffersInHeap();
    // Options first: --record, --help, --version and a wrong option never need a display.
    CommandLine::OpenRequest open;
    if (const std::optional<int> exitCode = CommandLine::run(argc, argv, &open))
        return *exitCode;

    // Outlives the application and so the probe, which reads it for its last report.
    qint64 picturesArrived = 0;
    qint64 picturesSaved = 0;
    QApplication app(argc, argv);
    AppInfo::applyToApplication();
    // Lets the desktop match the window to the installed desktop entry and icon.
    QGuiApplication::setDesktopFileName(AppInfo::desktopId());
    MessageBoxWindow::install();

    // A second copy ends at once, before any window shows.
    SingleInstance instance(AppInfo::productName());
    if (!instance.tryStart())
        return 0;

    // The splash window opens the main window after its ticks and then stays,
    // hidden, for the rest of the run: it owns the program skin.
    std::unique_ptr<MainWindow> mainWindow;
    SplashWindow splash([&app, &mainWindow, &open, &picturesArrived, &picturesSaved] {
        if (mainWindow)
            return;
        mainWindow = std::make_unique<MainWindow>();
        mainWindow->Form_Load();
        // The status bar tells it too, but a name mistyped in a start-up
        // script belongs where the script's other messages go.
        const QString notOpened = mainWindow->openCamsAtStart(open.names, open.all);
        if (!notOpened.isEmpty())
            std::fprintf(stderr, "tessaly: %s\n", notOpened.toLocal8Bit().constData());
        if (open.wall)
            mainWindow->setWallShown(true);
        mainWindow->show();
        // Off unless TESSALY_LAG_PROBE names a file: the window's benchmark
        // reads the lag and the pictures it was measured against from there.
        // It runs from when the window shows, when clicks can first come: the
        // splash window's ticks and building the window are not counted.
        if (EventLoopProbe *probe = EventLoopProbe::startFromEnvironment(&app)) {
            QObject::connect(&mainWindow->engine(), &CameraEngine::pictureArrived, probe,
                             [&picturesArrived] { ++picturesArrived; });
            probe->addTally(QStringLiteral("pictures"),
                            [&picturesArrived] { return picturesArrived; });
            // What autosave kept up with: files written, and pictures the full
            // save queue let go.
            QObject::connect(&mainWindow->saver(), &PictureSaver::pictureSaved, probe,
                             [&picturesSaved] { ++picturesSaved; });
            probe->addTally(QStringLiteral("saved"), [&picturesSaved] { return picturesSaved; });
            probe->addTally(QStringLiteral("dropped"),
                            [window = mainWindow.get()] { return window->saver().dropped(); });
        }
    });
    splash.show();

    const int result = app.exec();
    // "Exit" leaves the loop without the closing steps; the windows go here.
    mainWindow.reset();
    return result;
}
