#include "FakeService.h"
#include "ServiceClient.h"

#include <QtTest>

// Asking the service how it reads a text, against a stand-in on a free port:
// what is sent, and what the client makes of every kind of answer.
class TestReadingClient : public QObject
{
    Q_OBJECT

private slots:
    void asksWithTextAndVoice();
    void readsTheAnswer_data();
    void readsTheAnswer();
};

void TestReadingClient::asksWithTextAndVoice()
{
    FakeService service;
    QVERIFY(service.listen());
    service.setResponder([](const FakeService::Request &) {
        return FakeService::ok(R"({"reading":"chong2 qing4","phonemes":"x","sources":"ud"})");
    });

    ServiceClient client(ServiceUrls::at(service.baseUrl()));
    const ReadingReply reply = client.reading(QStringLiteral("重庆+"), QStringLiteral("zh-CN-XiaoxiaoNeural"));

    QVERIFY(reply.answer.succeeded);
    QCOMPARE(reply.reading, QString("chong2 qing4"));
    QCOMPARE(reply.sources, QString("ud"));
    QCOMPARE(service.requestCount(), 1);
    const FakeService::Request request = service.requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, QByteArray("/ttsReading"));
    const QList<QPair<QString, QString>> expected{{"text", "重庆+"}, {"voice", "zh-CN-XiaoxiaoNeural"}};
    QCOMPARE(request.formFields(), expected);
}

void TestReadingClient::readsTheAnswer_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("succeeded");
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QString>("sources");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");

    QTest::newRow("reading and sources")
        << true << QByteArray(R"({"code":1,"msg":"ok","data":{"reading":"とうきょう","sources":"uuddd"}})") << true
        << "とうきょう" << "uuddd" << "" << "";
    QTest::newRow("an older service without sources")
        << true << QByteArray(R"({"code":1,"msg":"ok","data":{"reading":"ni3 hao3","phonemes":""}})") << true
        << "ni3 hao3" << "" << "" << "";
    QTest::newRow("refused") << true << QByteArray(R"({"code":0,"msg":"未知的语音：x","data":[]})") << false << ""
                             << "" << "未知的语音：x" << "查看读音";
    QTest::newRow("success without a reading")
        << true << QByteArray(R"({"code":1,"msg":"ok","data":[]})") << false << "" << ""
        << "语音服务返回的读音无法识别" << "查看读音";
    QTest::newRow("a reading that is no text")
        << true << QByteArray(R"({"code":1,"msg":"ok","data":{"reading":3}})") << false << "" << ""
        << "语音服务返回的读音无法识别" << "查看读音";
    QTest::newRow("not an envelope") << true << QByteArray("<html></html>") << false << "" << "" << "" << "查看读音";
    QTest::newRow("service not running") << false << QByteArray() << false << "" << ""
                                         << "读音查询接口网络接口请求错误，代码：1" << "接口错误";
}

void TestReadingClient::readsTheAnswer()
{
    QFETCH(bool, listening);
    QFETCH(QByteArray, body);
    QFETCH(bool, succeeded);
    QFETCH(QString, reading);
    QFETCH(QString, sources);
    QFETCH(QString, text);
    QFETCH(QString, title);

    FakeService service;
    const quint16 port = FakeService::freePort();
    if (listening)
        QVERIFY(service.listen(port));
    service.setResponder([body](const FakeService::Request &) {
        FakeService::Reply reply;
        reply.body = body;
        return reply;
    });

    ServiceClient client(ServiceUrls::at(QStringLiteral("http://127.0.0.1:%1/").arg(port)));
    const ReadingReply reply = client.reading(QStringLiteral("文本"), QStringLiteral("zh-CN-XiaoxiaoNeural"));
    QCOMPARE(reply.answer.succeeded, succeeded);
    QCOMPARE(reply.reading, reading);
    QCOMPARE(reply.sources, sources);
    QCOMPARE(reply.answer.text, text);
    QCOMPARE(reply.answer.title, title);
}

QTEST_GUILESS_MAIN(TestReadingClient)
#include "test_readingclient.moc"
