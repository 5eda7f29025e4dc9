#include "ttsCommunicate.h"

#include "AppSettings.h"
#include "Qajax.h"

ttsCommunicate::ttsCommunicate(const QString &text, const QString &voice, const QString &rates,
                               const QString &volumes, const QString &writeMedia,
                               const QString &writeSubtitles)
    : text(text), voice(voice), rates(rates), volumes(volumes), write_media(writeMedia),
      write_subtitles(writeSubtitles)
{
}

ttsCommunicate::~ttsCommunicate() = default;

void ttsCommunicate::run()
{
    // Made here so that its network objects and its waiting loop belong to this thread.
    Qajax ajax;
    ajax.post({{QStringLiteral("text"), text},
               {QStringLiteral("voice"), voice},
               {QStringLiteral("rates"), rates},
               {QStringLiteral("volumes"), volumes},
               {QStringLiteral("write_media"), write_media},
               {QStringLiteral("write_subtitles"), write_subtitles}},
              ttsCommunicateUrl);

    if (ajax.networkError() != 0)
        emit error(QStringLiteral("语音合成接口网络接口请求错误，代码：") + QString::number(ajax.networkError()),
                   QStringLiteral("接口错误"));
    else if (ajax.code() == 1)
        emit success();
    else
        emit error(ajax.msg(), QStringLiteral("合成结果"));
}
