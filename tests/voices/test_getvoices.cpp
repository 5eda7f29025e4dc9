#include "FakeService.h"
#include "GetVoices.h"
#include "VoiceCatalogue.h"
#include "VoiceFixtures.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QNetworkReply>
#include <QtTest>

#include <memory>

using namespace VoiceFixtures;

// The loader's run, row by row: what is cached, what the service answers,
// which signals follow in which order, and what data.db holds afterwards.
// The loader asks a fake service on a free port.
class TestGetVoices : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void stateTable_data();
    void stateTable();
    void refusedConnectionIsATransportError();
    void lateServiceIsStillReached();
    void silentServiceEndsTheFirstStart_data();
    void silentServiceEndsTheFirstStart();
    void unusableCacheIsReportedAndLeftAlone_data();
    void unusableCacheIsReportedAndLeftAlone();
    void unopenableCacheMakesNoRequest();
    void neuralVoicesAreCachedWithTheirNames_data();
    void neuralVoicesAreCachedWithTheirNames();

private:
    struct Run {
        QStringList signalNames;
        QList<QStringList> errors;
    };
    Run runLoader(GetVoices *loader);

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_previous;
};

void TestGetVoices::init()
{
    VoiceCatalogue::instance().reset();
    m_previous = QDir::currentPath();
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    QVERIFY(QDir::setCurrent(m_folder->path()));
}

void TestGetVoices::cleanup()
{
    QDir::setCurrent(m_previous);
    m_folder.reset();
    VoiceCatalogue::instance().reset();
}

namespace {
// The seven espeak voices of the mainland, then a model's speakers.
QJsonArray withModel(int speakers)
{
    QJsonArray list = voiceList(7);
    for (const QJsonValue &v : neuralVoices("zh-CN", "Kokoro", "Kokoro", speakers))
        list.append(v);
    return list;
}
} // namespace

// A model added to or removed from models/ changes the list's size, which
// rewrites the cache and asks for a restart, names included; the next start
// shows them from the cache.
void TestGetVoices::neuralVoicesAreCachedWithTheirNames_data()
{
    QTest::addColumn<QJsonArray>("cached");
    QTest::addColumn<QJsonArray>("served");
    QTest::addColumn<QStringList>("signalNames");
    QTest::addColumn<int>("namesAfter");

    QTest::newRow("model added") << voiceList(7) << withModel(103) << QStringList{"ok(false)", "reStart"} << 103;
    QTest::newRow("same list") << withModel(103) << withModel(103) << QStringList{"ok(false)", "ok(true)"} << 103;
    QTest::newRow("model removed") << withModel(103) << voiceList(7) << QStringList{"ok(false)", "reStart"} << 0;
}

void TestGetVoices::neuralVoicesAreCachedWithTheirNames()
{
    QFETCH(QJsonArray, cached);
    QFETCH(QJsonArray, served);
    QFETCH(QStringList, signalNames);
    QFETCH(int, namesAfter);

    QVERIFY(writeCache(cached));
    FakeService fake;
    QVERIFY(fake.listen());
    fake.setResponder([&](const FakeService::Request &) { return FakeService::ok(toJson(served)); });
    GetVoices loader(fake.baseUrl() + "getVoices", GetVoices::defaultConnectWaitMs);
    QCOMPARE(runLoader(&loader).signalNames, signalNames);

    // The catalogue shows the cached names.
    const QJsonArray group = VoiceCatalogue::instance().currentVoiceGroup();
    QCOMPARE(group.size(), cached.size());
    QCOMPARE(VoiceCatalogue::chooserText(group.last().toObject()),
             cached.size() > 7 ? QStringLiteral("Kokoro 102 女声") : QStringLiteral("zh-CN-XiaomoNeural 女声"));

    QCOMPARE(cacheRows().size(), served.size());
    const QStringList names = cacheDisplayNames();
    QCOMPARE(names.size(), namesAfter);
    if (namesAfter > 0)
        QCOMPARE(names.last(), QStringLiteral("zh-CN-KokoroS102|Kokoro 102 女声"));
}

