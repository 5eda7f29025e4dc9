#include "FakeService.h"
#include "Segmentation.h"
#include "ServiceClient.h"
#include "SynthesisJob.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>

using Box = QPair<QString, QString>; // title, text
using Boxes = QList<Box>;
Q_DECLARE_METATYPE(Boxes)


// SynthesisJob driving the program's service client against the fake
// service: what goes over the wire and what comes back, with no widget.
class TestJobService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void successSendsEveryPassageThenTheJoin();
    void orderFollowsTheScriptWhateverFinishesFirst();
    void passageFailures_data();
    void passageFailures();
    void joinFailures_data();
    void joinFailures();
    void blankPassagesAreNeverSent();
    void silentServiceEndsTheJob();
    void unavailableServiceIsAskedAgain();

private:
    JobPlan plan(const QString &script, int pauseMs = 0);
    // Runs a job to its end; the warnings it gave, in order.
    Boxes run(SynthesisJob &job);
    QList<FakeService::Request> requests(const QByteArray &path) const;

    FakeService m_service;
    std::unique_ptr<ServiceClient> m_client;
    std::unique_ptr<QTemporaryDir> m_audio;
};

void TestJobService::initTestCase()
{
    QVERIFY(m_service.listen());
    m_client = std::make_unique<ServiceClient>(ServiceUrls::at(m_service.baseUrl()));
}

void TestJobService::cleanup()
{
    qunsetenv("LUMO_SEGMENT_TIMEOUT_MS");
    qunsetenv("LUMO_JOIN_TIMEOUT_MS");
}

void TestJobService::init()
{
    m_service.setResponder(FakeService::rendered);
    m_service.clearRequests();
    m_audio = std::make_unique<QTemporaryDir>();
    QVERIFY(m_audio->isValid());
}

JobPlan TestJobService::plan(const QString &script, int pauseMs)
{
    Segmentation::Input input;
    input.script = script;
    input.rate = -25;
    input.volume = 10;
    input.pauseMs = pauseMs;
    input.chooserVoice = "zh-CN-YunxiNeural";
    input.audioDir = m_audio->path() + "/";
    input.startMsecs = 1700000000000;
    return Segmentation::plan(input);
}

Boxes TestJobService::run(SynthesisJob &job)
{
    Boxes boxes;
    connect(&job, &SynthesisJob::warning, &job,
            [&boxes](const QString &title, const QString &text) { boxes.append(Box{title, text}); });
    if (job.start() && !QTest::qWaitFor([&job] { return !job.isRunning(); }, 30000))
        boxes.append(Box{"test", "the job never finished"});
    return boxes;
}

QList<FakeService::Request> TestJobService::requests(const QByteArray &path) const
{
    return m_service.requestsTo(path);
}

void TestJobService::successSendsEveryPassageThenTheJoin()
{
    SynthesisJob job(plan("你好「晓晓」a+b「」", 1500), *m_client);
    QCOMPARE(run(job), Boxes{});
    QVERIFY(job.isDelivered());

    const QString folder = job.plan().folder;
    QCOMPARE(folder, m_audio->path() + "/1700000000000/");
    const auto passages = requests("/ttsCommunicate");
    QCOMPARE(passages.size(), 2);
    for (const auto &request : passages) {
        QCOMPARE(request.method, QByteArray("POST"));
        // The plus signs of rate and text survive the form encoding.
        QVERIFY2(request.body.contains("&rates=-25%25&volumes=%2B10%25&"), request.body.constData());
    }
    const FakeService::Request tagged =
        passages[0].formValue("text") == "a+b" ? passages[0] : passages[1];
    const QList<QPair<QString, QString>> fields{
        {"text", "a+b"},
        {"voice", "zh-CN-XiaoxiaoNeural"},
        {"rates", "-25%"},
        {"volumes", "+10%"},
        {"write_media", folder + "2.mp3"},
        {"write_subtitles", folder + "2.srt"},
    };
    QCOMPARE(tagged.formFields(), fields);

    const auto joins = requests("/audioCombined");
    QCOMPARE(joins.size(), 1);
    // Only once every passage has reported.
    QCOMPARE(m_service.requests().last().path, QByteArray("/audioCombined"));
    const QList<QPair<QString, QString>> joinFields{
        {"audio", folder + "1.mp3?" + folder + "2.mp3?"}, {"path", folder}, {"dura", "1500"}};
    QCOMPARE(joins.first().formFields(), joinFields);
    QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), (QStringList{"1.srt", "2.srt", "output.mp3", "output.srt"}));
}

