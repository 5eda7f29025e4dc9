#include "ServiceReply.h"

#include "Qajax.h"
#include "ServiceContract.h"

#include <QNetworkReply>

namespace ServiceReply {

SpeechAnswer judge(const Qajax &ajax, const QString &endpointName, const QString &refusedTitle)
{
    SpeechAnswer answer;
    if (ajax.networkError() != 0) {
        answer.text = endpointName + QStringLiteral("网络接口请求错误，代码：") + QString::number(ajax.networkError());
        answer.title = QStringLiteral("接口错误");
    } else if (ajax.code() == contract::envelope::success) {
        answer.succeeded = true;
    } else {
        answer.text = ajax.msg();
        answer.title = refusedTitle;
    }
    return answer;
}

SpeechAnswer judgeBounded(const Qajax &ajax, const QString &endpointName, const QString &refusedTitle)
{
    if (ajax.timedOut())
        return SpeechAnswer{false, QStringLiteral("语音服务无响应"), QStringLiteral("接口错误")};
    return judge(ajax, endpointName, refusedTitle);
}

bool isTransient(int networkError)
{
    switch (networkError) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ServiceUnavailableError:
        return true;
    default:
        return false;
    }
}

bool isTransient(const Qajax &ajax)
{
    return ajax.timedOut() || (!ajax.cancelled() && isTransient(ajax.networkError()));
}

} // namespace ServiceReply
