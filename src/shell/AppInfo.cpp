#include "AppInfo.h"

#include <QCoreApplication>
#include <QDir>

#include "TessalyVersion.h"

QString AppInfo::productName() { return QStringLiteral(TESSALY_PRODUCT_NAME); }
QString AppInfo::companyName() { return QStringLiteral(TESSALY_COMPANY_NAME); }
QString AppInfo::comments() { return QStringLiteral(TESSALY_COMMENTS); }
int AppInfo::versionMajor() { return TESSALY_VERSION_MAJOR; }
int AppInfo::versionMinor() { return TESSALY_VERSION_MINOR; }
QString AppInfo::versionString() { return QStringLiteral(TESSALY_VERSION_STRING); }

QString AppInfo::programDirectory()
{
    // Read every time: tests switch between fresh program directories.
    const QString home = qEnvironmentVariable("TESSALY_HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(QDir(home).absolutePath());
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

QString AppInfo::programFile(const QString &name)
{
    return programDirectory() + QLatin1Char('/') + name;
}

void AppInfo::applyToApplication()
{
    QCoreApplication::setApplicationName(productName());
    QCoreApplication::setOrganizationName(companyName());
    QCoreApplication::setApplicationVersion(versionString());
}