TestGetVoices::Run TestGetVoices::runLoader(GetVoices *loader)
{
    // The signals arrive queued in this thread, in the order they were sent,
    // as they do on the page.
    Run run;
    QObject context;
    connect(loader, &GetVoices::ok, &context,
            [&](bool type) { run.signalNames.append(type ? "ok(true)" : "ok(false)"); });
    // Kept as the box shows them: caption, then message.
    connect(loader, &GetVoices::error, &context, [&](const QString &text, const QString &title) {
        run.signalNames.append("error");
        run.errors.append({title, text});
    });
    connect(loader, &GetVoices::reStart, &context, [&] { run.signalNames.append("reStart"); });
    connect(loader, &GetVoices::showLoading, &context, [&] { run.signalNames.append("showLoading"); });
    // Not a QSignalSpy on finished(): a spy records in the sending thread,
    // the loader's, while this one reads it.
    loader->start(QThread::InheritPriority);
    if (!QTest::qWaitFor([loader] { return loader->isFinished(); }, 30000))
        qWarning("loader did not finish");
    QCoreApplication::processEvents();
    loader->wait();
    return run;
}

void TestGetVoices::stateTable_data()
{
    QTest::addColumn<int>("cached");           // -1: no data.db at all
    QTest::addColumn<bool>("emptyTable");      // with cached 0: a table without rows
    QTest::addColumn<QString>("service");      // drop | voices | code0 | notjson
    QTest::addColumn<int>("served");           // voices in the reply
    QTest::addColumn<QStringList>("signalNames");
    QTest::addColumn<QStringList>("error");    // caption, message
    QTest::addColumn<int>("rowsAfter");
    QTest::addColumn<int>("rowsFromService");  // rowsAfter are the service's list (1) or the old cache (0)

    const QStringList none;
    const QStringList transport{"接口错误", "配音员接口网络接口请求错误，代码：2"};
    const QStringList result{"获取结果", "服务忙"};

    QTest::newRow("first start, transport error")
        << -1 << false << "drop" << 0 << QStringList{"showLoading", "error"} << transport << 0 << 0;
    QTest::newRow("first start, 300 voices")
        << -1 << false << "voices" << 300 << QStringList{"showLoading", "reStart"} << none << 300 << 1;
    QTest::newRow("empty table, 300 voices")
        << 0 << true << "voices" << 300 << QStringList{"showLoading", "reStart"} << none << 300 << 1;
    QTest::newRow("first start, no voices")
        << -1 << false << "voices" << 0 << QStringList{"showLoading", "ok(true)"} << none << 0 << 0;
    QTest::newRow("first start, other code")
        << -1 << false << "code0" << 0 << QStringList{"showLoading", "error"} << result << 0 << 0;
    QTest::newRow("cached, transport error")
        << 30 << false << "drop" << 0 << QStringList{"ok(false)", "error"} << transport << 30 << 0;
    QTest::newRow("cached, same count")
        << 30 << false << "voices" << 30 << QStringList{"ok(false)", "ok(true)"} << none << 30 << 0;
    QTest::newRow("cached, one more")
        << 30 << false << "voices" << 31 << QStringList{"ok(false)", "reStart"} << none << 31 << 1;
    QTest::newRow("cached, empty list")
        << 30 << false << "voices" << 0 << QStringList{"ok(false)", "reStart"} << none << 0 << 1;
    QTest::newRow("cached, other code")
        << 30 << false << "code0" << 0 << QStringList{"ok(false)", "error"} << result << 30 << 0;
    QTest::newRow("cached, reply not JSON")
        << 30 << false << "notjson" << 0 << QStringList{"ok(false)", "error"} << QStringList{"获取结果", ""}
        << 30 << 0;
}

