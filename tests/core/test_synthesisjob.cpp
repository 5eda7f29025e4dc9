#include "JobLimits.h"
#include "SynthesisJob.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

// SynthesisJob on its own, driving a scripted client in this thread: what it
// refuses, the order of what it reports, the failure list, the files it
// deletes and the folders it clears. Its requests over HTTP are tested in
// tests/service against the fake service.
namespace {

struct Script {
    bool succeed = true;
    bool canStart = true;
    int delayMs = 0;
    int reports = 1; // a task that reports more than once
    QString text;
    QString title;
    bool retryable = false;   // a failure of the kind worth a second try
    int succeedFrom = -1;     // >= 0: attempts from this one on succeed
    bool silent = false;      // never reports at all
};

class ScriptedTask : public PassageTask
{
public:
    ScriptedTask(const PassageRequest &request, const Script &script)
        : m_request(request), m_script(script)
    {
        ++alive;
    }
    ~ScriptedTask() override { --alive; }

    bool start() override
    {
        if (!m_script.canStart)
            return false;
        if (m_script.silent)
            return true;
        QTimer::singleShot(m_script.delayMs, this, [this] {
            const bool succeed =
                m_script.succeedFrom >= 0 ? m_request.attempt >= m_script.succeedFrom : m_script.succeed;
            // What the service writes for a passage it rendered.
            if (succeed) {
                for (const QString &path : {m_request.media, m_request.subtitles}) {
                    QFile file(path);
                    if (file.open(QIODevice::WriteOnly))
                        file.write("passage");
                }
            }
            for (int i = 0; i < m_script.reports; ++i) {
                if (succeed)
                    emit succeeded();
                else
                    emit failed(m_script.text, m_script.title, m_script.retryable);
            }
        });
        return true;
    }

    void finish() override { ++finished; }
    void cancel() override { ++cancelled; }

    static inline int finished = 0;
    static inline int cancelled = 0;
    static inline int alive = 0;

private:
    PassageRequest m_request;
    Script m_script;
};

class ScriptedClient : public SpeechClient
{
public:
    int passageLimit() override { return limit; }

    PassageTask *renderPassage(const PassageRequest &request) override
    {
        requests.append(request);
        return new ScriptedTask(request, scripts.value(request.text));
    }

