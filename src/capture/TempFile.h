#pragma once

#include <QByteArray>
#include <QString>

// MakeTempFileName: a new, empty file in the system's temporary directory,
// named with the given prefix, and its full path; empty text when none could
// be made. The file is created exclusively (a name another process already
// made is never reused) and readable and writable by the owner only.
QString MakeTempFileName(const QString &prefix);

// The same kind of file, made and filled with bytes through one descriptor
// (no second open, no flush to the disk: the file lives for one picture).
// Empty text when it could not be made or fully written; nothing is then left
// behind.
QString WriteTempFile(const QString &prefix, const QByteArray &bytes);
