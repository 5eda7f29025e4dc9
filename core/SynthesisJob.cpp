#include "SynthesisJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>

namespace {

// Deletes the files of a job folder, hidden ones too, and then the folder if
// that left it empty; subfolders are neither entered nor removed. Failures
// are not reported.
void clearFolder(const QString &path)
{
    if (path.isEmpty())
        return;
    QDir folder(path);
    if (!folder.exists())
        return;
    const QStringList entries =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        const QString file = QDir::toNativeSeparators(folder.path() + QLatin1Char('/') + entry);
        if (QFileInfo(file).isFile())
            QFile::remove(file);
    }
    QDir().rmdir(path);
}

} // namespace

SynthesisJob::SynthesisJob(const JobPlan &plan, SpeechClient &client, const JobTrail &trail, QObject *parent)
    : QObject(parent)
    , m_plan(plan)
    , m_client(client)
    , m_trail(trail)
{
}

SynthesisJob::~SynthesisJob()
{
    // A task still at work when its job goes away cleans up after itself.
    qDeleteAll(m_tasks);
}

QVector<SynthesisJob::Failure> SynthesisJob::failures() const
{
    QVector<Failure> sorted = m_failures;
    std::sort(sorted.begin(), sorted.end(), [](const Failure &a, const Failure &b) { return a.passage < b.passage; });
    return sorted;
}

bool SynthesisJob::refuse(const QString &title, const QString &text)
{
    m_state = State::Refused;
    emit refused(title, text);
    emit finished();
    return false;
}

bool SynthesisJob::start()
{
    if (m_state != State::Ready)
        return false;

    const QVector<Passage> &passages = m_plan.passages;
    if (passages.isEmpty())
        return refuse(QStringLiteral("操作错误"), QStringLiteral("未获取到合成信息"));
    // Only chooser text can lack a voice: no catalogue was loaded, or nothing is chosen.
    if (std::any_of(passages.begin(), passages.end(), [](const Passage &p) { return p.voice.isEmpty(); }))
        return refuse(QStringLiteral("操作错误"), QStringLiteral("请先选择配音员"));
    // Every passage renders at once; past what the client can run together the
    // program would fail in the middle of the job, so it is refused first.
    const int limit = m_client.passageLimit();
    if (passages.size() > limit)
        return refuse(QStringLiteral("合成异常"),
                      QStringLiteral("配音段落过多（%1 段），本机最多可同时合成 %2 段，请分批合成")
                          .arg(passages.size())
                          .arg(limit));

    if (m_trail.lastDelivered == JobMode::TryListen)
        clearFolder(m_trail.lastFolder);
    m_trail.lastFolder = m_plan.folder;
    // Without its folder the service could write nothing, and the job would
    // only end in a string of failures.
    if (!QDir(m_plan.folder).exists() && !QDir().mkpath(m_plan.folder))
        return refuse(QStringLiteral("合成异常"), QStringLiteral("无法创建配音文件夹，请检查 audio 文件夹是否可以写入"));

    m_state = State::Running;
    m_reported.fill(false, passages.size());
    for (int i = 0; i < passages.size(); ++i) {
        const Passage &passage = passages[i];
        PassageTask *task = m_client.renderPassage({passage.text, passage.voice, m_plan.rates, m_plan.volumes,
                                                    m_plan.mediaPath(passage), m_plan.subtitlePath(passage), passage.reading});
        m_tasks.append(task);
        // Connected before the start, with the job as context, and queued
        // even where the task reports in this thread: the last report deletes
        // every task, which must not happen inside one of their own events.
        connect(
            task, &PassageTask::succeeded, this, [this, i] { report(i, true, QString(), QString()); },
            Qt::QueuedConnection);
        connect(
            task, &PassageTask::failed, this,
            [this, i](const QString &text, const QString &title) { report(i, false, text, title); },
            Qt::QueuedConnection);
        // A task that could not start would never report and the job would
        // never end: count it as failed, queued like a real report.
        if (!task->start())
            QMetaObject::invokeMethod(
                this, [this, i] { report(i, false, QStringLiteral("无法启动合成线程"), QStringLiteral("合成异常")); },
                Qt::QueuedConnection);
    }
    return true;
}

void SynthesisJob::report(int index, bool succeeded, const QString &text, const QString &title)
{
    if (m_state != State::Running || m_reported[index])
        return;
    m_reported[index] = true;
    ++m_reportCount;
    const int number = m_plan.passages[index].number;
    if (!succeeded)
        m_failures.append({number, text, title});
    emit passageFinished(number, succeeded);
    if (m_reportCount == m_tasks.size())
        joinAndDeliver();
}

void SynthesisJob::joinAndDeliver()
{
    // Every task has reported; their threads end right after.
    for (PassageTask *task : qAsConst(m_tasks)) {
        task->disconnect(this);
        task->finish();
    }
    qDeleteAll(m_tasks);
    m_tasks.clear();

    // Failures are told once, by count; the passages that did render are joined all the same.
    if (!m_failures.isEmpty())
        emit warning(QStringLiteral("合成异常"), QStringLiteral("部分配音合成失败：") + QString::number(m_failures.size()));

    emit joining();
    JoinRequest request;
    for (const Passage &passage : qAsConst(m_plan.passages))
        request.media.append(m_plan.mediaPath(passage));
    request.folder = m_plan.folder;
    request.pauseMs = m_plan.pauseMs;
    const SpeechAnswer answer = m_client.join(request);
    emit joined(answer.succeeded);
    if (!answer.succeeded)
        emit warning(answer.title, answer.text);

    // The passages' MP3 files are in output.mp3 now, or of no use; their
    // subtitles stay beside it.
    for (const QString &media : qAsConst(request.media))
        QFile::remove(media);

    if (answer.succeeded) {
        m_trail.lastDelivered = m_plan.mode;
        emit delivered();
        m_state = State::Delivered;
    } else {
        m_state = State::Failed;
    }
    emit finished();
}