    SpeechAnswer join(const JoinRequest &request) override
    {
        joins.append(request);
        if (joinWaitsForCancel) {
            // A join that never answers: it ends only when asked to give up.
            QElapsedTimer clock;
            clock.start();
            while (!(request.cancelled && request.cancelled()) && clock.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            return SpeechAnswer{false, "aborted", "接口错误"};
        }
        if (joinAnswer.succeeded) {
            QFile output(request.folder + "output.mp3");
            if (output.open(QIODevice::WriteOnly))
                output.write("joined");
        }
        return joinAnswer;
    }

    int limit = 100000;
    bool joinWaitsForCancel = false;
    QHash<QString, Script> scripts; // by passage text
    SpeechAnswer joinAnswer{true, QString(), QString()};
    QList<PassageRequest> requests;
    QList<JoinRequest> joins;
};

// Every signal of a job, in order, as text.
QStringList *record(SynthesisJob &job)
{
    auto *log = new QStringList;
    QObject::connect(&job, &QObject::destroyed, [log] { delete log; });
    QObject::connect(&job, &SynthesisJob::refused, [log](const QString &title, const QString &text) {
        log->append("refused " + title + "/" + text);
    });
    QObject::connect(&job, &SynthesisJob::passageFinished, [log](int number, bool ok) {
        log->append(QStringLiteral("passage %1 %2").arg(number).arg(ok ? "ok" : "failed"));
    });
    QObject::connect(&job, &SynthesisJob::warning, [log](const QString &title, const QString &text) {
        log->append("warning " + title + "/" + text);
    });
    QObject::connect(&job, &SynthesisJob::joining, [log] { log->append("joining"); });
    QObject::connect(&job, &SynthesisJob::joined, [log](bool ok) { log->append(ok ? "joined" : "join failed"); });
    QObject::connect(&job, &SynthesisJob::delivered, [log] { log->append("delivered"); });
    QObject::connect(&job, &SynthesisJob::cancelled, [log] { log->append("cancelled"); });
    QObject::connect(&job, &SynthesisJob::finished, [log] { log->append("finished"); });
    return log;
}

Passage passage(int number, const QString &text, const QString &voice = QStringLiteral("zh-CN-XiaoxiaoNeural"))
{
    return Passage{number, text, voice, QString()};
}

bool isFile(const QString &path)
{
    return QFileInfo(path).isFile();
}

// Returns once every scripted task started so far whose delay is at most
// `delayMs` would have reported, and its report been delivered: a timer
// started now fires after theirs (Qt fires due timers in the order of their
// deadlines), and reports are queued calls, handled right after.
bool dueReportsHaveArrived(int delayMs)
{
    bool passed = false;
    QTimer::singleShot(delayMs, Qt::PreciseTimer, [&passed] { passed = true; });
    if (!QTest::qWaitFor([&passed] { return passed; }, delayMs + 10000))
        return false;
    QCoreApplication::sendPostedEvents();
    return true;
}

} // namespace

class TestSynthesisJob : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void refusals_data();
    void refusals();
    void passagesAndJoinFollowThePlan();
    void failuresAreListedByNumber();
    void failedJoinIsToldAndNotDelivered();
    void previousFolder_data();
    void previousFolder();
    void aSecondReportIsIgnored();
    void droppedWhileRunning();
    void progressCountsToTheTotalBeforeTheJoin();
    void progressIsPacedForLargeJobs();
    void cancelWhileRendering();
    void cancelDuringTheJoin();
    void cancelAfterTheEndDoesNothing();
    void retries_data();
    void retries();
    void unansweredPassagesEndTheJob();
    void requestsCarryTheirBounds();

private:
    JobPlan plan(const QVector<Passage> &passages, JobMode mode = JobMode::Result, const QString &name = "100");
    bool waitUntilFinished(SynthesisJob &job);

    std::unique_ptr<QTemporaryDir> m_audio;
};

void TestSynthesisJob::init()
{
    m_audio = std::make_unique<QTemporaryDir>();
    QVERIFY(m_audio->isValid());
    ScriptedTask::finished = 0;
    ScriptedTask::cancelled = 0;
    ScriptedTask::alive = 0;
}

void TestSynthesisJob::cleanup()
{
    qunsetenv("LUMO_SEGMENT_TIMEOUT_MS");
    qunsetenv("LUMO_JOIN_TIMEOUT_MS");
}

JobPlan TestSynthesisJob::plan(const QVector<Passage> &passages, JobMode mode, const QString &name)
{
    JobPlan plan;
    plan.mode = mode;
    plan.rates = "+10%";
    plan.volumes = "-5%";
    plan.pauseMs = 700;
    plan.folder = m_audio->path() + "/" + name + "/";
    plan.passages = passages;
    return plan;
}

bool TestSynthesisJob::waitUntilFinished(SynthesisJob &job)
{
    return QTest::qWaitFor([&job] { return !job.isRunning(); }, 10000);
}

void TestSynthesisJob::refusals_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    QTest::newRow("no passage") << "empty" << "操作错误" << "未获取到合成信息";
    QTest::newRow("chooser text without a voice") << "voiceless" << "操作错误" << "请先选择配音员";
    QTest::newRow("more passages than can run at once")
        << "limit" << "合成异常" << "配音段落过多（3 段），本机最多可同时合成 2 段，请分批合成";
    QTest::newRow("folder that cannot be made")
        << "folder" << "合成异常" << "无法创建配音文件夹，请检查 audio 文件夹是否可以写入";
}

