#include "ServiceProbe.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>
#include <QUrl>

namespace ServiceProbe {

bool waitUntilListening(const QString &url, int budgetMs, const std::function<bool()> &stop)
{
    const QUrl target(url);
    QElapsedTimer elapsed;
    elapsed.start();
    for (;;) {
        if (stop && stop())
            return false;
        QTcpSocket probe;
        probe.connectToHost(target.host(), quint16(target.port(80)));
        // Short tries, so that a stop is seen soon.
        const qint64 left = budgetMs - elapsed.elapsed();
        const bool connected = probe.waitForConnected(int(qBound<qint64>(1, left, 500)));
        probe.abort();
        if (connected)
            return true;
        if (elapsed.elapsed() + retryMs > budgetMs)
            return false;
        QThread::msleep(retryMs);
    }
}

} // namespace ServiceProbe
