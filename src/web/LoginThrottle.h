#pragma once

#include <deque>
#include <map>
#include <mutex>

#include <QString>

// Failed logins per address in a sliding minute. After Limit failures within
// WindowMs, further tries from that address are turned away unheard until the
// oldest failure leaves the window. Thread-safe; times are milliseconds on a
// monotonic clock the caller reads.
class LoginThrottle
{
public:
    static constexpr int Limit = 5;
    static constexpr qint64 WindowMs = 60 * 1000;
    // Addresses kept at most: an attacker with many addresses must not grow
    // the table without end; the quietest are forgotten first.
    static constexpr size_t MaxAddresses = 4096;

    // 0 when address may try now, else the seconds until it may (at least 1).
    int retryAfterSeconds(const QString &address, qint64 nowMs);
    void failed(const QString &address, qint64 nowMs);
    // A good login forgets the address's failures.
    void succeeded(const QString &address);

private:
    void forgetOld(std::deque<qint64> &failures, qint64 nowMs) const;

    std::mutex m_mutex;
    std::map<QString, std::deque<qint64>> m_failures;
};
