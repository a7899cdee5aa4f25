#pragma once

#include <QString>

// MakeTempFileName: a new, empty file in the system's temporary directory,
// named with the given prefix, and its full path; empty text when none could
// be made. The file is created exclusively (a name another process already
// made is never reused) and readable and writable by the owner only.
QString MakeTempFileName(const QString &prefix);
