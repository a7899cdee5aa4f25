#include "AppInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "TessalyVersion.h"

QString AppInfo::productName()
{
    return QStringLiteral(TESSALY_PRODUCT_NAME);
}
QString AppInfo::companyName()
{
    return QStringLiteral(TESSALY_COMPANY_NAME);
}
QString AppInfo::comments()
{
    return QStringLiteral(TESSALY_COMMENTS);
}
int AppInfo::versionMajor()
{
    return TESSALY_VERSION_MAJOR;
}
int AppInfo::versionMinor()
{
    return TESSALY_VERSION_MINOR;
}
QString AppInfo::versionString()
{
    return QStringLiteral(TESSALY_VERSION_STRING);
}
QString AppInfo::desktopId()
{
    return QStringLiteral(TESSALY_DESKTOP_ID);
}

QString AppInfo::chooseProgramDirectory(const Places &places)
{
    if (!places.tessalyHome.isEmpty())
        return QDir::cleanPath(QDir(places.tessalyHome).absolutePath());
    // An installed executable sits in a directory nobody should write to, and
    // which all users share.
    if (places.installed && !places.perUserDirectory.isEmpty())
        return QDir::cleanPath(places.perUserDirectory);
    return QDir::cleanPath(places.executableDirectory);
}

QString AppInfo::installedDataDirectory(const QString &executableDirectory)
{
    return QDir::cleanPath(executableDirectory + QStringLiteral("/" TESSALY_DATA_FROM_BIN));
}

bool AppInfo::isInstalledLayout(const QString &executableDirectory)
{
    // The bin directory this build installs into counts even when its data
    // directory went missing: writing into /usr/bin is never right.
    const QString dir = QDir::cleanPath(executableDirectory);
    if (dir == QDir::cleanPath(QStringLiteral(TESSALY_INSTALL_BINDIR)))
        return true;
    // Any other prefix (cmake --install --prefix, a relocated package).
    return QFileInfo(installedDataDirectory(dir)).isDir();
}

QString AppInfo::programDirectory()
{
    // Read every time: tests switch between fresh program directories.
    Places places;
    places.tessalyHome = qEnvironmentVariable("TESSALY_HOME");
    if (places.tessalyHome.isEmpty() && !QCoreApplication::instance())
        return QDir::currentPath();
    if (places.tessalyHome.isEmpty()) {
        places.executableDirectory = QCoreApplication::applicationDirPath();
        places.installed = isInstalledLayout(places.executableDirectory);
        if (places.installed)
            places.perUserDirectory =
                QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    }
    const QString dir = chooseProgramDirectory(places);
    // The per-user directory does not exist before the first start.
    if (places.installed && dir == QDir::cleanPath(places.perUserDirectory))
        QDir().mkpath(dir);
    return dir;
}

QString AppInfo::programFile(const QString &name)
{
    return programDirectory() + QLatin1Char('/') + name;
}

QString AppInfo::chooseHelpFile(const QString &programDirectory,
                                const QString &installedDataDirectory)
{
    const QString own = programDirectory + QStringLiteral("/Help.rtf");
    if (installedDataDirectory.isEmpty() || QFileInfo::exists(own))
        return own;
    return installedDataDirectory + QStringLiteral("/Help.rtf");
}

QString AppInfo::helpFile()
{
    QString shipped;
    if (QCoreApplication::instance()) {
        const QString exeDir = QCoreApplication::applicationDirPath();
        if (isInstalledLayout(exeDir))
            shipped = installedDataDirectory(exeDir);
    }
    return chooseHelpFile(programDirectory(), shipped);
}

void AppInfo::applyToApplication()
{
    QCoreApplication::setApplicationName(productName());
    QCoreApplication::setOrganizationName(companyName());
    QCoreApplication::setApplicationVersion(versionString());
}
