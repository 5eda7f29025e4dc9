#include "GetVoices.h"

#include "AppSettings.h"
#include "JobLimits.h"
#include "Qajax.h"
#include "ServiceReply.h"
#include "SqlLite.h"
#include "VoiceCatalogue.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTcpSocket>
#include <QUrl>

#include <memory>

namespace {
const QString databaseTitle = QStringLiteral("请确保软件有足够的权限");
const QString databaseText = QStringLiteral("读取数据库失败");
}

GetVoices::GetVoices()
    : GetVoices(getVoicesUrl, defaultConnectWaitMs)
{
}

GetVoices::GetVoices(const QString &url, int connectWaitMs)
    : url(url)
    , connectWaitMs(connectWaitMs)
{
}

void GetVoices::waitForService() const
{
    // The window starts the service only after the page has started this
    // loader, so on a first start the service is usually not listening yet.
    const QUrl target(url);
    QElapsedTimer elapsed;
    elapsed.start();
    for (;;) {
        QTcpSocket probe;
        probe.connectToHost(target.host(), quint16(target.port(80)));
        const int left = int(qMax<qint64>(0, connectWaitMs - elapsed.elapsed()));
        if (probe.waitForConnected(qMax(left, 1))) {
            probe.abort();
            return;
        }
        probe.abort();
        if (elapsed.elapsed() + connectRetryMs > connectWaitMs)
            return;
        QThread::msleep(connectRetryMs);
    }
}

void GetVoices::run()
{
    auto database = std::make_unique<SqlLite>();
    if (!database->open()) {
        emit error(databaseText, databaseTitle);
        return;
    }

    // Any statement that SQLite refuses means a corrupt or read-only file:
    // report it and leave the file alone rather than ask for a restart that
    // could never help.
    bool usable = true;
    int cachedCount = 0;
    const int tables = database->tableCheck(&usable);
    if (usable && tables == 0) {
        emit showLoading();
        usable = database->createTable();
    } else if (usable) {
        cachedCount = database->rowCount(&usable);
        if (usable && cachedCount == 0) {
            emit showLoading();
        } else if (usable) {
            const QJsonArray records = database->readAll(&usable);
            if (usable) {
                VoiceCatalogue::instance().groupVoices(records);
                emit ok(false);
            }
        }
    }
    if (!usable) {
        emit error(databaseText, databaseTitle);
        return;
    }

    waitForService();

    // A service that accepts and never answers must not keep the first
    // start's overlay up for ever: past the bound this is a transport error.
    Qajax ajax;
    ajax.setTimeoutMs(JobLimits::catalogueTimeoutMs());
    ajax.get(Qajax::Pairs(), url);

    const SpeechAnswer answer = ServiceReply::judge(ajax, QStringLiteral("配音员接口"), QStringLiteral("获取结果"));
    if (!answer.succeeded) {
        emit error(answer.text, answer.title);
        return;
    }
    const QJsonArray voices = ajax.data();
    if (voices.size() == cachedCount)
        emit ok(true);
    else if (database->replaceVoices(voices))
        emit reStart();
    else
        emit error(databaseText, databaseTitle);
}
