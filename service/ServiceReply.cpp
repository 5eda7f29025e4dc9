#include "ServiceReply.h"

#include "Qajax.h"
#include "ServiceContract.h"

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

} // namespace ServiceReply
