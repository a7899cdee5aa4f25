#include "SingleInstance.h"

#include <cerrno>
#include <csignal>

#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

namespace {
QString lockFileName(const QString &name, bool shared)
{
    QString safe;
    for (const QChar c : name)
        safe += (c.isLetterOrNumber() || c == QLatin1Char('-')) ? c : QLatin1Char('_');
    if (safe.isEmpty())
        safe = QStringLiteral("program");
    // The temporary directory is shared by all users: one user's run must not
    // keep another's from starting.
    if (shared)
        safe += QLatin1Char('-') + QString::number(::getuid());
    return safe + QStringLiteral(".lock");
}

bool processIsAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}
} // namespace

SingleInstance::SingleInstance(const QString &name, const QString &directory)
    : m_name(name)
{
    const QString dir = directory.isEmpty() ? defaultDirectory() : directory;
    const bool shared = directory.isEmpty() && dir == QDir::tempPath();
    m_path = QDir(dir).filePath(lockFileName(name, shared));
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultDirectory()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime;
    return QDir::tempPath();
}

bool SingleInstance::lockAt(const QString &path)
{
    m_lock = std::make_unique<QLockFile>(path);
    // Never by age: a run that has been going for an hour still holds its lock.
    // Only a lock whose process is gone is stale.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    if (m_lock->error() != QLockFile::LockFailedError)
        return false;

    qint64 pid = 0;
    QString host;
    QString app;
    bool leftBehind = false;
    if (m_lock->getLockInfo(&pid, &host, &app)) {
        // The lock file only lives in a per-machine directory, so a process
        // named in it that is gone here is gone, whatever host name it wrote
        // (the lock library itself only checks the process on a matching name).
        leftBehind = !processIsAlive(pid);
    } else {
        // A run that crashed while writing its lock leaves a file nobody can
        // read. Give a copy that is starting right now the time to finish it.
        const QDateTime written = QFileInfo(path).lastModified();
        leftBehind = written.isValid() &&
                     written.secsTo(QDateTime::currentDateTime()) > UnreadableLockAgeSeconds;
    }
    if (leftBehind && m_lock->removeStaleLockFile())
        return m_lock->tryLock(0);
    return false;
}

bool SingleInstance::tryStart()
{
    if (m_held)
        return true;
    if (lockAt(m_path)) {
        m_held = true;
        return true;
    }
    if (m_lock->error() == QLockFile::LockFailedError)
        return false;

    // The lock file could not be made where it should be: try the temporary
    // directory, and if that fails too, let the program run.
    const QString fallback = QDir(QDir::tempPath()).filePath(lockFileName(m_name, true));
    if (fallback != m_path) {
        if (lockAt(fallback)) {
            m_path = fallback;
            m_held = true;
            return true;
        }
        if (m_lock->error() == QLockFile::LockFailedError)
            return false;
    }
    qWarning("No lock file could be made; not checking for another running copy.");
    m_lock.reset();
    return true;
}
