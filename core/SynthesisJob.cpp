#include "SynthesisJob.h"

#include "CueFit.h"
#include "JobLimits.h"
#include "JobReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include "ServiceContract.h"

#include <algorithm>
#include <numeric>

namespace {

const QString noAnswerText = QStringLiteral("语音服务无响应");
const QString noAnswerTitle = QStringLiteral("接口错误");

// How often the job looks for passages whose report is overdue.
constexpr int deadlineCheckMs = 250;

// After a cancel the service may still finish a passage it had taken and
// write its files into the folder just cleared; later sweeps take those too.
constexpr int lateSweepsMs[] = {2000, 30000};

} // namespace

void SynthesisJob::clearFolder(const QString &path)
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

SynthesisJob::SynthesisJob(const JobPlan &plan, SpeechClient &client, const JobTrail &trail, QObject *parent)
    : QObject(parent)
    , m_plan(plan)
    , m_client(client)
    , m_trail(trail)
{
    m_progressTimer.setSingleShot(true);
    connect(&m_progressTimer, &QTimer::timeout, this, &SynthesisJob::showProgress);
    m_deadlineTimer.setInterval(deadlineCheckMs);
    connect(&m_deadlineTimer, &QTimer::timeout, this, &SynthesisJob::checkDeadlines);
}

SynthesisJob::~SynthesisJob()
{
    // A task still at work when its job goes away is given up and cleans up
    // after itself.
    for (PassageTask *task : qAsConst(m_tasks)) {
        if (task) {
            task->disconnect(this);
            task->cancel();
        }
    }
    qDeleteAll(m_tasks);
}

bool SynthesisJob::isRunning() const
{
    return m_state == State::Rendering || m_state == State::Joining || (m_state == State::Cancelled && m_inJoin);
}

QVector<SynthesisJob::Failure> SynthesisJob::failures() const
{
    QVector<Failure> sorted = m_failures;
    std::sort(sorted.begin(), sorted.end(), [](const Failure &a, const Failure &b) { return a.passage < b.passage; });
    return sorted;
}

void SynthesisJob::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

bool SynthesisJob::refuse(const QString &title, const QString &text)
{
    setState(State::Refused);
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

    setState(State::Rendering);
    m_clock.start();
    const int count = passages.size();
    m_planRate = contract::parsePercent(m_plan.rates.toStdString(), contract::rateMin, contract::rateMax).value_or(0);
    m_rates.fill(m_planRate, count);
    m_tryRates.fill(m_planRate, count);
    m_noFit.fill(false, count);
    m_order.resize(count);
    std::iota(m_order.begin(), m_order.end(), 0);
    if (m_plan.timeline)
        std::stable_sort(m_order.begin(), m_order.end(),
                         [&passages](int a, int b) { return passages[a].startMs < passages[b].startMs; });
    m_tasks.fill(nullptr, count);
    m_reported.fill(false, count);
    m_attempts.fill(0, count);
    m_deadlines.fill(0, count);
    for (int i = 0; i < count && m_state == State::Rendering; ++i)
        launch(i);
    if (m_state == State::Rendering) {
        showProgress();
        m_deadlineTimer.start();
    }
    return true;
}

void SynthesisJob::launch(int index)
{
    const Passage &passage = m_plan.passages[index];
    const int attempt = m_attempts[index];
    PassageRequest request{passage.text,
                           passage.voice,
                           QString::fromStdString(contract::percentText(m_tryRates[index])),
                           m_plan.volumes,
                           attemptMedia(index),
                           attemptSubtitles(index),
                           passage.reading};
    request.timeoutMs = JobLimits::segmentTimeoutMs(passage.text.size());
    request.attempt = attempt;
    PassageTask *task = m_client.renderPassage(request);
    m_tasks[index] = task;
    m_deadlines[index] = m_clock.elapsed() + JobLimits::passageDeadlineMs(passage.text.size(), attempt);
    // Connected before the start, with the job as context, and queued even
    // where the task reports in this thread: a report deletes its task, which
    // must not happen inside one of the task's own calls. The attempt tells a
    // late report of a task that was retried from one of its successor.
    connect(
        task, &PassageTask::succeeded, this,
        [this, index, attempt] { report(index, attempt, true, QString(), QString(), false, true); },
        Qt::QueuedConnection);
    connect(
        task, &PassageTask::failed, this,
        [this, index, attempt](const QString &text, const QString &title, bool retryable) {
            report(index, attempt, false, text, title, retryable, true);
        },
        Qt::QueuedConnection);
    // A task that could not start would never report and the job would
    // never end: count it as failed, queued like a real report.
    if (!task->start())
        QMetaObject::invokeMethod(
            this,
            [this, index, attempt] {
                report(index, attempt, false, QStringLiteral("无法启动合成线程"), QStringLiteral("合成异常"), false,
                       true);
            },
            Qt::QueuedConnection);
}

