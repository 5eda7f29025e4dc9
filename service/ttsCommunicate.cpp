#include "ttsCommunicate.h"

#include "Qajax.h"
#include "ServiceContract.h"
#include "ServiceReply.h"

ttsCommunicate::ttsCommunicate(const QString &text, const QString &voice, const QString &rates,
                               const QString &volumes, const QString &writeMedia,
                               const QString &writeSubtitles, const QString &url)
    : text(text), voice(voice), rates(rates), volumes(volumes), write_media(writeMedia),
      write_subtitles(writeSubtitles), url(url)
{
}

ttsCommunicate::~ttsCommunicate() = default;

void ttsCommunicate::run()
{
    // Made here so that its network objects and its waiting loop belong to this thread.
    Qajax ajax;
    Qajax::Pairs fields{{QLatin1String(contract::field::text), text},
                        {QLatin1String(contract::field::voice), voice},
                        {QLatin1String(contract::field::rates), rates},
                        {QLatin1String(contract::field::volumes), volumes},
                        {QLatin1String(contract::field::writeMedia), write_media},
                        {QLatin1String(contract::field::writeSubtitles), write_subtitles}};
    if (!reading.isEmpty())
        fields.append({QLatin1String(contract::field::reading), reading});
    ajax.post(fields, url);

    const SpeechAnswer answer = ServiceReply::judge(ajax, QStringLiteral("语音合成接口"), QStringLiteral("合成结果"));
    if (answer.succeeded)
        emit success();
    else
        emit error(answer.text, answer.title);
}
