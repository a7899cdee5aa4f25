#include "TinyDisk.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>

#include "TestEnv.h"

TinyDisk::TinyDisk(int sizeKiB)
    : m_sizeKiB(sizeKiB)
{
    static int count = 0;
    m_path = TestEnv::root() + QStringLiteral("/tiny-disk-%1").arg(++count);
    QDir().mkpath(m_path);
    const QByteArray options = "size=" + QByteArray::number(sizeKiB) + "k,mode=0755";
    if (::mount("tessaly-test", QFile::encodeName(m_path).constData(), "tmpfs", 0,
                options.constData()) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_mounted = true;
}

TinyDisk::~TinyDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
}

bool TinyDisk::fill() const
{
    QFile filler(m_path + QStringLiteral("/filler"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    // The last partial block may have gone in; small writes until none does.
    while (filler.write("f", 1) == 1) {
    }
    return true;
}

bool TinyDisk::makeRoom() const
{
    return QFile::remove(m_path + QStringLiteral("/filler"));
}

bool TinyDisk::remount(bool readOnly) const
{
    const QByteArray options = "size=" + QByteArray::number(m_sizeKiB) + "k";
    return ::mount("tessaly-test", QFile::encodeName(m_path).constData(), "tmpfs",
                   MS_REMOUNT | (readOnly ? MS_RDONLY : 0), options.constData()) == 0;
}

bool TinyDisk::makeReadOnly() const
{
    return remount(true);
}
bool TinyDisk::makeWritable() const
{
    return remount(false);
}
