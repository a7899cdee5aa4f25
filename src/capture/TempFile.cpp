#include "TempFile.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace {
// The lengths the temporary directory and the full name may have.
constexpr qsizetype MaxDirectoryLength = 511;
constexpr qsizetype MaxPathLength = 575;
constexpr int Attempts = 100;
} // namespace

QString MakeTempFileName(const QString &prefix)
{
    const QString directory = QDir::tempPath();
    if (directory.isEmpty() || directory.size() > MaxDirectoryLength)
        return {};
    // Like the platform's own temporary names: up to three prefix characters,
    // a hexadecimal number and ".tmp".
    const QString stem = QDir(directory).filePath(prefix.left(3));
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const quint32 number = QRandomGenerator::global()->generate();
        const QString path =
            stem + QString::number(number, 16).toUpper().rightJustified(8, QLatin1Char('0')) +
            QStringLiteral(".tmp");
        if (path.size() > MaxPathLength)
            return {};
        const QByteArray native = QFile::encodeName(path);
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}