void TestSynthesisJob::refusals()
{
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(QString, text);

    // A try-listen folder from before: only a job that goes ahead clears it.
    const QString previous = m_audio->path() + "/50/";
    QVERIFY(QDir().mkpath(previous));
    QVERIFY(QFile(previous + "output.mp3").open(QIODevice::WriteOnly));

    ScriptedClient client;
    client.limit = 2;
    QVector<Passage> passages{passage(1, "一"), passage(2, "二"), passage(3, "三")};
    QString name = "100";
    if (kind == "empty")
        passages.clear();
    else if (kind == "voiceless")
        passages[1].voice.clear();
    else if (kind != "limit")
        passages.resize(1);
    if (kind == "folder") {
        // A file where the folder's parent should be.
        QVERIFY(QFile(m_audio->path() + "/blocker").open(QIODevice::WriteOnly));
        name = "blocker/100";
    }

    SynthesisJob job(plan(passages, JobMode::Result, name), client, JobTrail{JobMode::TryListen, previous});
    QStringList *log = record(job);
    QVERIFY(!job.start());

    QCOMPARE(*log, (QStringList{"refused " + title + "/" + text, "finished"}));
    QVERIFY(!job.isRunning());
    QVERIFY(!job.isDelivered());
    QVERIFY(client.requests.isEmpty());
    QVERIFY(client.joins.isEmpty());
    QCOMPARE(job.trail().lastDelivered, JobMode::TryListen);
    if (kind == "folder") {
        // It got as far as naming its folder, and had cleared the old one.
        QCOMPARE(job.trail().lastFolder, job.plan().folder);
        QVERIFY(!QFileInfo::exists(previous));
    } else {
        QCOMPARE(job.trail().lastFolder, previous);
        QVERIFY(isFile(previous + "output.mp3"));
        QVERIFY(!QFileInfo::exists(job.plan().folder));
    }
    // A refused job stays refused.
    QVERIFY(!job.start());
}

void TestSynthesisJob::passagesAndJoinFollowThePlan()
{
    ScriptedClient client;
    // The early passages answer last.
    client.scripts["一"].delayMs = 300;
    client.scripts["二"].delayMs = 150;
    SynthesisJob job(plan({passage(1, "一"), passage(2, "二", "zh-CN-YunxiNeural"), passage(3, "三")}), client);
    QStringList *log = record(job);
    QVERIFY(job.start());
    QVERIFY(job.isRunning());
    QVERIFY(waitUntilFinished(job));

    const QString folder = job.plan().folder;
    QCOMPARE(*log, (QStringList{"passage 3 ok", "passage 2 ok", "passage 1 ok", "joining", "joined", "delivered",
                                "finished"}));
    QCOMPARE(client.requests.size(), 3);
    const PassageRequest &second = client.requests[1];
    QCOMPARE(second.text, QString("二"));
    QCOMPARE(second.voice, QString("zh-CN-YunxiNeural"));
    QCOMPARE(second.rates, QString("+10%"));
    QCOMPARE(second.volumes, QString("-5%"));
    QCOMPARE(second.media, folder + "2.mp3");
    QCOMPARE(second.subtitles, folder + "2.srt");

    QCOMPARE(client.joins.size(), 1);
    QCOMPARE(client.joins.first().media, (QStringList{folder + "1.mp3", folder + "2.mp3", folder + "3.mp3"}));
    QCOMPARE(client.joins.first().folder, folder);
    QCOMPARE(client.joins.first().pauseMs, 700);
    QCOMPARE(ScriptedTask::finished, 3);

    // The passages' MP3 files are gone once joined; their subtitles stay.
    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), (QStringList{"1.srt", "2.srt", "3.srt", "output.mp3"}));
    QVERIFY(job.isDelivered());
    QVERIFY(job.failures().isEmpty());
    QCOMPARE(job.trail().lastDelivered, JobMode::Result);
    QCOMPARE(job.trail().lastFolder, folder);
}

