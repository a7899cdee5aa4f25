#include "WebSessions.h"

#include <algorithm>

#include <sodium.h>

#include <QCryptographicHash>
#include <QFile>

#include "PrivateFile.h"

WebSessions::WebSessions(const QString &file, qint64 nowSecs)
    : m_file(file)
{
    if (sodium_init() < 0)
        m_lastError = QStringLiteral("libsodium cannot start");
    if (m_file.isEmpty())
        return;
    QFile in(m_file);
    if (!in.open(QIODevice::ReadOnly))
        return; // none yet
    // "<sha256 hex> <last used>" per line; a line of any other shape is dropped.
    const QList<QByteArray> lines = in.read(qint64(MaxSessions) * 100).split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        if (fields.size() != 2 || fields[0].size() != 64)
            continue;
        const QByteArray hash = QByteArray::fromHex(fields[0]);
        bool ok = false;
        const qint64 used = fields[1].toLongLong(&ok);
        if (hash.size() == 32 && ok && m_lastUsed.size() < MaxSessions)
            m_lastUsed[hash] = used;
    }
    m_written = m_lastUsed;
    const std::lock_guard lock(m_mutex);
    dropExpired(nowSecs);
}

QByteArray WebSessions::digest(const QByteArray &token)
{
    return QCryptographicHash::hash(token, QCryptographicHash::Sha256);
}

void WebSessions::dropExpired(qint64 nowSecs)
{
    bool dropped = false;
    for (auto it = m_lastUsed.begin(); it != m_lastUsed.end();) {
        if (nowSecs - it->second > ExpireAfterSecs) {
            it = m_lastUsed.erase(it);
            dropped = true;
        } else {
            ++it;
        }
    }
    if (dropped)
        save();
}

QByteArray WebSessions::create(qint64 nowSecs)
{
    unsigned char random[32];
    randombytes_buf(random, sizeof random);
    const QByteArray token =
        QByteArray(reinterpret_cast<const char *>(random), sizeof random).toHex();
    sodium_memzero(random, sizeof random);
    const std::lock_guard lock(m_mutex);
    dropExpired(nowSecs);
    if (m_lastUsed.size() >= MaxSessions) {
        const auto oldest =
            std::min_element(m_lastUsed.begin(), m_lastUsed.end(),
                             [](const auto &a, const auto &b) { return a.second < b.second; });
        m_lastUsed.erase(oldest);
    }
    m_lastUsed[digest(token)] = nowSecs;
    save();
    return token;
}

bool WebSessions::touch(const QByteArray &token, qint64 nowSecs)
{
    if (token.size() != 64)
        return false;
    const QByteArray hash = digest(token);
    const std::lock_guard lock(m_mutex);
    const auto it = m_lastUsed.find(hash);
    if (it == m_lastUsed.end())
        return false;
    if (nowSecs - it->second > ExpireAfterSecs) {
        m_lastUsed.erase(it);
        save();
        return false;
    }
    it->second = std::max(it->second, nowSecs);
    const auto written = m_written.find(hash);
    if (written == m_written.end() || it->second - written->second >= TouchWriteSecs)
        save();
    return true;
}

void WebSessions::end(const QByteArray &token)
{
    const std::lock_guard lock(m_mutex);
    if (m_lastUsed.erase(digest(token)) > 0)
        save();
}

size_t WebSessions::count() const
{
    const std::lock_guard lock(m_mutex);
    return m_lastUsed.size();
}

QString WebSessions::lastError() const
{
    const std::lock_guard lock(m_mutex);
    return m_lastError;
}

void WebSessions::save()
{
    m_written = m_lastUsed;
    if (m_file.isEmpty())
        return;
    QByteArray text;
    for (const auto &[hash, used] : m_lastUsed)
        text += hash.toHex() + ' ' + QByteArray::number(used) + '\n';
    m_lastError = PrivateFile::write(m_file, text);
}
