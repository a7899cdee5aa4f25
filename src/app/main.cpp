#include <memory>

#include <QApplication>

#include "AppInfo.h"
#include "MainWindow.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    AppInfo::applyToApplication();

    auto mainWindow = std::make_unique<MainWindow>();
    mainWindow->Form_Load();
    mainWindow->show();
    return app.exec();
}
