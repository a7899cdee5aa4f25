#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>

#include "AppInfo.h"
#include "TestEnv.h"

int main(int argc, char **argv)
{
    // Never the user's real home, settings or program directory, and no display needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString root = TestEnv::root();
    qputenv("HOME", root.toLocal8Bit());
    const QString runtime = root + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    TestEnv::freshConfigDirectory();
    TestEnv::freshCacheDirectory();
    TestEnv::freshDataDirectory();
    TestEnv::freshProgramDirectory();

    QApplication app(argc, argv);
    AppInfo::applyToApplication();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
