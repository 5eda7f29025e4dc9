#pragma once

#include "SpeechClient.h"

#include <QString>

class Qajax;

// How every caller reads a finished request, in the one order of the
// contract: a transport error first, then the envelope's code, else its
// message.
namespace ServiceReply {

// `endpointName` names the endpoint in the transport message
// ("语音合成接口" gives "语音合成接口网络接口请求错误，代码：1"); a refusal is
// captioned `refusedTitle` and carries the service's message.
SpeechAnswer judge(const Qajax &ajax, const QString &endpointName, const QString &refusedTitle);

// The same, except that a request that ran out of time is told as the
// service not answering ("语音服务无响应"), whatever the endpoint.
SpeechAnswer judgeBounded(const Qajax &ajax, const QString &endpointName, const QString &refusedTitle);

// Whether a request that failed this way may succeed if sent again: the
// service could not be reached, dropped the connection (it was stopped or is
// restarting), was unavailable, or did not answer in time. A refusal by the
// service, or a reply it did send, is not.
bool isTransient(int networkError);
bool isTransient(const Qajax &ajax);

} // namespace ServiceReply