void TestSynthesisJob::failuresAreListedByNumber()
{
    ScriptedClient client;
    client.scripts["三"] = Script{false, true, 0, 1, "声音不存在", "合成结果"};
    client.scripts["二"].canStart = false;
    SynthesisJob job(plan({passage(1, "一"), passage(2, "二"), passage(3, "三")}, JobMode::TryListen), client);
    QStringList *log = record(job);
    QVERIFY(job.start());
    QVERIFY(waitUntilFinished(job));

    const QVector<SynthesisJob::Failure> failures = job.failures();
    QCOMPARE(failures.size(), 2);
    QCOMPARE(failures[0].passage, 2);
    QCOMPARE(failures[0].title, QString("合成异常"));
    QCOMPARE(failures[1].passage, 3);
    QCOMPARE(failures[1].text, QString("声音不存在"));
    QCOMPARE(failures[1].title, QString("合成结果"));

    // Told once, by count and which, before the join; what did render is joined all the same.
    const QString told = "warning 合成异常/部分配音合成失败：2\n第2段「二」：无法启动合成线程\n第3段「三」：声音不存在";
    const int warning = log->indexOf(told);
    QVERIFY2(warning >= 0, qPrintable(log->join(" | ")));
    QCOMPARE(log->mid(warning), (QStringList{told, "joining", "joined", "delivered", "finished"}));
    QCOMPARE(log->filter("passage").size(), 3);
    QCOMPARE(client.joins.first().media.size(), 3);
    QVERIFY(job.isDelivered());
    QCOMPARE(job.trail().lastDelivered, JobMode::TryListen);
}

void TestSynthesisJob::failedJoinIsToldAndNotDelivered()
{
    ScriptedClient client;
    client.joinAnswer = SpeechAnswer{false, "拼接失败", "合成结果"};
    SynthesisJob job(plan({passage(1, "一"), passage(2, "二")}), client, JobTrail{JobMode::TryListen, QString()});
    QStringList *log = record(job);
    QVERIFY(job.start());
    QVERIFY(waitUntilFinished(job));

    QCOMPARE(log->mid(2), (QStringList{"joining", "join failed", "warning 合成结果/拼接失败", "finished"}));
    QVERIFY(!job.isDelivered());
    // The mode of the last delivered job stands, so the next one clears this folder.
    QCOMPARE(job.trail().lastDelivered, JobMode::TryListen);
    QCOMPARE(job.trail().lastFolder, job.plan().folder);
    QCOMPARE(QDir(job.plan().folder).entryList(QDir::Files, QDir::Name), (QStringList{"1.srt", "2.srt"}));
}

void TestSynthesisJob::previousFolder_data()
{
    QTest::addColumn<int>("lastDelivered");
    QTest::addColumn<bool>("withSubfolder");
    QTest::addColumn<bool>("folderKept");
    QTest::addColumn<bool>("filesKept");

    QTest::newRow("after try-listen: cleared and removed") << int(JobMode::TryListen) << false << false << false;
    QTest::newRow("after try-listen: subfolders stay, and so does the folder")
        << int(JobMode::TryListen) << true << true << false;
    QTest::newRow("after a result: the user's, left alone") << int(JobMode::Result) << false << true << true;
}