void SynthesisJob::releaseTask(int index, bool reported)
{
    PassageTask *task = m_tasks[index];
    if (!task)
        return;
    m_tasks[index] = nullptr;
    task->disconnect(this);
    // A task that reported ends right after; one that is overdue may hang on,
    // so it is given up rather than waited for.
    if (reported)
        task->finish();
    else
        task->cancel();
    delete task;
}

void SynthesisJob::report(int index, int attempt, bool succeeded, const QString &text, const QString &title,
                          bool retryable, bool fromTask)
{
    if (m_state != State::Rendering || m_reported[index] || attempt != m_attempts[index])
        return;
    releaseTask(index, fromTask);
    if (!succeeded && retryable && attempt == 0) {
        m_attempts[index] = 1;
        launch(index);
        return;
    }

    m_reported[index] = true;
    if (m_fitRound > 0) {
        fitReported(index, succeeded);
        return;
    }
    ++m_reportCount;
    const int number = m_plan.passages[index].number;
    if (!succeeded) {
        m_failures.append({number, text, title});
        m_failedIndexes.append(index);
        m_noFit[index] = true;
    }
    emit passageFinished(number, succeeded);
    updateProgress();
    if (m_reportCount == m_plan.passages.size())
        renderingDone();
}

QString SynthesisJob::attemptMedia(int index) const
{
    const Passage &passage = m_plan.passages[index];
    if (m_fitRound == 0)
        return m_plan.mediaPath(passage);
    return m_plan.folder + QStringLiteral("%1-fit%2.mp3").arg(passage.number).arg(m_fitRound);
}

QString SynthesisJob::attemptSubtitles(int index) const
{
    const Passage &passage = m_plan.passages[index];
    if (m_fitRound == 0)
        return m_plan.subtitlePath(passage);
    // The service finds a passage's subtitles beside its MP3, by name.
    return m_plan.folder + QStringLiteral("%1-fit%2.srt").arg(passage.number).arg(m_fitRound);
}

void SynthesisJob::renderingDone()
{
    if (m_plan.timeline && startFitRound())
        return;
    joinAndDeliver();
}

bool SynthesisJob::startFitRound()
{
    // A second round catches an estimate that fell short; more would only
    // approach the ceiling the second one tries anyway.
    if (m_fitRound >= 2)
        return false;
    const int count = m_order.size();
    QVector<std::optional<CueFit::Speech>> speech(count);
    QVector<qint64> starts(count), nextLeads(count, 0);
    for (int k = 0; k < count; ++k) {
        const int index = m_order[k];
        starts[k] = m_plan.passages[index].startMs;
        if (!m_noFit[index])
            speech[k] = CueFit::speechIn(m_plan.subtitlePath(m_plan.passages[index]));
        if (k > 0 && speech[k])
            nextLeads[k - 1] = speech[k]->leadMs;
    }
    const QVector<qint64> limits = CueFit::slotsMs(starts, nextLeads);
    const int ceiling = CueFit::maxRate(m_planRate);

    QVector<int> toFit;
    for (int k = 0; k < count; ++k) {
        const int index = m_order[k];
        if (!speech[k])
            continue;
        int rate = CueFit::fittingRate(m_rates[index], speech[k]->lengthMs(), limits[k], ceiling);
        // What the first estimate did not fit goes straight to the ceiling.
        if (rate > m_rates[index] && m_fitRound == 1)
            rate = ceiling;
        if (rate <= m_rates[index])
            continue;
        m_tryRates[index] = rate;
        toFit.append(index);
    }
    if (toFit.isEmpty())
        return false;

    ++m_fitRound;
    m_fitPending = toFit.size();
    for (int index : qAsConst(toFit)) {
        m_reported[index] = false;
        m_attempts[index] = 0;
    }
    for (int index : qAsConst(toFit)) {
        if (m_state != State::Rendering)
            break;
        launch(index);
    }
    return true;
}

