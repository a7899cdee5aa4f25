#include "JpegWriter.h"

#include <cerrno>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include "AppInfo.h"
#include "DibSection.h"
#include "TessalyError.h"

namespace {

constexpr qint64 kErrorNumber = 26001;
// An encoder failure: TurboJPEG itself only ever says -1.
constexpr int kEncoderFailed = -1;

QString errorSource()
{
    QString base;
    if (QCoreApplication::instance())
        base = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (base.isEmpty())
        base = AppInfo::productName();
    return base + QStringLiteral(".mIntelJPEGLibrary");
}

// How a failed step leaves the write: the writer's status, which is minus the
// system error number for a file failure. Caught in WriteJpegFile, never further.
struct SaveFailed
{
    int status;
};

[[noreturn]] void raiseSaveFailed(int status)
{
    throw SaveFailed{status};
}

QString saveFailedText(int status)
{
    return QStringLiteral("Failed to save to JPG ") + QString::number(status);
}

// Owners that give back what TurboJPEG and the system handed out, whichever
// way the save ends.
struct Compressor
{
    tjhandle handle = tjInitCompress();
    ~Compressor()
    {
        if (handle)
            tjDestroy(handle);
    }
};

struct JpegBuffer
{
    unsigned char *data = nullptr;
    unsigned long size = 0;
    ~JpegBuffer() { tjFree(data); }
};

struct FileDescriptor
{
    int fd = -1;
    ~FileDescriptor() { closeNow(); }
    // 0, or minus the error number: a failing close can mean lost data.
    int closeNow()
    {
        if (fd < 0)
            return 0;
        const int result = ::close(fd);
        fd = -1;
        return result == 0 ? 0 : -errno;
    }
};

// 0, or minus the error number of the failing write.
int writeAll(int fd, const unsigned char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        data += written;
        size -= size_t(written);
    }
    return 0;
}

// A fresh, exclusive temporary file beside the target, created with the
// usual permissions (0666 less the umask), as the new file would have been.
// Returns the descriptor or minus the error number; the name goes to tempPath.
int createTemporaryBeside(const QString &fileName, QByteArray &tempPath)
{
    const QString directory = QFileInfo(fileName).path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            QStringLiteral("/.tessaly-%1.tmp")
                .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
        tempPath = QFile::encodeName(directory + name);
        const int fd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            return -errno;
    }
    return -EEXIST;
}

// Writes the whole picture and closes the file; 0, or the first failure's
// status. beforeClose runs on the descriptor after a good write.
int writeAndClose(FileDescriptor &file, const JpegBuffer &jpeg,
                  const std::function<void(int)> &beforeClose = {})
{
    int status = writeAll(file.fd, jpeg.data, jpeg.size);
    if (status == 0 && beforeClose)
        beforeClose(file.fd);
    const int closeStatus = file.closeNow();
    return status != 0 ? status : closeStatus;
}

void writeDirectly(const QByteArray &path, const JpegBuffer &jpeg)
{
    FileDescriptor file;
    file.fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file.fd < 0)
        raiseSaveFailed(-errno);
    if (const int status = writeAndClose(file, jpeg); status != 0) {
        // The name was ours alone; leave no half-written picture behind.
        ::unlink(path.constData());
        raiseSaveFailed(status);
    }
}

// The picture is written in full under a temporary name and only then given
// its own with link(), which fails when the name is taken: a snapshot appears
// whole or not at all, even if the program dies halfway through the write,
// and an earlier snapshot is never overwritten.
void writeNewOnly(const QString &fileName, const QByteArray &path, const JpegBuffer &jpeg)
{
    QByteArray tempPath;
    FileDescriptor file;
    file.fd = createTemporaryBeside(fileName, tempPath);
    if (file.fd < 0)
        raiseSaveFailed(file.fd);
    int status = writeAndClose(file, jpeg);
    if (status == 0 && ::link(tempPath.constData(), path.constData()) != 0)
        status = -errno;
    ::unlink(tempPath.constData());
    // Some file systems (FAT on a memory stick, some network shares) have no
    // hard links; there the exclusive create of the name itself still keeps
    // every earlier snapshot safe.
    if (status == -EPERM || status == -EOPNOTSUPP || status == -ENOSYS || status == -EMLINK)
        writeDirectly(path, jpeg);
    else if (status != 0)
        raiseSaveFailed(status);
}