void TestSynthesisJob::previousFolder()
{
    QFETCH(int, lastDelivered);
    QFETCH(bool, withSubfolder);
    QFETCH(bool, folderKept);
    QFETCH(bool, filesKept);

    const QString previous = m_audio->path() + "/50/";
    QVERIFY(QDir().mkpath(previous));
    for (const char *name : {"output.mp3", "1.srt", ".hidden"})
        QVERIFY(QFile(previous + name).open(QIODevice::WriteOnly));
    if (withSubfolder)
        QVERIFY(QDir().mkpath(previous + "keep/"));

    ScriptedClient client;
    SynthesisJob job(plan({passage(1, "一")}), client, JobTrail{JobMode(lastDelivered), previous});
    QVERIFY(job.start());
    QVERIFY(waitUntilFinished(job));

    QCOMPARE(QFileInfo::exists(previous), folderKept);
    QCOMPARE(isFile(previous + "output.mp3"), filesKept);
    QCOMPARE(isFile(previous + ".hidden"), filesKept);
    if (withSubfolder)
        QVERIFY(QFileInfo(previous + "keep").isDir());
    QVERIFY(isFile(job.plan().outputPath()));
}

void TestSynthesisJob::aSecondReportIsIgnored()
{
    ScriptedClient client;
    client.scripts["一"].reports = 2;
    client.scripts["二"].delayMs = 200;
    SynthesisJob job(plan({passage(1, "一"), passage(2, "二")}), client);
    QStringList *log = record(job);
    QVERIFY(job.start());
    QVERIFY(waitUntilFinished(job));
    QCOMPARE(log->filter("passage"), (QStringList{"passage 1 ok", "passage 2 ok"}));
    QCOMPARE(client.joins.size(), 1);
}

void TestSynthesisJob::droppedWhileRunning()
{
    ScriptedClient client;
    client.scripts["一"].delayMs = 100;
    auto job = std::make_unique<SynthesisJob>(plan({passage(1, "一")}), client);
    QVERIFY(job->start());
    const QString folder = job->plan().folder;
    job.reset();
    // The task went with its job, and its timer with it: nothing reports later.
    QCOMPARE(ScriptedTask::alive, 0);
    QVERIFY(dueReportsHaveArrived(100));
    QVERIFY(client.joins.isEmpty());
    QVERIFY(!isFile(folder + "1.mp3"));
    QVERIFY(!isFile(folder + "1.srt"));
}

void TestSynthesisJob::progressCountsToTheTotalBeforeTheJoin()
{
    ScriptedClient client;
    QVector<Passage> passages;
    for (int i = 1; i <= 30; ++i) {
        const QString text = QString::number(i);
        passages.append(passage(i, text));
        client.scripts[text].delayMs = (i * 37) % 250;
    }
    SynthesisJob job(plan(passages), client);
    QStringList *log = record(job);
    QList<QPair<int, int>> counts;
    connect(&job, &SynthesisJob::progress, &job, [&](int done, int total) {
        counts.append({done, total});
        log->append(QStringLiteral("progress %1/%2").arg(done).arg(total));
    });
    QVERIFY(job.start());
    QVERIFY(waitUntilFinished(job));

    QVERIFY(counts.size() >= 2);
    QCOMPARE(counts.first(), qMakePair(0, 30));
    QCOMPARE(counts.last(), qMakePair(30, 30));
    for (int i = 1; i < counts.size(); ++i) {
        QCOMPARE(counts[i].second, 30);
        QVERIFY2(counts[i].first >= counts[i - 1].first, qPrintable(log->join(" | ")));
    }
    // N of N comes after the last passage and before the join.
    const int last = log->indexOf("progress 30/30");
    QCOMPARE(log->lastIndexOf(QRegularExpression("passage .*")), last - 1);
    QCOMPARE(log->value(last + 1), QString("joining"));
}

