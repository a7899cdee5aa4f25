#include <memory>

#include <QApplication>

#include "AppInfo.h"
#include "MainWindow.h"
#include "SingleInstance.h"
#include "SplashWindow.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    AppInfo::applyToApplication();

    // A second copy ends at once, before any window shows.
    SingleInstance instance(AppInfo::productName());
    if (!instance.tryStart())
        return 0;

    // The splash window opens the main window after its ticks and then stays,
    // hidden, for the rest of the run: it owns the program skin.
    std::unique_ptr<MainWindow> mainWindow;
    SplashWindow splash([&mainWindow] {
        if (mainWindow)
            return;
        mainWindow = std::make_unique<MainWindow>();
        mainWindow->Form_Load();
        mainWindow->show();
    });
    splash.show();

    const int result = app.exec();
    // "Exit" leaves the loop without the closing steps; the windows go here.
    mainWindow.reset();
    return result;
}