void TestGetVoices::stateTable()
{
    QFETCH(int, cached);
    QFETCH(bool, emptyTable);
    QFETCH(QString, service);
    QFETCH(int, served);
    QFETCH(QStringList, signalNames);
    QFETCH(QStringList, error);
    QFETCH(int, rowsAfter);
    QFETCH(int, rowsFromService);

    // The service's list differs from the cache in content, so a rewrite shows.
    const QJsonArray cachedList = voiceList(cached > 0 ? cached : 0);
    QJsonArray servedList;
    for (int i = 0; i < served; ++i) {
        QJsonObject r = voiceList(served).at(i).toObject();
        r["gender"] = QStringLiteral("Served'%1").arg(i);
        servedList.append(r);
    }
    if (cached > 0 || emptyTable)
        writeCache(cachedList);

    FakeService fake;
    QVERIFY(fake.listen());
    fake.setResponder([&](const FakeService::Request &) {
        FakeService::Reply reply;
        if (service == "drop")
            reply.dropConnection = true;
        else if (service == "voices")
            reply = FakeService::ok(toJson(servedList));
        else if (service == "code0")
            reply = FakeService::envelope(0, QStringLiteral("服务忙"));
        else
            reply.body = "<html>busy</html>";
        return reply;
    });

    GetVoices loader(fake.baseUrl() + "getVoices", GetVoices::defaultConnectWaitMs);
    const Run run = runLoader(&loader);

    QCOMPARE(run.signalNames, signalNames);
    if (!error.isEmpty()) {
        QCOMPARE(run.errors.size(), 1);
        QCOMPARE(run.errors.first(), error);
    }
    // The network library sends a GET once more when the connection closes
    // without an answer; it is still the one request of the loader.
    if (service == "drop")
        QVERIFY(fake.requestCount() >= 1);
    else
        QCOMPARE(fake.requestCount(), 1);
    QCOMPARE(fake.requests().first().method, QByteArray("GET"));
    QCOMPARE(fake.requests().first().path, QByteArray("/getVoices"));

    // The catalogue is built from the cache, never from the reply.
    QCOMPARE(VoiceCatalogue::instance().localeNames().isEmpty(), cached <= 0);
    if (cached > 0) {
        int grouped = 0;
        for (const QJsonArray &group : VoiceCatalogue::instance().voiceGroups())
            grouped += group.size();
        QCOMPARE(grouped, cached);
    }

    QVERIFY(QFile::exists("data.db"));
    const QStringList rows = cacheRows();
    QCOMPARE(rows.size(), rowsAfter);
    const QJsonArray expected = rowsFromService ? servedList : cachedList;
    for (int i = 0; i < rows.size(); ++i) {
        const QJsonObject r = expected.at(i).toObject();
        QCOMPARE(rows[i], QStringList({QString::number(i + 1), r["gender"].toString(), r["locale"].toString(),
                                       r["name"].toString()})
                              .join('|'));
    }
}

void TestGetVoices::refusedConnectionIsATransportError()
{
    // Nothing listens: after its (here short) wait the loader reports the refusal.
    writeCache(voiceList(3));
    GetVoices loader(QStringLiteral("http://127.0.0.1:%1/getVoices").arg(FakeService::freePort()), 600);
    const Run run = runLoader(&loader);
    QCOMPARE(run.signalNames, (QStringList{"ok(false)", "error"}));
    QCOMPARE(run.errors.first(), (QStringList{"接口错误", "配音员接口网络接口请求错误，代码：1"}));
    QCOMPARE(cacheRows().size(), 3);
}

void TestGetVoices::lateServiceIsStillReached()
{
    // The window starts the service after the page has started the loader.
    FakeService fake;
    fake.setResponder([](const FakeService::Request &) { return FakeService::ok(toJson(voiceList(9))); });
    const quint16 port = FakeService::freePort();
    QTimer::singleShot(2000, &fake, [&fake, port] { QVERIFY(fake.listen(port)); });

    GetVoices loader(QStringLiteral("http://127.0.0.1:%1/getVoices").arg(port), GetVoices::defaultConnectWaitMs);
    const Run run = runLoader(&loader);
    QCOMPARE(run.signalNames, (QStringList{"showLoading", "reStart"}));
    QCOMPARE(fake.requestCount(), 1);
    QCOMPARE(cacheRows().size(), 9);
}

// A service that accepts the request and never answers: after the bound the
// loader reports a transport error, and the first-start overlay comes down.
void TestGetVoices::silentServiceEndsTheFirstStart_data()
{
    QTest::addColumn<int>("cached");
    QTest::addColumn<QStringList>("signalNames");
    QTest::newRow("first start") << 0 << QStringList{"showLoading", "error"};
    QTest::newRow("cached") << 3 << QStringList{"ok(false)", "error"};
}