void TestSynthesisJob::progressIsPacedForLargeJobs()
{
    ScriptedClient client;
    QVector<Passage> passages;
    for (int i = 1; i <= 3000; ++i)
        passages.append(passage(i, QStringLiteral("第%1段").arg(i)));
    SynthesisJob job(plan(passages), client);
    int updates = 0;
    int lastDone = -1;
    connect(&job, &SynthesisJob::progress, &job, [&](int done, int) {
        ++updates;
        lastDone = done;
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(job.start());
    QVERIFY(waitUntilFinished(job));
    // 3000 reports, but the count moves at most once per interval (plus the
    // first and the last).
    QVERIFY2(updates <= 2 + clock.elapsed() / JobLimits::progressIntervalMs + 1, qPrintable(QString::number(updates)));
    QCOMPARE(lastDone, 3000);
    QVERIFY(job.isDelivered());
}

void TestSynthesisJob::cancelWhileRendering()
{
    ScriptedClient client;
    client.scripts["二"].delayMs = 300;
    client.scripts["三"].delayMs = 300;
    SynthesisJob job(plan({passage(1, "一"), passage(2, "二"), passage(3, "三")}, JobMode::TryListen), client);
    QStringList *log = record(job);
    QVERIFY(job.start());
    QVERIFY(QTest::qWaitFor([log] { return log->contains("passage 1 ok"); }, 5000));
    const QString folder = job.plan().folder;
    QVERIFY(isFile(folder + "1.mp3"));

    QVERIFY(job.cancel());
    QCOMPARE(*log, (QStringList{"passage 1 ok", "cancelled", "finished"}));
    QCOMPARE(job.state(), SynthesisJob::State::Cancelled);
    QVERIFY(!job.isRunning());
    QCOMPARE(ScriptedTask::cancelled, 2);
    // The job's folder goes, with the passage files already written.
    QVERIFY(!QFileInfo::exists(folder));
    // Nothing that was under way reports later, and no join is ever asked.
    QVERIFY(dueReportsHaveArrived(300));
    QCOMPARE(log->size(), 3);
    QVERIFY(client.joins.isEmpty());
    QVERIFY(!job.cancel());
    QCOMPARE(job.trail().lastDelivered, JobMode::Result);

    // The next job on the same client goes through.
    SynthesisJob next(plan({passage(1, "一")}, JobMode::Result, "200"), client, job.trail());
    QVERIFY(next.start());
    QVERIFY(waitUntilFinished(next));
    QVERIFY(next.isDelivered());
    QCOMPARE(client.joins.size(), 1);

    // A passage the service had taken lands after the cancel, as a real
    // service does: it is swept up a little later.
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile(folder + "3.mp3").open(QIODevice::WriteOnly));
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(folder), 10000);
    // The next job's folder is its own and stays.
    QVERIFY(isFile(next.plan().folder + "output.mp3"));
}

void TestSynthesisJob::cancelDuringTheJoin()
{
    ScriptedClient client;
    client.joinWaitsForCancel = true;
    SynthesisJob job(plan({passage(1, "一"), passage(2, "二")}), client);
    QStringList *log = record(job);
    bool cancelled = false;
    bool unwinding = false;
    connect(&job, &SynthesisJob::joining, &job, [&] {
        QTimer::singleShot(100, &job, [&] {
            cancelled = job.cancel();
            // The join has yet to return from its wait.
            unwinding = job.isRunning();
        });
    });
    QVERIFY(job.start());
    QVERIFY(waitUntilFinished(job));

    QVERIFY(cancelled);
    QVERIFY(unwinding);
    QCOMPARE(log->mid(2), (QStringList{"joining", "cancelled", "finished"}));
    QCOMPARE(client.joins.size(), 1);
    QCOMPARE(job.state(), SynthesisJob::State::Cancelled);
    QVERIFY(!QFileInfo::exists(job.plan().folder));
}

void TestSynthesisJob::cancelAfterTheEndDoesNothing()
{
    ScriptedClient client;
    SynthesisJob job(plan({passage(1, "一")}), client);
    QVERIFY(job.start());
    QVERIFY(waitUntilFinished(job));
    QVERIFY(!job.cancel());
    QVERIFY(job.isDelivered());
    QVERIFY(isFile(job.plan().outputPath()));
}

