#include "ChangeCapture.h"

#include <algorithm>

ChangeCapture::ChangeCapture()
    : ChangeCapture(Options{})
{
}

ChangeCapture::ChangeCapture(Options options)
    : m_options(options)
{
}

void ChangeCapture::reset()
{
    m_held.reset();
    m_afterLeft = 0;
    m_lastRegular = QDateTime();
}

bool ChangeCapture::regularDue(const QDateTime &time) const
{
    if (m_options.alsoEveryMinutes <= 0)
        return false;
    // A clock set back starts the regular record again rather than stalling it.
    return !m_lastRegular.isValid() || time < m_lastRegular ||
           m_lastRegular.secsTo(time) >= qint64(m_options.alsoEveryMinutes) * 60;
}

QList<ChangeCapture::Save> ChangeCapture::offer(const QByteArray &bytes, const QDateTime &time,
                                                bool changed)
{
    QList<Save> saves;
    Save current{bytes, time, Reason::Changed};
    if (changed) {
        if (m_held) {
            m_held->reason = Reason::Before;
            saves << *m_held;
        }
        m_afterLeft = std::max(m_options.afterCount, 0);
    } else if (m_afterLeft > 0) {
        current.reason = Reason::After;
        --m_afterLeft;
    } else if (regularDue(time)) {
        current.reason = Reason::Regular;
    } else {
        m_held = current;
        return saves;
    }
    m_held.reset();
    // Any picture saved while the regular one is due stands in for it.
    if (regularDue(time))
        m_lastRegular = time;
    saves << current;
    return saves;
}