void TestJobService::orderFollowsTheScriptWhateverFinishesFirst()
{
    m_service.setResponder([](const FakeService::Request &request) {
        FakeService::Reply reply = FakeService::rendered(request);
        const QString text = request.formValue("text");
        if (text == "一")
            reply.delayMs = 600;
        else if (text == "二")
            reply.delayMs = 300;
        return reply;
    });
    SynthesisJob job(plan("一「云溪」二「」三「晓晓」四"), *m_client);
    QList<int> finishedOrder;
    connect(&job, &SynthesisJob::passageFinished, &job, [&](int number, bool) { finishedOrder.append(number); });
    QCOMPARE(run(job), Boxes{});

    QCOMPARE(finishedOrder.size(), 4);
    QCOMPARE(finishedOrder.mid(2), (QList<int>{2, 1}));
    const QString folder = job.plan().folder;
    QCOMPARE(requests("/audioCombined").first().formValue("audio"),
             folder + "1.mp3?" + folder + "2.mp3?" + folder + "3.mp3?" + folder + "4.mp3?");
}

void TestJobService::passageFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("reason"); // as the warning lists it
    QTest::addColumn<int>("sent");       // requests for the passage

    const QString transport = QStringLiteral("语音合成接口网络接口请求错误，代码：");
    const QString status500 = transport + QString::number(int(QNetworkReply::InternalServerError));
    const QString dropped = transport + QString::number(int(QNetworkReply::RemoteHostClosedError));
    QTest::newRow("service refuses") << "refuse" << "未知的语音：无名氏" << "合成结果" << "未知的语音：无名氏" << 1;
    QTest::newRow("HTTP error status") << "500" << status500 << "接口错误" << status500 << 1;
    // The service went away in the middle: worth one more try. Qt itself
    // sends a request whose connection closed unanswered once more, so each
    // of the job's two tries is two requests.
    QTest::newRow("dropped connection") << "drop" << dropped << "接口错误" << dropped << 4;
    QTest::newRow("reply not JSON") << "html" << "" << "合成结果" << "合成结果" << 1;
}

// One passage fails: it is listed with what the service said, the user is
// told the count, and the rest is joined all the same.
void TestJobService::passageFailures()
{
    QFETCH(QString, fault);
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(QString, reason);
    QFETCH(int, sent);

    m_service.setResponder([fault](const FakeService::Request &request) {
        if (request.formValue("text") != "二")
            return FakeService::rendered(request);
        if (fault == "refuse")
            return FakeService::envelope(0, QStringLiteral("未知的语音：无名氏"));
        return FakeService::broken(fault);
    });
    SynthesisJob job(plan("一「无名氏」二「」三"), *m_client);
    QCOMPARE(run(job), (Boxes{{"合成异常", "部分配音合成失败：1\n第2段「二」：" + reason}}));
    int passageTwo = 0;
    for (const auto &request : requests("/ttsCommunicate"))
        passageTwo += request.formValue("text") == "二";
    QCOMPARE(passageTwo, sent);

    const auto failures = job.failures();
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.first().passage, 2);
    QCOMPARE(failures.first().text, text);
    QCOMPARE(failures.first().title, title);
    QCOMPARE(requests("/audioCombined").size(), 1);
    QVERIFY(job.isDelivered());
}

void TestJobService::joinFailures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<Boxes>("boxes");

    const QString transport = QStringLiteral("语音片段组合接口网络接口请求错误，代码：");
    const QString refused = QStringLiteral("语音合成接口网络接口请求错误，代码：")
        + QString::number(int(QNetworkReply::ConnectionRefusedError));
    const Box allFailed{"合成异常", "部分配音合成失败：2\n第1段「一」：" + refused + "\n第2段「二」：" + refused};
    QTest::newRow("join refused") << "refuse" << Boxes{{"合成结果", "没有可合并的音频"}};
    QTest::newRow("join reply not JSON") << "html" << Boxes{{"合成结果", "语音服务返回的结果无法识别"}};
    QTest::newRow("service gone")
        << "gone" << Boxes{allFailed, {"接口错误", transport + QString::number(int(QNetworkReply::ConnectionRefusedError))}};
}