void TestSynthesisJob::retries_data()
{
    QTest::addColumn<bool>("retryable");
    QTest::addColumn<int>("succeedFrom");
    QTest::addColumn<QList<int>>("attempts");
    QTest::addColumn<bool>("succeeded");

    QTest::newRow("out of reach once, then rendered") << true << 1 << QList<int>{0, 1} << true;
    QTest::newRow("out of reach twice: failed after one retry") << true << -1 << QList<int>{0, 1} << false;
    QTest::newRow("refused by the service: never retried") << false << -1 << QList<int>{0} << false;
}

void TestSynthesisJob::retries()
{
    QFETCH(bool, retryable);
    QFETCH(int, succeedFrom);
    QFETCH(QList<int>, attempts);
    QFETCH(bool, succeeded);

    ScriptedClient client;
    Script &script = client.scripts["二"];
    script.succeed = false;
    script.retryable = retryable;
    script.succeedFrom = succeedFrom;
    script.text = "语音合成接口网络接口请求错误，代码：1";
    script.title = "接口错误";
    SynthesisJob job(plan({passage(1, "一"), passage(2, "二")}), client);
    QStringList *log = record(job);
    QVERIFY(job.start());
    QVERIFY(waitUntilFinished(job));

    QList<int> sent;
    for (const PassageRequest &request : qAsConst(client.requests)) {
        if (request.text == "二")
            sent.append(request.attempt);
    }
    QCOMPARE(sent, attempts);
    // A passage reports once, whatever it took.
    QCOMPARE(log->filter("passage 2").size(), 1);
    QCOMPARE(log->contains("passage 2 ok"), succeeded);
    QCOMPARE(job.failures().size(), succeeded ? 0 : 1);
    QCOMPARE(log->filter("warning").size(), succeeded ? 0 : 1);
    QVERIFY(job.isDelivered());
}

void TestSynthesisJob::unansweredPassagesEndTheJob()
{
    qputenv("LUMO_SEGMENT_TIMEOUT_MS", "100");
    ScriptedClient client;
    client.scripts["二"].silent = true;
    SynthesisJob job(plan({passage(1, "一"), passage(2, "二")}), client);
    QStringList *log = record(job);
    QVERIFY(job.start());
    QVERIFY(QTest::qWaitFor([&job] { return !job.isRunning(); }, 30000));

    // Given up after its bound, tried once more, given up again.
    QCOMPARE(client.requests.size(), 3);
    QCOMPARE(ScriptedTask::cancelled, 2);
    const auto failures = job.failures();
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.first().passage, 2);
    QCOMPARE(failures.first().text, QString("语音服务无响应"));
    QVERIFY(log->contains("warning 合成异常/部分配音合成失败：1\n第2段「二」：语音服务无响应"));
    QVERIFY(job.isDelivered());
}

void TestSynthesisJob::requestsCarryTheirBounds()
{
    qputenv("LUMO_SEGMENT_TIMEOUT_MS", "1000");
    qputenv("LUMO_JOIN_TIMEOUT_MS", "2000");
    ScriptedClient client;
    const QString longText(100, QLatin1Char('a'));
    SynthesisJob job(plan({passage(1, "一二三四五"), passage(2, longText)}), client);
    QVERIFY(job.start());
    QVERIFY(waitUntilFinished(job));

    QCOMPARE(client.requests.size(), 2);
    QCOMPARE(client.requests[0].timeoutMs, 1000 + 5 * 1000 / JobLimits::charactersPerSecond);
    QCOMPARE(client.requests[1].timeoutMs, 1000 + 100 * 1000 / JobLimits::charactersPerSecond);
    QCOMPARE(client.requests[0].attempt, 0);
    QCOMPARE(client.joins.size(), 1);
    QCOMPARE(client.joins.first().timeoutMs, 2000 + 105 * 1000 / JobLimits::charactersPerSecond);
    QVERIFY(bool(client.joins.first().cancelled));
}

QTEST_GUILESS_MAIN(TestSynthesisJob)
#include "test_synthesisjob.moc"
