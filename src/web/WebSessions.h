#pragma once

#include <map>
#include <mutex>

#include <QByteArray>
#include <QString>

// Who is logged in to the web view. A session is a random 256-bit token the
// browser keeps in a cookie; only its SHA-256 is kept here, with when it was
// last used, so the list on disk lets nobody in. A session ends after
// ExpireAfterSecs unused, at logout, or when the list is full and it is the
// one used longest ago. With a file, sessions outlive a restart of the
// program: a phone stays logged in across a reboot of the recorder.
// Thread-safe. Times are seconds since the epoch, passed in.
class WebSessions
{
public:
    static constexpr qint64 ExpireAfterSecs = 30 * 24 * 3600;
    static constexpr size_t MaxSessions = 256;
    // A session's last use is written to the file at most this often.
    static constexpr qint64 TouchWriteSecs = 3600;

    // file: where sessions are kept (mode 0600); empty keeps them in memory.
    explicit WebSessions(const QString &file = QString(), qint64 nowSecs = 0);

    // A new session's token, 64 hexadecimal digits.
    QByteArray create(qint64 nowSecs);
    // Whether token is a live session; a live one counts as used now.
    bool touch(const QByteArray &token, qint64 nowSecs);
    void end(const QByteArray &token);
    size_t count() const;
    // Why the file could not be read or written the last time, or empty.
    QString lastError() const;

private:
    static QByteArray digest(const QByteArray &token);
    void dropExpired(qint64 nowSecs);
    void save();

    mutable std::mutex m_mutex;
    QString m_file;
    QString m_lastError;
    std::map<QByteArray, qint64> m_lastUsed; // SHA-256 of the token -> seconds
    std::map<QByteArray, qint64> m_written;  // last use as the file has it
};
