#include "MainWindow.h"
#include "MessageBoxCatcher.h"
#include "ProcessTable.h"
#include "ServiceOwnership.h"
#include "ServiceProcess.h"
#include "ServiceWatchdog.h"
#include "SqlLite.h"
#include "TestSupport.h"
#include "VoiceRecords.h"

#include <QComboBox>
#include <QJsonArray>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>
#include <memory>

// The real speech service never outlives the program that started it, and a
// program stops only what is its own: a window its service and the leftovers
// of its working folder, never a service another program depends on.
class TestServiceLifetime : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void killedProgramLeavesNoService_data();
    void killedProgramLeavesNoService();
    void leftoverOfTheFolderIsReplacedAtStart();
    void closingAWindowSparesARenderBesideIt();
    void foreignProgramOnThePortIsNamed();
    void foreignProgramOnThePortFailsTheCommandLine();

private:
    static QString here(const QString &name) { return QDir::current().absoluteFilePath(name); }
    static quint16 freePort();
    // The service started by `parent` that listens on `port`, once it does.
    static qint64 waitForService(qint64 parent, quint16 port);
    static QString longScript();

    std::unique_ptr<MessageBoxCatcher> m_boxes; // a fresh one per test
};

namespace {
const QString xiaoxiao = QStringLiteral("zh-CN-XiaoxiaoNeural");
constexpr int startBudgetMs = 60000;
}

void TestServiceLifetime::initTestCase()
{
    QVERIFY2(QFileInfo(TestSupport::serverExecutable()).isExecutable(), "the speech service is not built");
}

void TestServiceLifetime::init()
{
    TestSupport::clearWorkingFolder();
    QVERIFY(QDir().mkpath(here("server")));
    QVERIFY(QFile::link(TestSupport::serverExecutable(), here("server/") + ServiceProcess::executableName()));
    m_boxes = std::make_unique<MessageBoxCatcher>();
    m_boxes->start();
}

void TestServiceLifetime::cleanup()
{
    ServiceProcess::stop(5000);
    // Whatever a failed test left behind here.
    ServiceOwnership::endLeftovers(QDir::currentPath(), 5000);
}

quint16 TestServiceLifetime::freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

qint64 TestServiceLifetime::waitForService(qint64 parent, quint16 port)
{
    qint64 found = 0;
    const bool listening = QTest::qWaitFor(
        [&] {
            const std::optional<ProcessInfo> holder = ServiceOwnership::portHolder(port);
            if (holder && ServiceOwnership::isService(*holder) && holder->parentPid == parent)
                found = holder->pid;
            return found != 0;
        },
        startBudgetMs);
    return listening ? found : 0;
}

QString TestServiceLifetime::longScript()
{
    QString script;
    for (int i = 0; i < 40; ++i)
        script += QStringLiteral("「%1」第%2段：今天天气很好，我们一起去公园散步，看看湖边的柳树和远处的青山。「」\n")
                      .arg(xiaoxiao)
                      .arg(i + 1);
    return script;
}

void TestServiceLifetime::killedProgramLeavesNoService_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("ownPort");
    QTest::newRow("the window") << QStringList() << false;
    QTest::newRow("a command-line render") << QStringList{"--render", "script.txt", "--voice", xiaoxiao} << true;
}

