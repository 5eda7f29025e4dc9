#include "FakeService.h"
#include "Qajax.h"
#include "ServiceReply.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkReply>
#include <QtTest>

// The request helper against a real HTTP peer on loopback.
class TestQajax : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void getSendsQueryUnencoded_data();
    void getSendsQueryUnencoded();
    void getAsksForJsonAndDeclaresNoBody();
    void postSendsOrderedEncodedForm();
    void envelopeIsParsed_data();
    void envelopeIsParsed();
    void refusedConnectionIsTransportError();
    void httpErrorStatusIsTransportError();
    void eachRequestReadsOnlyItsOwnReply_data();
    void eachRequestReadsOnlyItsOwnReply();
    void boundedWait_data();
    void boundedWait();
    void transientFailures_data();
    void transientFailures();

private:
    FakeService m_service;
};

void TestQajax::init()
{
    if (!m_service.port())
        QVERIFY(m_service.listen());
    m_service.clearRequests();
    m_service.setResponder([](const FakeService::Request &) { return FakeService::ok(); });
}

void TestQajax::getSendsQueryUnencoded_data()
{
    QTest::addColumn<Qajax::Pairs>("pairs");
    QTest::addColumn<QByteArray>("path");

    QTest::newRow("no pairs, no question mark") << Qajax::Pairs{} << QByteArray("/getVoices");
    QTest::newRow("pairs in order") << Qajax::Pairs{{"b", "2"}, {"a", "1"}} << QByteArray("/getVoices?b=2&a=1");
    QTest::newRow("plus kept as is") << Qajax::Pairs{{"rate", "+5%25"}} << QByteArray("/getVoices?rate=+5%25");
}

void TestQajax::getSendsQueryUnencoded()
{
    QFETCH(Qajax::Pairs, pairs);
    QFETCH(QByteArray, path);

    Qajax ajax;
    ajax.get(pairs, m_service.baseUrl() + "getVoices");

    QCOMPARE(m_service.requestCount(), 1);
    const auto request = m_service.requests().first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.path, path);
}

void TestQajax::getAsksForJsonAndDeclaresNoBody()
{
    Qajax ajax;
    ajax.get({}, m_service.baseUrl() + "getVoices");
    const auto headers = m_service.requests().first().headers;
    // A GET carries no body, so it has no content type to declare.
    QVERIFY2(!headers.contains("content-type"), headers.value("content-type").constData());
    QCOMPARE(headers.value("content-length", "0"), QByteArray("0"));
    QCOMPARE(headers.value("accept"), QByteArray("application/json"));
}

void TestQajax::postSendsOrderedEncodedForm()
{
    Qajax ajax;
    ajax.post({{"text", "你好 world"}, {"rates", "+0%"}, {"volumes", "-25%"}, {"path", "/a b/?c&d=e"}},
              m_service.baseUrl() + "ttsCommunicate");

    QCOMPARE(m_service.requestCount(), 1);
    const auto request = m_service.requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.path, QByteArray("/ttsCommunicate"));
    QCOMPARE(request.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
    QCOMPARE(request.body, QByteArray("text=%E4%BD%A0%E5%A5%BD%20world&rates=%2B0%25&volumes=-25%25"
                                      "&path=/a%20b/?c%26d%3De"));

    const auto fields = request.formFields();
    QCOMPARE(fields.size(), 4);
    QCOMPARE(fields[0], qMakePair(QString("text"), QString("你好 world")));
    QCOMPARE(fields[1], qMakePair(QString("rates"), QString("+0%")));
    QCOMPARE(fields[3], qMakePair(QString("path"), QString("/a b/?c&d=e")));
}

void TestQajax::envelopeIsParsed_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("msg");
    QTest::addColumn<int>("dataSize");

    QTest::newRow("success with data") << QByteArray(R"({"code":1,"msg":"ok","data":[{"a":1},{"b":2}]})") << 1 << "ok" << 2;
    QTest::newRow("fraction truncated down") << QByteArray(R"({"code":1.9,"msg":"x","data":[]})") << 1 << "x" << 0;
    QTest::newRow("negative truncated toward zero") << QByteArray(R"({"code":-1.5})") << -1 << "" << 0;
    QTest::newRow("no code") << QByteArray(R"({"msg":"失败"})") << 0 << "失败" << 0;
    QTest::newRow("code as text") << QByteArray(R"({"code":"1","msg":"m"})") << 0 << "m" << 0;
    QTest::newRow("data an object") << QByteArray(R"({"code":1,"data":{"a":1}})") << 1 << "" << 0;
    QTest::newRow("msg not text") << QByteArray(R"({"code":0,"msg":5})") << 0 << "" << 0;
    QTest::newRow("huge code saturates") << QByteArray(R"({"code":1e30})") << std::numeric_limits<int>::max() << "" << 0;
}

void TestQajax::envelopeIsParsed()
{
    QFETCH(QByteArray, body);
    QFETCH(int, code);
    QFETCH(QString, msg);
    QFETCH(int, dataSize);

    m_service.setResponder([body](const FakeService::Request &) {
        FakeService::Reply reply;
        reply.body = body;
        return reply;
    });
    Qajax ajax;
    ajax.get({}, m_service.baseUrl() + "getVoices");

    QCOMPARE(ajax.networkError(), 0);
    QCOMPARE(ajax.code(), code);
    QCOMPARE(ajax.msg(), msg);
    QCOMPARE(ajax.data().size(), dataSize);
}

