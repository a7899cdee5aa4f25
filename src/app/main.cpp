#include <optional>

#include <QApplication>

#include "AppInfo.h"
#include "CommandLine.h"

int main(int argc, char **argv)
{
    // Options first: --record, --help, --version and a wrong option never need a display.
    if (const std::optional<int> exitCode = CommandLine::run(argc, argv))
        return *exitCode;

    QApplication app(argc, argv);
    AppInfo::applyToApplication();
    return app.exec();
}
