#pragma once

#include <QString>

// File and directory tests on paths written with "\" or "/" as separators.
namespace FileUtils {

// True when path names an existing directory; a trailing separator makes no
// difference. Any error gives false.
bool DirExists(const QString &path);

// True only for an existing regular, non-hidden file at exactly this path
// (letter case significant, as the file system is); false for a directory,
// a wildcard pattern or a path ending in a separator.
bool FileExists(const QString &path);

// The last component of path; the empty text for an empty path or one ending
// in a separator.
QString GetFileName(const QString &path);

} // namespace FileUtils
