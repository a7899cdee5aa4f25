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

namespace {

// Creates the file exclusively, open for writing; its descriptor, or -1 with
// path left empty.
int createTempFile(const QString &prefix, QString &path)
{
    path.clear();
    const QString directory = QDir::tempPath();
    if (directory.isEmpty() || directory.size() > MaxDirectoryLength)
        return -1;
    // Like the platform's own temporary names: up to three prefix characters,
    // a hexadecimal number and ".tmp".
    const QString stem = QDir(directory).filePath(prefix.left(3));
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const quint32 number = QRandomGenerator::global()->generate();
        const QString candidate =
            stem + QString::number(number, 16).toUpper().rightJustified(8, QLatin1Char('0')) +
            QStringLiteral(".tmp");
        if (candidate.size() > MaxPathLength)
            return -1;
        const QByteArray native = QFile::encodeName(candidate);
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            path = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

} // namespace

QString MakeTempFileName(const QString &prefix)
{
    QString path;
    const int fd = createTempFile(prefix, path);
    if (fd < 0)
        return {};
    ::close(fd);
    return path;
}

QString WriteTempFile(const QString &prefix, const QByteArray &bytes)
{
    QString path;
    const int fd = createTempFile(prefix, path);
    if (fd < 0)
        return {};
    const char *data = bytes.constData();
    size_t left = size_t(bytes.size());
    bool written = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            written = false;
            break;
        }
        data += n;
        left -= size_t(n);
    }
    // A failing close can mean lost data, as a failing write does.
    if (::close(fd) != 0)
        written = false;
    if (!written) {
        ::unlink(QFile::encodeName(path).constData());
        return {};
    }
    return path;
}
