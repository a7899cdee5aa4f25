#include "LoginThrottle.h"

#include <algorithm>

void LoginThrottle::forgetOld(std::deque<qint64> &failures, qint64 nowMs) const
{
    while (!failures.empty() && nowMs - failures.front() >= WindowMs)
        failures.pop_front();
}

int LoginThrottle::retryAfterSeconds(const QString &address, qint64 nowMs)
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_failures.find(address);
    if (it == m_failures.end())
        return 0;
    forgetOld(it->second, nowMs);
    if (it->second.size() < size_t(Limit))
        return 0;
    const qint64 waitMs = it->second.front() + WindowMs - nowMs;
    return int(std::max<qint64>(1, (waitMs + 999) / 1000));
}

void LoginThrottle::failed(const QString &address, qint64 nowMs)
{
    const std::lock_guard lock(m_mutex);
    if (m_failures.size() >= MaxAddresses && !m_failures.contains(address)) {
        // Forget whatever has gone quiet; if nothing has, the address with the
        // oldest last failure.
        for (auto it = m_failures.begin(); it != m_failures.end();) {
            forgetOld(it->second, nowMs);
            it = it->second.empty() ? m_failures.erase(it) : std::next(it);
        }
        if (m_failures.size() >= MaxAddresses) {
            const auto oldest = std::min_element(
                m_failures.begin(), m_failures.end(),
                [](const auto &a, const auto &b) { return a.second.back() < b.second.back(); });
            m_failures.erase(oldest);
        }
    }
    std::deque<qint64> &failures = m_failures[address];
    forgetOld(failures, nowMs);
    failures.push_back(nowMs);
}

void LoginThrottle::succeeded(const QString &address)
{
    const std::lock_guard lock(m_mutex);
    m_failures.erase(address);
}