void TestServiceLifetime::killedProgramLeavesNoService()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, ownPort);

    QFile script(here("script.txt"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(longScript().toUtf8());
    script.close();

    const quint16 port = ownPort ? freePort() : 5000;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (ownPort)
        environment.insert("LUMO_SERVICE_PORT", QString::number(port));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(LUMO_PROGRAM), arguments);
    QVERIFY(program.waitForStarted());

    const qint64 service = waitForService(program.processId(), port);
    QVERIFY2(service, "the program's service never listened");

    // As a crash, the task manager or the end of a session would end it.
    QCOMPARE(::kill(pid_t(program.processId()), SIGKILL), 0);
    QVERIFY(program.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(ProcessTable::isGone(service), 1000);
    QCOMPARE(ProcessTable::listenerOf(port), std::optional<qint64>());
}

void TestServiceLifetime::leftoverOfTheFolderIsReplacedAtStart()
{
    // An earlier run cached one voice: the choosers fill from it at start,
    // and the service's longer list then asks for a restart, which proves
    // that the list came from a service that answered.
    {
        SqlLite cache;
        QVERIFY(cache.open());
        QVERIFY(cache.createTable());
        QVERIFY(cache.replaceVoices(QJsonArray{VoiceFixtures::record("Female", "zh-CN", xiaoxiao)}));
    }

    // A service that no program watches, in this folder, on the program's
    // port: what an older version left behind when it was killed.
    qint64 leftover = 0;
    QVERIFY(QProcess::startDetached(here("server/") + ServiceProcess::executableName(), {}, QDir::currentPath(),
                                    &leftover));
    QVERIFY(QTest::qWaitFor([&] { return ProcessTable::listenerOf(5000) == std::optional<qint64>(leftover); },
                            startBudgetMs));

    MainWindow window;
    window.show();
    QVERIFY(ProcessTable::isGone(leftover));
    const qint64 ours = waitForService(QCoreApplication::applicationPid(), 5000);
    QVERIFY(ours);
    QCOMPARE(ours, ServiceProcess::process()->processId());

    auto *locales = window.findChild<QComboBox *>("localeSelect");
    auto *voices = window.findChild<QComboBox *>("voicesSelect");
    QVERIFY(locales && voices);
    QVERIFY(locales->count() > 0 && voices->count() > 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes->count(), 1, startBudgetMs);
    QCOMPARE(m_boxes->last().caption, QStringLiteral("软件需重启"));
    QCOMPARE(ServiceProcess::watchdog()->restartCount(), 0);

    window.close();
    QVERIFY(ProcessTable::isGone(ours));
}

void TestServiceLifetime::closingAWindowSparesARenderBesideIt()
{
    QFile script(here("script.txt"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(longScript().toUtf8());
    script.close();

    auto *window = new MainWindow;
    window->show();
    const qint64 windowService = waitForService(QCoreApplication::applicationPid(), 5000);
    QVERIFY(windowService);

    // A render in the same working folder, on a port of its own.
    const quint16 port = freePort();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LUMO_SERVICE_PORT", QString::number(port));
    QProcess render;
    render.setProcessEnvironment(environment);
    render.start(QStringLiteral(LUMO_PROGRAM),
                 {"--render", "script.txt", "--voice", xiaoxiao, "--output", here("成品.mp3")});
    QVERIFY(render.waitForStarted());
    const qint64 renderService = waitForService(render.processId(), port);
    QVERIFY2(renderService, qPrintable(render.readAllStandardError()));

    window->close();
    delete window;
    QVERIFY(ProcessTable::isGone(windowService));
    QVERIFY2(!ProcessTable::isGone(renderService) || render.state() == QProcess::NotRunning,
             "closing the window stopped the render's service");

    QVERIFY(render.waitForFinished(120000));
    const QByteArray errors = render.readAllStandardError();
    QVERIFY2(render.exitStatus() == QProcess::NormalExit && render.exitCode() == 0, errors.constData());
    QVERIFY(QFileInfo(here("成品.mp3")).size() > 0);
}

void TestServiceLifetime::foreignProgramOnThePortIsNamed()
{
    // This test program plays the foreign program that holds port 5000.
    QTcpServer foreign;
    QVERIFY(foreign.listen(QHostAddress::LocalHost, 5000));
    // It hangs up on whoever calls, the page's voice loader included.
    connect(&foreign, &QTcpServer::newConnection, &foreign, [&foreign] {
        while (QTcpSocket *caller = foreign.nextPendingConnection())
            caller->abort();
    });

    MainWindow window;
    window.show();
    const auto serviceBoxes = [this] {
        int count = 0;
        for (const MessageBoxCatcher::Box &box : m_boxes->boxes())
            count += box.caption == QStringLiteral("语音服务异常");
        return count;
    };
    QTRY_COMPARE_WITH_TIMEOUT(serviceBoxes(), 1, startBudgetMs);
    MessageBoxCatcher::Box box;
    for (const MessageBoxCatcher::Box &shown : m_boxes->boxes()) {
        if (shown.caption == QStringLiteral("语音服务异常"))
            box = shown;
    }
    QVERIFY2(box.text.contains(QStringLiteral("端口 5000")), qPrintable(box.text));
    QVERIFY2(box.text.contains(QFileInfo(QCoreApplication::applicationFilePath()).fileName()), qPrintable(box.text));
    QVERIFY2(box.text.contains(QString::number(QCoreApplication::applicationPid())), qPrintable(box.text));
    // Told once, and not mistaken for a crash to restart three times.
    QCOMPARE(ServiceProcess::watchdog()->restartCount(), 0);
    QCOMPARE(ServiceProcess::process()->state(), QProcess::NotRunning);
    QVERIFY(foreign.isListening());
    window.close();
}

void TestServiceLifetime::foreignProgramOnThePortFailsTheCommandLine()
{
    QTcpServer foreign;
    QVERIFY(foreign.listen(QHostAddress::LocalHost));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LUMO_SERVICE_PORT", QString::number(foreign.serverPort()));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(LUMO_PROGRAM), {"--list-voices"});
    QVERIFY(program.waitForStarted());
    // The loop answers nothing on the foreign port: the program must not
    // mistake it for its service; it ends with the port named.
    QVERIFY(QTest::qWaitFor([&] { return program.state() == QProcess::NotRunning; }, startBudgetMs));
    const QString errors = QString::fromUtf8(program.readAllStandardError());
    QCOMPARE(program.exitCode(), 1);
    QVERIFY2(errors.contains(QStringLiteral("端口 %1").arg(foreign.serverPort())), qPrintable(errors));
}

QTEST_MAIN(TestServiceLifetime)
#include "test_servicelifetime.moc"
