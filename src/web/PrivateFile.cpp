#include "PrivateFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

namespace {
QString failed(const QString &path, const char *action, int error)
{
    return QStringLiteral("The file \"%1\" could not be %2: %3.")
        .arg(QDir::toNativeSeparators(path), QString::fromLatin1(action),
             QString::fromLocal8Bit(std::strerror(error)));
}
} // namespace

QString PrivateFile::write(const QString &path, const QByteArray &bytes)
{
    const QString directory = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(directory))
        return failed(directory, "made", errno);
    const QByteArray temporary = QFile::encodeName(path + QStringLiteral(".new"));
    ::unlink(temporary.constData());
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return failed(path, "written", errno);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(temporary.constData());
            return failed(path, "written", error);
        }
        done += n;
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return failed(path, "written", error);
    }
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return failed(path, "written", error);
    }
    return {};
}
