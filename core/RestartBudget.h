#pragma once

#include <QVector>
#include <QtGlobal>

// How often a process that keeps ending may be started again: at most
// `limit` restarts in any span of `windowMs`. A service that dies at once on
// every start is then given up on instead of being started in a loop.
class RestartBudget
{
public:
    explicit RestartBudget(int limit = 3, qint64 windowMs = 60000);

    // The process ended at `nowMs` (a monotonic clock): true, and the restart
    // counted, when it may be started again.
    bool allow(qint64 nowMs);
    // Restarts counted within the window that ends at `nowMs`.
    int used(qint64 nowMs) const;

private:
    int m_limit;
    qint64 m_windowMs;
    QVector<qint64> m_restarts;
};
