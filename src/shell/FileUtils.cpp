#include "FileUtils.h"

#include <algorithm>

#include <QFileInfo>

namespace {

// Camera list paths may be written with "\"; on this system "/" separates.
QString withSlashes(QString path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

} // namespace

namespace FileUtils {

bool DirExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(withSlashes(path));
    return info.isDir();
}

QString GetFileName(const QString &path)
{
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    return path.mid(cut + 1);
}

bool FileExists(const QString &path)
{
    const QString name = GetFileName(path);
    if (name.isEmpty())
        return false;
    // Only the exact path: a name differing in letter case is another file here,
    // and opening this path would fail.
    const QFileInfo info(withSlashes(path));
    return info.isFile() && !info.isHidden() && info.fileName() == name;
}

} // namespace FileUtils
