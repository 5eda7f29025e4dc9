#include "RestartBudget.h"

#include <algorithm>

RestartBudget::RestartBudget(int limit, qint64 windowMs)
    : m_limit(limit)
    , m_windowMs(windowMs)
{
}

int RestartBudget::used(qint64 nowMs) const
{
    return int(std::count_if(m_restarts.begin(), m_restarts.end(),
                             [&](qint64 at) { return nowMs - at < m_windowMs; }));
}

bool RestartBudget::allow(qint64 nowMs)
{
    m_restarts.erase(std::remove_if(m_restarts.begin(), m_restarts.end(),
                                    [&](qint64 at) { return nowMs - at >= m_windowMs; }),
                     m_restarts.end());
    if (m_restarts.size() >= m_limit)
        return false;
    m_restarts.append(nowMs);
    return true;
}