void SynthesisJob::fitReported(int index, bool succeeded)
{
    const Passage &passage = m_plan.passages[index];
    const QString media = attemptMedia(index), subtitles = attemptSubtitles(index);
    // A faster rendering takes the place of the one before; one that failed
    // leaves it, and the cue runs over its slot instead.
    if (succeeded) {
        QFile::remove(m_plan.mediaPath(passage));
        QFile::remove(m_plan.subtitlePath(passage));
        if (QFile::rename(media, m_plan.mediaPath(passage)) && QFile::rename(subtitles, m_plan.subtitlePath(passage)))
            m_rates[index] = m_tryRates[index];
        else
            m_noFit[index] = true;
    } else {
        // The service would most likely refuse a second faster try as well.
        QFile::remove(media);
        QFile::remove(subtitles);
        m_noFit[index] = true;
    }
    m_tryRates[index] = m_rates[index];
    if (--m_fitPending > 0)
        return;
    if (!startFitRound())
        joinAndDeliver();
}

void SynthesisJob::checkDeadlines()
{
    if (m_state != State::Rendering)
        return;
    const qint64 now = m_clock.elapsed();
    for (int i = 0; i < m_deadlines.size() && m_state == State::Rendering; ++i) {
        if (!m_reported[i] && m_tasks[i] && m_deadlines[i] <= now)
            report(i, m_attempts[i], false, noAnswerText, noAnswerTitle, true, false);
    }
}

void SynthesisJob::updateProgress()
{
    const int total = m_plan.passages.size();
    // A pending update will show the latest count anyway; only the last one
    // may not wait.
    if (m_reportCount < total && m_progressTimer.isActive())
        return;
    const qint64 delay = JobReport::progressDelayMs(m_clock.elapsed() - m_progressShownAt, m_reportCount, total,
                                                    JobLimits::progressIntervalMs);
    if (delay > 0) {
        m_progressTimer.start(int(delay));
        return;
    }
    m_progressTimer.stop();
    showProgress();
}

void SynthesisJob::showProgress()
{
    if (m_state != State::Rendering)
        return;
    m_progressShownAt = m_clock.elapsed();
    emit progress(m_reportCount, m_plan.passages.size());
}

bool SynthesisJob::cancel()
{
    if (m_state == State::Joining) {
        // The join is waiting in a loop further down the stack; it asks
        // request.cancelled, gives up and ends the job from there.
        setState(State::Cancelled);
        return true;
    }
    if (m_state != State::Rendering)
        return false;
    setState(State::Cancelled);
    for (int i = 0; i < m_tasks.size(); ++i)
        releaseTask(i, false);
    endCancelled();
    return true;
}

void SynthesisJob::endCancelled()
{
    m_progressTimer.stop();
    m_deadlineTimer.stop();
    // Only this job's passages were ever written here.
    clearFolder(m_plan.folder);
    const QString folder = m_plan.folder;
    for (int delayMs : lateSweepsMs)
        QTimer::singleShot(delayMs, [folder] { clearFolder(folder); });
    emit cancelled();
    emit finished();
}

