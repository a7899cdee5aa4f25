#pragma once

#include <QString>

// A directory on a tmpfs of its own, small enough to fill in a moment and able
// to turn read-only: real ENOSPC and EROFS, which root cannot get from file
// permissions. Needs the right to mount (tests run as root); mounted() says
// whether that worked. Unmounted when it goes.
class TinyDisk
{
public:
    // Mounts a tmpfs of sizeKiB under the test root.
    explicit TinyDisk(int sizeKiB = 256);
    ~TinyDisk();
    TinyDisk(const TinyDisk &) = delete;
    TinyDisk &operator=(const TinyDisk &) = delete;

    bool mounted() const { return m_mounted; }
    // Why mounting failed.
    const QString &error() const { return m_error; }
    const QString &path() const { return m_path; }

    // Writes the file "filler" until the disk has no byte left.
    bool fill() const;
    // Deletes "filler" again.
    bool makeRoom() const;
    bool makeReadOnly() const;
    bool makeWritable() const;

private:
    bool remount(bool readOnly) const;

    QString m_path;
    QString m_error;
    int m_sizeKiB = 0;
    bool m_mounted = false;
};
