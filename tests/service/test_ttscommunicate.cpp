#include "FakeService.h"
#include "ttsCommunicate.h"

#include <QNetworkReply>
#include <QtTest>

// The passage worker against a stand-in service on a free port.
class TestTtsCommunicate : public QObject
{
    Q_OBJECT

private slots:
    void sendsTheSegmentAsAForm();
    void aReadingGoesAfterTheSixFields();
    void reportsOneOutcome_data();
    void reportsOneOutcome();
    void boundedAndTransient_data();
    void boundedAndTransient();
    void retryWaitsForTheServiceToListen();
    void interruptionEndsTheWait_data();
    void interruptionEndsTheWait();
};

void TestTtsCommunicate::sendsTheSegmentAsAForm()
{
    FakeService service;
    QVERIFY(service.listen());

    ttsCommunicate worker("你好，世界 a+b", "zh-CN-XiaoxiaoNeural", "+0%", "-25%", "/w/audio/17/1.mp3",
                          "/w/audio/17/1.srt", service.baseUrl() + "ttsCommunicate");
    worker.start();
    QVERIFY(worker.wait(60000));

    QCOMPARE(service.requestCount(), 1);
    const FakeService::Request request = service.requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, QByteArray("/ttsCommunicate"));
    QCOMPARE(request.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
    // The plus sign of the rate survives the form encoding.
    QVERIFY2(request.body.contains("&rates=%2B0%25&volumes=-25%25&"), request.body.constData());

    const QList<QPair<QString, QString>> expected{
        {"text", "你好，世界 a+b"},
        {"voice", "zh-CN-XiaoxiaoNeural"},
        {"rates", "+0%"},
        {"volumes", "-25%"},
        {"write_media", "/w/audio/17/1.mp3"},
        {"write_subtitles", "/w/audio/17/1.srt"},
    };
    QCOMPARE(request.formFields(), expected);
}

void TestTtsCommunicate::aReadingGoesAfterTheSixFields()
{
    FakeService service;
    QVERIFY(service.listen());

    ttsCommunicate worker("重庆", "zh-CN-XiaoxiaoNeural", "+0%", "+0%", "/w/audio/17/1.mp3", "/w/audio/17/1.srt",
                          service.baseUrl() + "ttsCommunicate");
    worker.setReading("zhong4 qing4");
    worker.start();
    QVERIFY(worker.wait(60000));

    QCOMPARE(service.requestCount(), 1);
    const QList<QPair<QString, QString>> expected{
        {"text", "重庆"},
        {"voice", "zh-CN-XiaoxiaoNeural"},
        {"rates", "+0%"},
        {"volumes", "+0%"},
        {"write_media", "/w/audio/17/1.mp3"},
        {"write_subtitles", "/w/audio/17/1.srt"},
        {"reading", "zhong4 qing4"},
    };
    QCOMPARE(service.requests().first().formFields(), expected);
}

void TestTtsCommunicate::reportsOneOutcome_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("succeeded");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");

    const QString transport = QStringLiteral("语音合成接口网络接口请求错误，代码：");

    // Success is taken on the service's word: no file is checked.
    QTest::newRow("code 1") << true << 200 << QByteArray(R"({"code":1,"msg":"ok","data":[]})") << true << "" << "";
    QTest::newRow("code 0, empty msg") << true << 200 << QByteArray(R"({"code":0,"msg":"","data":[]})") << false
                                       << "" << "合成结果";
    QTest::newRow("other code with msg") << true << 200 << QByteArray(R"({"code":2,"msg":"没有这个声音"})") << false
                                         << "没有这个声音" << "合成结果";
    QTest::newRow("body not an envelope") << true << 200 << QByteArray("<html></html>") << false << "" << "合成结果";
    QTest::newRow("service not running") << false << 0 << QByteArray() << false << transport + "1" << "接口错误";
    QTest::newRow("HTTP error status") << true << 500 << QByteArray(R"({"code":1})") << false
                                       << transport + QString::number(int(QNetworkReply::InternalServerError))
                                       << "接口错误";
}

void TestTtsCommunicate::reportsOneOutcome()
{
    QFETCH(bool, listening);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, succeeded);
    QFETCH(QString, text);
    QFETCH(QString, title);

    FakeService service;
    const quint16 port = FakeService::freePort();
    if (listening)
        QVERIFY(service.listen(port));
    service.setResponder([status, body](const FakeService::Request &) {
        FakeService::Reply reply;
        reply.status = status;
        reply.body = body;
        return reply;
    });

    ttsCommunicate worker("文本", "zh-CN-XiaoxiaoNeural", "+0%", "+0%", "/w/1.mp3", "/w/1.srt",
                          QStringLiteral("http://127.0.0.1:%1/ttsCommunicate").arg(port));
    QSignalSpy successSpy(&worker, &ttsCommunicate::success);
    QSignalSpy errorSpy(&worker, &ttsCommunicate::error);
    worker.start();
    QVERIFY(worker.wait(60000));

    QCOMPARE(successSpy.count(), succeeded ? 1 : 0);
    QCOMPARE(errorSpy.count(), succeeded ? 0 : 1);
    if (!succeeded) {
        QCOMPARE(errorSpy.first().at(0).toString(), text);
        QCOMPARE(errorSpy.first().at(1).toString(), title);
    }
}

