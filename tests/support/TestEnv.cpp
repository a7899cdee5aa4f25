#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

namespace {
QTemporaryDir &tempRoot()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tessaly-test-XXXXXX"));
    return dir;
}

QString makeSubdir(const QString &prefix)
{
    const QString path = tempRoot().path() + QLatin1Char('/') + prefix + QLatin1Char('-') +
                         QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
    QDir().mkpath(path);
    return path;
}
} // namespace

namespace TestEnv {

QString root()
{
    return tempRoot().path();
}

QString freshProgramDirectory()
{
    const QString dir = makeSubdir(QStringLiteral("prog"));
    qputenv("TESSALY_HOME", dir.toLocal8Bit());
    return dir;
}

QString freshConfigDirectory()
{
    const QString dir = makeSubdir(QStringLiteral("config"));
    qputenv("XDG_CONFIG_HOME", dir.toLocal8Bit());
    return dir;
}

QString freshCacheDirectory()
{
    const QString dir = makeSubdir(QStringLiteral("cache"));
    qputenv("XDG_CACHE_HOME", dir.toLocal8Bit());
    return dir;
}

QString freshDataDirectory()
{
    const QString dir = makeSubdir(QStringLiteral("data"));
    qputenv("XDG_DATA_HOME", dir.toLocal8Bit());
    return dir;
}

QString dataFile(const QString &name)
{
    return QStringLiteral(TESSALY_TEST_DATA_DIR) + QLatin1Char('/') + name;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

bool writeFileModifiedAt(const QString &path, const QByteArray &bytes, const QDateTime &modified)
{
    if (!writeFile(path, bytes))
        return false;
    QFile f(path);
    return f.open(QIODevice::ReadWrite) &&
           f.setFileTime(modified, QFileDevice::FileModificationTime);
}

} // namespace TestEnv