void writeReplacing(const QString &fileName, const QByteArray &path, const JpegBuffer &jpeg)
{
    struct stat old = {};
    const bool existed = ::stat(path.constData(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode))
        raiseSaveFailed(-EISDIR);
    // A file nobody may write is one the user protected: do not replace it.
    if (existed && (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        raiseSaveFailed(-EACCES);

    QByteArray tempPath;
    FileDescriptor file;
    file.fd = createTemporaryBeside(fileName, tempPath);
    if (file.fd < 0)
        raiseSaveFailed(file.fd);

    int status = writeAndClose(file, jpeg, [&](int fd) {
        if (!existed)
            return;
        // The replaced file's permissions and times carry over. The times are
        // set after the last write, so nothing moves them again; a failure
        // here leaves the new file as written, which is still a good save.
        (void)::fchmod(fd, old.st_mode & 07777);
        const struct timespec times[2] = {old.st_atim, old.st_mtim};
        (void)::futimens(fd, times);
    });
    if (status == 0 && ::rename(tempPath.constData(), path.constData()) != 0)
        status = -errno;
    if (status != 0) {
        ::unlink(tempPath.constData());
        raiseSaveFailed(status);
    }
}

} // namespace

namespace {

Result<QByteArray> writeJpeg(const DibSection &dib, const QString &fileName, int quality,
                             JpegExisting existing)
{
    Compressor compressor;
    if (!compressor.handle) {
        return Failure::of(Failure::Kind::Encode,
                           QStringLiteral("Failed to initialise the IJL library: ") +
                               QString::number(kEncoderFailed));
    }
    if (fileName.isEmpty())
        raiseSaveFailed(-ENOENT);
    if (dib.isEmpty())
        raiseSaveFailed(kEncoderFailed);

    // Encode first: a picture that cannot be encoded touches no file. The
    // rows are bottom-up BGR with the bitmap's own stride, which TurboJPEG
    // takes as they are.
    JpegBuffer jpeg;
    const int result = tjCompress2(compressor.handle, dib.DIBSectionBitsPtr(), dib.Width(),
                                   dib.BytesPerScanLine(), dib.Height(), TJPF_BGR, &jpeg.data,
                                   &jpeg.size, TJSAMP_420, quality, TJFLAG_BOTTOMUP);
    if (result != 0)
        raiseSaveFailed(kEncoderFailed);

    const QByteArray path = QFile::encodeName(fileName);
    if (existing == JpegExisting::Keep)
        writeNewOnly(fileName, path, jpeg);
    else
        writeReplacing(fileName, path, jpeg);
    return QByteArray(reinterpret_cast<const char *>(jpeg.data), qsizetype(jpeg.size));
}

} // namespace

Result<QByteArray> WriteJpegFile(const DibSection &dib, const QString &fileName, int quality,
                                 JpegExisting existing)
{
    try {
        return writeJpeg(dib, fileName, quality, existing);
    } catch (const SaveFailed &failed) {
        if (failed.status == kEncoderFailed)
            return Failure::of(Failure::Kind::Encode, saveFailedText(failed.status));
        const int systemError = -failed.status;
        return Failure::of(systemError == EEXIST ? Failure::Kind::NameTaken : Failure::Kind::File,
                           saveFailedText(failed.status), systemError);
    }
}

bool SaveJpegFile(const DibSection &dib, const QString &fileName, int quality,
                  JpegExisting existing, QByteArray *encoded)
{
    const Result<QByteArray> written = WriteJpegFile(dib, fileName, quality, existing);
    if (!written)
        throw TessalyError(kErrorNumber, errorSource(), written.failure().text);
    if (encoded)
        *encoded = written.value();
    return true;
}
