#include "ServiceClient.h"

#include "OpenFileLimit.h"
#include "Qajax.h"
#include "ServiceContract.h"
#include "ServiceReply.h"
#include "ttsCommunicate.h"

namespace {

// One passage on a worker thread of its own. The worker lives in the
// thread that made the task, so its reports reach the task queued there.
class WorkerTask : public PassageTask
{
public:
    WorkerTask(const PassageRequest &request, const QString &url)
        : m_worker(new ttsCommunicate(request.text, request.voice, request.rates, request.volumes, request.media,
                                      request.subtitles, url))
    {
        m_worker->setReading(request.reading);
        m_worker->setTimeoutMs(request.timeoutMs);
        // A retry follows a service out of reach: give it its bound to come back.
        if (request.attempt > 0)
            m_worker->setServiceWaitMs(request.timeoutMs > 0 ? request.timeoutMs : defaultServiceWaitMs);
        connect(m_worker, &ttsCommunicate::success, this, &PassageTask::succeeded);
        // Both arrive queued from the worker's thread, in the order sent.
        connect(m_worker, &ttsCommunicate::transient, this, [this] { m_transient = true; });
        connect(m_worker, &ttsCommunicate::error, this,
                [this](const QString &text, const QString &title) { emit failed(text, title, m_transient); });
    }

    ~WorkerTask() override
    {
        m_worker->disconnect(this);
        // Still at work (its job was dropped): it goes once its request ends,
        // rather than holding up whoever drops it.
        connect(m_worker, &QThread::finished, m_worker, &QObject::deleteLater);
        if (!m_worker->isRunning())
            delete m_worker;
    }

    bool start() override
    {
        m_worker->start(QThread::InheritPriority);
        return m_worker->isRunning() || m_worker->isFinished();
    }

    void finish() override { m_worker->wait(); }

    void cancel() override { m_worker->requestInterruption(); }

private:
    static constexpr int defaultServiceWaitMs = 30000;

    ttsCommunicate *m_worker;
    bool m_transient = false;
};

} // namespace

ServiceClient::ServiceClient(const ServiceUrls &urls)
    : m_urls(urls)
{
}

int ServiceClient::passageLimit()
{
    return OpenFileLimit::maxSegments(OpenFileLimit::raise());
}

PassageTask *ServiceClient::renderPassage(const PassageRequest &request)
{
    return new WorkerTask(request, m_urls.ttsCommunicate);
}

ReadingReply ServiceClient::reading(const QString &text, const QString &voice)
{
    Qajax ajax;
    ajax.post({{QLatin1String(contract::field::text), text}, {QLatin1String(contract::field::voice), voice}},
              m_urls.ttsReading);
    ReadingReply reply;
    reply.answer = ServiceReply::judge(ajax, QStringLiteral("读音查询接口"), QStringLiteral("查看读音"));
    if (!reply.answer.succeeded)
        return reply;
    const QJsonObject data = ajax.dataObject();
    const QJsonValue reading = data.value(QLatin1String(contract::reading::reading));
    // An answer without its reading is as good as none.
    if (!reading.isString()) {
        reply.answer = {false, QStringLiteral("语音服务返回的读音无法识别"), QStringLiteral("查看读音")};
        return reply;
    }
    reply.reading = reading.toString();
    reply.sources = data.value(QLatin1String(contract::reading::sources)).toString();
    return reply;
}

namespace {

// A join's request, bounded and given up on request, judged as the service's
// other answers are; `ajax` is left holding the reply.
SpeechAnswer postJoin(Qajax &ajax, const Qajax::Pairs &form, const QString &url, int timeoutMs,
                      const std::function<bool()> &cancelled, const QString &endpointName)
{
    ajax.setTimeoutMs(timeoutMs);
    ajax.setCancelCheck(cancelled);
    ajax.post(form, url);
    SpeechAnswer answer = ServiceReply::judgeBounded(ajax, endpointName, QStringLiteral("合成结果"));
    // A reply that is not the service's envelope carries no message of its own.
    if (!answer.succeeded && ajax.networkError() == 0 && answer.text.isEmpty())
        answer.text = QStringLiteral("语音服务返回的结果无法识别");
    return answer;
}

QString audioList(const QStringList &media)
{
    std::string audio;
    for (const QString &file : media)
        contract::appendToAudioList(audio, file.toStdString());
    return QString::fromStdString(audio);
}

QString timeList(const QVector<qint64> &times)
{
    std::string list;
    for (qint64 time : times)
        contract::appendToTimeList(list, time);
    return QString::fromStdString(list);
}

} // namespace

SpeechAnswer ServiceClient::join(const JoinRequest &request)
{
    Qajax::Pairs form{
        {QLatin1String(contract::field::audio), audioList(request.media)},
        {QLatin1String(contract::field::path), request.folder},
        {QLatin1String(contract::field::dura), QString::fromStdString(contract::pauseText(request.pauseMs))}};
    if (request.writeWav)
        form.append({QLatin1String(contract::field::wav), QStringLiteral("1")});

    Qajax ajax;
    return postJoin(ajax, form, m_urls.audioCombined, request.timeoutMs, request.cancelled,
                    QStringLiteral("语音片段组合接口"));
}

SpeechAnswer ServiceClient::place(const TimelineRequest &request, QVector<TimelineMove> &moves)
{
    moves.clear();
    Qajax::Pairs form{{QLatin1String(contract::field::audio), audioList(request.media)},
                      {QLatin1String(contract::field::starts), timeList(request.startsMs)},
                      {QLatin1String(contract::field::path), request.folder}};
    if (!request.endsMs.isEmpty())
        form.append({QLatin1String(contract::field::ends), timeList(request.endsMs)});
    form.append({QLatin1String(contract::field::outputEnd), QString::fromStdString(contract::timeText(request.endMs))});
    if (request.writeWav)
        form.append({QLatin1String(contract::field::wav), QStringLiteral("1")});

    Qajax ajax;
    const SpeechAnswer answer = postJoin(ajax, form, m_urls.audioTimeline, request.timeoutMs, request.cancelled,
                                         QStringLiteral("字幕时间轴组合接口"));
    if (!answer.succeeded)
        return answer;
    for (const QJsonValue &item : ajax.data()) {
        const QJsonObject move = item.toObject();
        moves.append({move.value(QLatin1String(contract::timelineMove::number)).toInt(),
                      qint64(move.value(QLatin1String(contract::timelineMove::shiftMs)).toDouble())});
    }
    return answer;
}
