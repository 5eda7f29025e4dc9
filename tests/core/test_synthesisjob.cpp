#include "SynthesisJob.h"

#include <QDir>
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
};

class ScriptedTask : public PassageTask
{
public:
    ScriptedTask(const PassageRequest &request, const Script &script)
        : m_request(request), m_script(script)
    {
    }

    bool start() override
    {
        if (!m_script.canStart)
            return false;
        QTimer::singleShot(m_script.delayMs, this, [this] {
            // What the service writes for a passage it rendered.
            if (m_script.succeed) {
                for (const QString &path : {m_request.media, m_request.subtitles}) {
                    QFile file(path);
                    if (file.open(QIODevice::WriteOnly))
                        file.write("passage");
                }
            }
            for (int i = 0; i < m_script.reports; ++i) {
                if (m_script.succeed)
                    emit succeeded();
                else
                    emit failed(m_script.text, m_script.title);
            }
        });
        return true;
    }

    void finish() override { ++finished; }

    static inline int finished = 0;

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
        if (joinAnswer.succeeded) {
            QFile output(request.folder + "output.mp3");
            if (output.open(QIODevice::WriteOnly))
                output.write("joined");
        }
        return joinAnswer;
    }

    int limit = 1000;
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

} // namespace

class TestSynthesisJob : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void refusals_data();
    void refusals();
    void passagesAndJoinFollowThePlan();
    void failuresAreListedByNumber();
    void failedJoinIsToldAndNotDelivered();
    void previousFolder_data();
    void previousFolder();
    void aSecondReportIsIgnored();
    void droppedWhileRunning();

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

    // Told once, by count, before the join; what did render is joined all the same.
    const int warning = log->indexOf("warning 合成异常/部分配音合成失败：2");
    QVERIFY(warning >= 0);
    QCOMPARE(log->mid(warning), (QStringList{"warning 合成异常/部分配音合成失败：2", "joining", "joined", "delivered",
                                             "finished"}));
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
    job.reset();
    // The task went with its job, and its timer with it: nothing reports later.
    QTest::qWait(300);
    QVERIFY(client.joins.isEmpty());
}

QTEST_GUILESS_MAIN(TestSynthesisJob)
#include "test_synthesisjob.moc"
