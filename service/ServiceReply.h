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

} // namespace ServiceReply
