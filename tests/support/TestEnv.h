#pragma once

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QSize>
#include <QString>

// Every test runs with TESSALY_HOME, XDG_CONFIG_HOME, XDG_CACHE_HOME and XDG_DATA_HOME pointing
// into a temporary directory that is removed when the test program ends.
namespace TestEnv {

// The temporary root made for this test program.
QString root();

// Makes a new, empty program directory, points TESSALY_HOME at it and returns it.
QString freshProgramDirectory();

// Makes a new, empty per-user config directory and points XDG_CONFIG_HOME at it.
QString freshConfigDirectory();

// Makes a new, empty per-user cache directory and points XDG_CACHE_HOME at it.
QString freshCacheDirectory();
// Makes a new, empty per-user data directory and points XDG_DATA_HOME at it.
QString freshDataDirectory();

// Path of a file under tests/data.
QString dataFile(const QString &name);

QByteArray readFile(const QString &path);

bool writeFile(const QString &path, const QByteArray &bytes);
// writeFile, then the file's modification time set to modified.
bool writeFileModifiedAt(const QString &path, const QByteArray &bytes, const QDateTime &modified);

} // namespace TestEnv