void SynthesisJob::tellAdjustments(const QVector<TimelineMove> &moves)
{
    QVector<qint64> shifts(m_plan.passages.size(), 0);
    for (const TimelineMove &move : moves)
        if (move.number >= 1 && move.number <= m_order.size())
            shifts[m_order[move.number - 1]] = move.shiftMs;
    m_adjustments.clear();
    QVector<CueFit::Change> changes;
    for (int index : qAsConst(m_order)) {
        const Passage &passage = m_plan.passages[index];
        const bool spedUp = m_rates[index] != m_planRate;
        if (!spedUp && shifts[index] <= 0)
            continue;
        m_adjustments.append({passage.cue, m_rates[index], spedUp, shifts[index]});
        changes.append({passage.cue, spedUp, m_rates[index], shifts[index]});
    }
    const QString text = CueFit::reportText(changes, m_plan.skipped);
    if (!text.isEmpty())
        emit adjusted(QStringLiteral("字幕对齐"), text);
}

void SynthesisJob::joinAndDeliver()
{
    m_progressTimer.stop();
    m_deadlineTimer.stop();

    // The passages that did render are joined all the same.
    if (!m_failures.isEmpty()) {
        QVector<JobReport::FailedPassage> failed;
        for (int i = 0; i < m_failures.size(); ++i)
            failed.append({m_failures[i].passage, m_plan.passages[m_failedIndexes[i]].text, m_failures[i].text,
                           m_failures[i].title});
        emit warning(QStringLiteral("合成异常"), JobReport::failureText(failed));
        // The warning may have waited in a message box, and the job been cancelled meanwhile.
        if (m_state != State::Rendering)
            return;
    }

    setState(State::Joining);
    emit joining();
    QStringList media;
    qint64 characters = 0;
    for (const Passage &passage : qAsConst(m_plan.passages)) {
        media.append(m_plan.mediaPath(passage));
        characters += passage.text.size();
    }
    const int timeoutMs = JobLimits::joinTimeoutMs(characters);
    // The client's own bound should end the join; this one holds if it does not.
    QElapsedTimer joinClock;
    joinClock.start();
    const qint64 deadline = qint64(timeoutMs) + JobLimits::reportGraceMs;
    auto cancelled = [this, &joinClock, deadline] {
        return m_state == State::Cancelled || joinClock.elapsed() > deadline;
    };
    QVector<TimelineMove> moves;
    m_inJoin = true;
    SpeechAnswer answer;
    if (m_plan.timeline) {
        TimelineRequest request;
        for (int index : qAsConst(m_order)) {
            const Passage &passage = m_plan.passages[index];
            request.media.append(media[index]);
            request.startsMs.append(passage.startMs);
            request.endsMs.append(std::max(passage.endMs, passage.startMs));
            request.endMs = std::max(request.endMs, passage.endMs);
        }
        request.folder = m_plan.folder;
        request.writeWav = m_plan.writeWav;
        request.timeoutMs = timeoutMs;
        request.cancelled = cancelled;
        answer = m_client.place(request, moves);
    } else {
        JoinRequest request;
        request.media = media;
        request.folder = m_plan.folder;
        request.pauseMs = m_plan.pauseMs;
        request.writeWav = m_plan.writeWav;
        request.timeoutMs = timeoutMs;
        request.cancelled = cancelled;
        answer = m_client.join(request);
    }
    m_inJoin = false;
    if (m_state == State::Cancelled) {
        endCancelled();
        return;
    }
    if (!answer.succeeded && joinClock.elapsed() > deadline)
        answer = SpeechAnswer{false, noAnswerText, noAnswerTitle};

    emit joined(answer.succeeded);
    if (!answer.succeeded)
        emit warning(answer.title, answer.text);

    // The passages' MP3 files are in output.mp3 now, or of no use; their
    // subtitles stay beside it.
    for (const QString &file : qAsConst(media))
        QFile::remove(file);

    if (answer.succeeded && m_plan.timeline) {
        tellAdjustments(moves);
        // The box may have waited, and the job been cancelled meanwhile.
        if (m_state == State::Cancelled) {
            endCancelled();
            return;
        }
    }

    if (answer.succeeded) {
        m_trail.lastDelivered = m_plan.mode;
        emit delivered();
        setState(State::Delivered);
    } else {
        setState(State::Failed);
    }
    emit finished();
}