void TestJobService::joinFailures()
{
    QFETCH(QString, fault);
    QFETCH(Boxes, boxes);

    m_service.setResponder([fault](const FakeService::Request &request) {
        if (request.path != "/audioCombined")
            return FakeService::rendered(request);
        FakeService::Reply reply = FakeService::envelope(0, QStringLiteral("没有可合并的音频"));
        if (fault == "html")
            reply.body = "<html></html>";
        return reply;
    });
    std::unique_ptr<ServiceClient> client = std::make_unique<ServiceClient>(*m_client);
    // The retry waits up to a passage's bound for the service to come back.
    if (fault == "gone")
        qputenv("LUMO_SEGMENT_TIMEOUT_MS", "300");
    if (fault == "gone")
        client = std::make_unique<ServiceClient>(
            ServiceUrls::at(QStringLiteral("http://127.0.0.1:%1/").arg(FakeService::freePort())));

    SynthesisJob job(plan("一「晓晓」二「」"), *client, JobTrail{JobMode::TryListen, QString()});
    QCOMPARE(run(job), boxes);
    QVERIFY(!job.isDelivered());
    QCOMPARE(job.trail().lastDelivered, JobMode::TryListen);
    // The passages' MP3 files are deleted whatever the join did.
    QVERIFY(!QFileInfo::exists(job.plan().folder + "1.mp3"));
    QVERIFY(!QFileInfo::exists(job.plan().folder + "output.mp3"));
}

// The service refuses a blank text; the plan holds none, and what is sent is
// numbered without gaps, so the join lists exactly the files written.
void TestJobService::blankPassagesAreNeverSent()
{
    SynthesisJob job(plan("「晓晓」一「」 「云溪」\t「」　二\n \n「晓晓」三"), *m_client);
    QCOMPARE(run(job), Boxes{});

    QStringList sent;
    for (const auto &request : requests("/ttsCommunicate")) {
        QVERIFY2(!request.formValue("text").trimmed().isEmpty(), qPrintable(request.formValue("text")));
        sent.append(QFileInfo(request.formValue("write_media")).fileName() + "=" + request.formValue("text"));
    }
    sent.sort();
    QCOMPARE(sent, (QStringList{"1.mp3=一", "2.mp3=　二， ，", "3.mp3=三"}));
    const QString folder = job.plan().folder;
    QCOMPARE(requests("/audioCombined").first().formValue("audio"),
             folder + "1.mp3?" + folder + "2.mp3?" + folder + "3.mp3?");
}

// A service that takes every request and never answers: each passage is
// given up after its bound, tried once more, and the join after its own;
// the job ends with both reasons told.
void TestJobService::silentServiceEndsTheJob()
{
    qputenv("LUMO_SEGMENT_TIMEOUT_MS", "200");
    qputenv("LUMO_JOIN_TIMEOUT_MS", "200");
    m_service.setResponder([](const FakeService::Request &) {
        FakeService::Reply reply = FakeService::ok();
        reply.delayMs = 600000;
        return reply;
    });
    SynthesisJob job(plan("一「晓晓」二「」"), *m_client);
    const Boxes boxes = run(job);

    QCOMPARE(boxes, (Boxes{{"合成异常", "部分配音合成失败：2\n第1段「一」：语音服务无响应\n第2段「二」：语音服务无响应"},
                           {"接口错误", "语音服务无响应"}}));
    QCOMPARE(requests("/ttsCommunicate").size(), 4);
    QCOMPARE(requests("/audioCombined").size(), 1);
    QVERIFY(!job.isDelivered());
}

// A service that is restarting says so (HTTP 503) or is not there yet; the
// passage is sent again and the job goes through.
void TestJobService::unavailableServiceIsAskedAgain()
{
    auto unavailable = std::make_shared<std::atomic<int>>(0);
    m_service.setResponder([unavailable](const FakeService::Request &request) {
        if (request.formValue("text") == "二" && unavailable->fetch_add(1) == 0) {
            FakeService::Reply reply = FakeService::envelope(0, QStringLiteral("服务重启中"));
            reply.status = 503;
            return reply;
        }
        return FakeService::rendered(request);
    });
    SynthesisJob job(plan("一「晓晓」二「」"), *m_client);
    QCOMPARE(run(job), Boxes{});
    QVERIFY(job.isDelivered());

    QList<FakeService::Request> second;
    for (const auto &request : requests("/ttsCommunicate")) {
        if (request.formValue("text") == "二")
            second.append(request);
    }
    QCOMPARE(second.size(), 2);
    QCOMPARE(second[1].formFields(), second[0].formFields());
    QVERIFY(QFileInfo::exists(job.plan().folder + "output.mp3"));
}

QTEST_GUILESS_MAIN(TestJobService)
#include "test_jobservice.moc"
