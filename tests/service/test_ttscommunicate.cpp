#include "FakeService.h"
#include "ttsCommunicate.h"

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

QTEST_GUILESS_MAIN(TestTtsCommunicate)
#include "test_ttscommunicate.moc"