// Which failures are worth another try, and the bound on the wait.
void TestTtsCommunicate::boundedAndTransient_data()
{
    QTest::addColumn<QString>("service"); // none | silent | drop | refuse | 500
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("transient");

    const QString transport = QStringLiteral("语音合成接口网络接口请求错误，代码：");
    QTest::newRow("not running") << "none" << transport + "1" << true;
    QTest::newRow("never answers") << "silent" << "语音服务无响应" << true;
    QTest::newRow("connection dropped") << "drop"
                                        << transport + QString::number(int(QNetworkReply::RemoteHostClosedError))
                                        << true;
    QTest::newRow("refused by the service") << "refuse" << "声音不存在" << false;
    QTest::newRow("HTTP 500") << "500" << transport + QString::number(int(QNetworkReply::InternalServerError))
                              << false;
}

void TestTtsCommunicate::boundedAndTransient()
{
    QFETCH(QString, service);
    QFETCH(QString, text);
    QFETCH(bool, transient);

    FakeService fake;
    const quint16 port = FakeService::freePort();
    if (service != "none")
        QVERIFY(fake.listen(port));
    fake.setResponder([service](const FakeService::Request &) {
        FakeService::Reply reply = FakeService::envelope(0, QStringLiteral("声音不存在"));
        if (service == "silent")
            reply.delayMs = 600000;
        else if (service == "drop")
            reply = FakeService::broken("drop");
        else if (service == "500")
            reply = FakeService::broken("500");
        return reply;
    });

    ttsCommunicate worker("文本", "zh-CN-XiaoxiaoNeural", "+0%", "+0%", "/w/1.mp3", "/w/1.srt",
                          QStringLiteral("http://127.0.0.1:%1/ttsCommunicate").arg(port));
    worker.setTimeoutMs(300);
    QSignalSpy transientSpy(&worker, &ttsCommunicate::transient);
    QSignalSpy errorSpy(&worker, &ttsCommunicate::error);
    worker.start();
    QVERIFY(worker.wait(60000));

    QCOMPARE(errorSpy.count(), 1);
    QCOMPARE(errorSpy.first().at(0).toString(), text);
    QCOMPARE(transientSpy.count(), transient ? 1 : 0);
}

// A retry after the service went away: the worker waits for it to listen
// again, then sends the passage.
void TestTtsCommunicate::retryWaitsForTheServiceToListen()
{
    FakeService fake;
    const quint16 port = FakeService::freePort();
    QTimer::singleShot(700, &fake, [&fake, port] { QVERIFY(fake.listen(port)); });

    ttsCommunicate worker("文本", "zh-CN-XiaoxiaoNeural", "+0%", "+0%", "/w/1.mp3", "/w/1.srt",
                          QStringLiteral("http://127.0.0.1:%1/ttsCommunicate").arg(port));
    worker.setServiceWaitMs(20000);
    // Counted here, queued from the worker, while this thread's loop runs the
    // timer that starts the service.
    int successes = 0;
    int errors = 0;
    QObject context;
    connect(&worker, &ttsCommunicate::success, &context, [&] { ++successes; });
    connect(&worker, &ttsCommunicate::error, &context, [&] { ++errors; });
    worker.start();
    QVERIFY(QTest::qWaitFor([&] { return successes + errors > 0; }, 30000));
    QVERIFY(worker.wait(10000));
    QCOMPARE(successes, 1);
    QCOMPARE(errors, 0);
    QCOMPARE(fake.requestCount(), 1);
}

void TestTtsCommunicate::interruptionEndsTheWait_data()
{
    QTest::addColumn<bool>("listening");
    QTest::newRow("waiting for the service") << false;
    QTest::newRow("waiting for the answer") << true;
}

void TestTtsCommunicate::interruptionEndsTheWait()
{
    QFETCH(bool, listening);
    {
        FakeService fake;
        const quint16 port = FakeService::freePort();
        if (listening)
            QVERIFY(fake.listen(port));
        fake.setResponder([](const FakeService::Request &) {
            FakeService::Reply reply = FakeService::ok();
            reply.delayMs = 600000;
            return reply;
        });
        ttsCommunicate worker("文本", "zh-CN-XiaoxiaoNeural", "+0%", "+0%", "/w/1.mp3", "/w/1.srt",
                              QStringLiteral("http://127.0.0.1:%1/ttsCommunicate").arg(port));
        worker.setServiceWaitMs(listening ? 0 : 600000);
        int successes = 0;
        int errors = 0;
        QObject context;
        connect(&worker, &ttsCommunicate::success, &context, [&] { ++successes; });
        connect(&worker, &ttsCommunicate::error, &context, [&] { ++errors; });
        worker.start();
        if (listening)
            QTRY_COMPARE(fake.requestCount(), 1);
        else
            QTest::qWait(300);
        worker.requestInterruption();
        QVERIFY(worker.wait(10000));
        QTRY_COMPARE(errors, 1);
        QCOMPARE(successes, 0);
    }
}

QTEST_GUILESS_MAIN(TestTtsCommunicate)
#include "test_ttscommunicate.moc"