void TestQajax::refusedConnectionIsTransportError()
{
    FakeService closed;
    QVERIFY(closed.listen());
    const QString url = closed.baseUrl() + "getVoices";
    closed.close();

    Qajax ajax;
    ajax.get({}, url);
    QCOMPARE(ajax.networkError(), int(QNetworkReply::ConnectionRefusedError));
    QCOMPARE(ajax.networkError(), 1);
    QCOMPARE(ajax.code(), 0);
    QVERIFY(ajax.data().isEmpty());
}

void TestQajax::httpErrorStatusIsTransportError()
{
    m_service.setResponder([](const FakeService::Request &) {
        FakeService::Reply reply = FakeService::ok();
        reply.status = 500;
        return reply;
    });
    Qajax ajax;
    ajax.post({{"a", "b"}}, m_service.baseUrl() + "audioCombined");
    QCOMPARE(ajax.networkError(), int(QNetworkReply::InternalServerError));
}

void TestQajax::eachRequestReadsOnlyItsOwnReply_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("networkError");

    QTest::newRow("error status, not JSON") << 404 << QByteArray("<html>not json</html>")
                                            << int(QNetworkReply::ContentNotFoundError);
    // The one that matters: a stale code 1 here would read as success.
    QTest::newRow("success status, not JSON") << 200 << QByteArray("<html>busy</html>") << 0;
    QTest::newRow("success status, empty body") << 200 << QByteArray() << 0;
    QTest::newRow("success status, JSON array") << 200 << QByteArray("[1,2]") << 0;
}

void TestQajax::eachRequestReadsOnlyItsOwnReply()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, networkError);

    Qajax ajax;
    m_service.setResponder([](const FakeService::Request &) { return FakeService::ok(R"([{"name":"v"}])"); });
    ajax.get({}, m_service.baseUrl() + "getVoices");
    QCOMPARE(ajax.code(), 1);
    QCOMPARE(ajax.data().size(), 1);

    m_service.setResponder([status, body](const FakeService::Request &) {
        FakeService::Reply reply;
        reply.status = status;
        reply.body = body;
        return reply;
    });
    ajax.get({}, m_service.baseUrl() + "getVoices");

    QCOMPARE(ajax.networkError(), networkError);
    QCOMPARE(ajax.code(), 0);
    QCOMPARE(ajax.msg(), QString());
    QVERIFY(ajax.data().isEmpty());

    // And the other way: a failure before does not stick to a success after.
    m_service.setResponder([](const FakeService::Request &) { return FakeService::ok(); });
    ajax.get({}, m_service.baseUrl() + "getVoices");
    QCOMPARE(ajax.networkError(), 0);
    QCOMPARE(ajax.code(), 1);
}

// A reply later than the bound is given up and told as such; one in time,
// or a request given up by its caller, is not.
void TestQajax::boundedWait_data()
{
    QTest::addColumn<int>("replyDelayMs");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<bool>("cancelAfter100Ms");
    QTest::addColumn<bool>("timedOut");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<int>("networkError");
    QTest::addColumn<int>("code");

    QTest::newRow("answer in time") << 50 << 5000 << false << false << false << 0 << 1;
    QTest::newRow("no bound, slow answer") << 300 << 0 << false << false << false << 0 << 1;
    QTest::newRow("never answers: timed out") << 600000 << 200 << false << true << false
                                              << int(QNetworkReply::TimeoutError) << 0;
    QTest::newRow("given up by the caller") << 600000 << 0 << true << false << true
                                            << int(QNetworkReply::OperationCanceledError) << 0;
}

void TestQajax::boundedWait()
{
    QFETCH(int, replyDelayMs);
    QFETCH(int, timeoutMs);
    QFETCH(bool, cancelAfter100Ms);
    QFETCH(bool, timedOut);
    QFETCH(bool, cancelled);
    QFETCH(int, networkError);
    QFETCH(int, code);

    m_service.setResponder([replyDelayMs](const FakeService::Request &) {
        FakeService::Reply reply = FakeService::ok();
        reply.delayMs = replyDelayMs;
        return reply;
    });
    QElapsedTimer clock;
    clock.start();
    Qajax ajax;
    ajax.setTimeoutMs(timeoutMs);
    if (cancelAfter100Ms)
        ajax.setCancelCheck([&clock] { return clock.elapsed() >= 100; });
    ajax.post({{"text", "你好"}}, m_service.baseUrl() + "ttsCommunicate");

    QCOMPARE(ajax.timedOut(), timedOut);
    QCOMPARE(ajax.cancelled(), cancelled);
    QCOMPARE(ajax.networkError(), networkError);
    QCOMPARE(ajax.code(), code);
    QCOMPARE(m_service.requestCount(), 1);
}

void TestQajax::transientFailures_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("transient");

    QTest::newRow("connection refused") << int(QNetworkReply::ConnectionRefusedError) << true;
    QTest::newRow("connection dropped") << int(QNetworkReply::RemoteHostClosedError) << true;
    QTest::newRow("timed out") << int(QNetworkReply::TimeoutError) << true;
    QTest::newRow("HTTP 503") << int(QNetworkReply::ServiceUnavailableError) << true;
    QTest::newRow("no error") << 0 << false;
    QTest::newRow("HTTP 500: the service answered") << int(QNetworkReply::InternalServerError) << false;
    QTest::newRow("HTTP 404") << int(QNetworkReply::ContentNotFoundError) << false;
    QTest::newRow("given up by the caller") << int(QNetworkReply::OperationCanceledError) << false;
}

void TestQajax::transientFailures()
{
    QFETCH(int, error);
    QFETCH(bool, transient);
    QCOMPARE(ServiceReply::isTransient(error), transient);
}

QTEST_GUILESS_MAIN(TestQajax)
#include "test_qajax.moc"