void TestGetVoices::silentServiceEndsTheFirstStart()
{
    QFETCH(int, cached);
    QFETCH(QStringList, signalNames);

    qputenv("LUMO_CATALOGUE_TIMEOUT_MS", "300");
    if (cached > 0)
        writeCache(voiceList(cached));
    FakeService fake;
    QVERIFY(fake.listen());
    fake.setResponder([](const FakeService::Request &) {
        FakeService::Reply reply = FakeService::ok(toJson(voiceList(9)));
        reply.delayMs = 600000;
        return reply;
    });
    GetVoices loader(fake.baseUrl() + "getVoices", GetVoices::defaultConnectWaitMs);
    const Run run = runLoader(&loader);
    qunsetenv("LUMO_CATALOGUE_TIMEOUT_MS");

    QCOMPARE(run.signalNames, signalNames);
    QCOMPARE(run.errors.first(), (QStringList{"接口错误", "配音员接口网络接口请求错误，代码："
                                                          + QString::number(int(QNetworkReply::TimeoutError))}));
    QCOMPARE(cacheRows().size(), cached);
}

void TestGetVoices::unusableCacheIsReportedAndLeftAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("served");
    QTest::addColumn<QStringList>("signalNames");
    QTest::addColumn<int>("requests");

    // A corrupt file fails its first statement: nothing can be read or written.
    QTest::newRow("corrupt") << "corrupt" << 5 << QStringList{"error"} << 0;
    // A read-only cache is read and shown; only a needed rewrite fails.
    QTest::newRow("read-only, list changed") << "readonly" << 5 << QStringList{"ok(false)", "error"} << 1;
    QTest::newRow("read-only, list unchanged") << "readonly" << 3 << QStringList{"ok(false)", "ok(true)"} << 1;
    QTest::newRow("read-only, no table") << "readonly-empty" << 5 << QStringList{"showLoading", "error"} << 0;
}

void TestGetVoices::unusableCacheIsReportedAndLeftAlone()
{
    QFETCH(QString, kind);
    QFETCH(int, served);
    QFETCH(QStringList, signalNames);
    QFETCH(int, requests);

    if (kind == "corrupt") {
        QFile file("data.db");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("not a database at all\n").repeated(100));
    } else if (kind == "readonly") {
        writeCache(voiceList(3));
        markReadOnly("data.db");
    } else {
        writeCache(voiceList(1));
        {
            // A valid database without table `voices`, then made read-only.
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "drop");
            db.setDatabaseName("data.db");
            QVERIFY(db.open());
            QSqlQuery(db).exec("DROP TABLE voices;");
            db.close();
        }
        QSqlDatabase::removeDatabase("drop");
        markReadOnly("data.db");
    }
    const QByteArray before = readFile("data.db");

    FakeService fake;
    QVERIFY(fake.listen());
    fake.setResponder([served](const FakeService::Request &) { return FakeService::ok(toJson(voiceList(served))); });

    GetVoices loader(fake.baseUrl() + "getVoices", GetVoices::defaultConnectWaitMs);
    const Run run = runLoader(&loader);
    QCOMPARE(run.signalNames, signalNames);
    if (signalNames.last() == "error")
        QCOMPARE(run.errors.first(), (QStringList{"请确保软件有足够的权限", "读取数据库失败"}));
    QCOMPARE(fake.requestCount(), requests);
    QCOMPARE(readFile("data.db"), before);
}

void TestGetVoices::unopenableCacheMakesNoRequest()
{
    const QString gone = m_folder->path() + "/gone";
    QVERIFY(QDir().mkdir(gone));
    QVERIFY(QDir::setCurrent(gone));
    QVERIFY(QDir().rmdir(gone));

    FakeService fake;
    QVERIFY(fake.listen());
    GetVoices loader(fake.baseUrl() + "getVoices", GetVoices::defaultConnectWaitMs);
    const Run run = runLoader(&loader);
    QCOMPARE(run.signalNames, QStringList{"error"});
    QCOMPARE(run.errors.first(), (QStringList{"请确保软件有足够的权限", "读取数据库失败"}));
    QCOMPARE(fake.requestCount(), 0);
}

QTEST_GUILESS_MAIN(TestGetVoices)
#include "test_getvoices.moc"
