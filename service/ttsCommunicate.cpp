#include "ttsCommunicate.h"

#include "Qajax.h"
#include "ServiceContract.h"
#include "ServiceProbe.h"
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
    const auto interrupted = [this] { return isInterruptionRequested(); };
    if (serviceWaitMs > 0)
        ServiceProbe::waitUntilListening(url, serviceWaitMs, interrupted);

    // Made here so that its network objects and its waiting loop belong to this thread.
    Qajax ajax;
    ajax.setTimeoutMs(timeoutMs);
    ajax.setCancelCheck(interrupted);
    Qajax::Pairs fields{{QLatin1String(contract::field::text), text},
                        {QLatin1String(contract::field::voice), voice},
                        {QLatin1String(contract::field::rates), rates},
                        {QLatin1String(contract::field::volumes), volumes},
                        {QLatin1String(contract::field::writeMedia), write_media},
                        {QLatin1String(contract::field::writeSubtitles), write_subtitles}};
    if (!reading.isEmpty())
        fields.append({QLatin1String(contract::field::reading), reading});
    if (!isInterruptionRequested())
        ajax.post(fields, url);
    if (isInterruptionRequested()) {
        emit error(QStringLiteral("已取消"), QStringLiteral("合成结果"));
        return;
    }

    const SpeechAnswer answer =
        ServiceReply::judgeBounded(ajax, QStringLiteral("语音合成接口"), QStringLiteral("合成结果"));
    if (answer.succeeded) {
        emit success();
        return;
    }
    if (ServiceReply::isTransient(ajax))
        emit transient();
    emit error(answer.text, answer.title);
}
