#include "AppSettings.h"
#include "FakeService.h"
#include "MainWindow.h"
#include "MessageBoxCatcher.h"
#include "ProcessTable.h"
#include "ServiceOwnership.h"
#include "ServiceProcess.h"
#include "ServiceWatchdog.h"
#include "TestSupport.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// The main window and the service process it starts and stops. The service is
// played by a stand-in executable of the same name that records where it was
// started from. What the real service does with the program's mark (ending
// with it, a port held) is tested in test_servicelifetime.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formMatches();
    void startsServiceFromWorkingFolderAndStopsItOnClose();
    void closeEndsOwnServiceAndLeftoversOfTheFolder();
    void folderWithBlanksStillStartsTheService();
    void closeWithoutServiceClosesAtOnce();
    void serviceThatEndsIsStartedAgain();
    void serviceThatKeepsEndingIsGivenUpOnce();

private:
    static QString standIn();
    static void installStandIn(const QString &folder);
    static int runningServices(const QString &folder = QDir::currentPath());
    static int childProcesses();
    static bool restartDelayHasPassed();
    static int serviceStarts();
    static void killService();

    FakeService m_service;
    MessageBoxCatcher m_boxes;
    int m_pages = 0; // synthesis pages built so far, one loader each
};

QString TestMainWindow::standIn()
{
    return QStringLiteral(LUMO_STANDIN);
}

void TestMainWindow::installStandIn(const QString &folder)
{
    QDir().mkpath(folder + "/server");
    const QString target = folder + "/server/" + ServiceProcess::executableName();
    QFile::remove(target);
    QVERIFY(QFile::copy(standIn(), target));
}

int TestMainWindow::runningServices(const QString &folder)
{
    // Live service processes of that working folder: tests beside this one
    // run services of their own folders.
    int count = 0;
    const QList<ProcessInfo> processes = ProcessTable::all();
    for (const ProcessInfo &process : processes) {
        if (ServiceOwnership::isService(process) && process.workingFolder == QDir(folder).canonicalPath())
            ++count;
    }
    return count;
}

// Live processes this one started. A start forks before it returns, so a
// service started by mistake shows here at once, even before it runs.
int TestMainWindow::childProcesses()
{
    int count = 0;
    const QList<ProcessInfo> processes = ProcessTable::all();
    for (const ProcessInfo &process : processes)
        count += process.parentPid == QCoreApplication::applicationPid();
    return count;
}

// Returns once a restart the watchdog had planned until now would have been
// launched: a timer started now, longer than its pause, fires after the
// watchdog's (Qt fires due timers in the order of their deadlines).
bool TestMainWindow::restartDelayHasPassed()
{
    bool passed = false;
    QTimer::singleShot(2 * ServiceWatchdog::restartDelayMs, Qt::PreciseTimer, [&passed] { passed = true; });
    return QTest::qWaitFor([&passed] { return passed; }, 10000);
}

int TestMainWindow::serviceStarts()
{
    QFile log("service-started.txt");
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    return log.readAll().count('\n');
}

// As a crash or the task manager would end it.
void TestMainWindow::killService()
{
    QProcess *process = ServiceProcess::process();
    QVERIFY(process);
    QTRY_COMPARE(process->state(), QProcess::Running);
    QCOMPARE(::kill(pid_t(process->processId()), SIGKILL), 0);
}

void TestMainWindow::initTestCase()
{
    // The page asks the service for its voices at start; answer with none.
    QVERIFY(m_service.listen(5000));
    m_boxes.start();
}

void TestMainWindow::init()
{
    TestSupport::clearWorkingFolder();
}

void TestMainWindow::cleanup()
{
    // Each page's loader asks the service once, when it is done with data.db;
    // until then the next test must not clear the folder under it.
    QTRY_COMPARE(m_service.requestCount(), m_pages);
    ServiceProcess::stop(5000);
    QCOMPARE(runningServices(), 0);
}

void TestMainWindow::formMatches()
{
    MainWindow window;
    ++m_pages;
    window.show();

    QCOMPARE(window.windowTitle(), QString("Sayora by Tavrel V1.2 Lumo特别版"));
    QCOMPARE(window.objectName(), QString("MainWindow"));
    QCOMPARE(window.size(), QSize(800, 600));
    QVERIFY(window.styleSheet().startsWith("QTabWidget::tab-bar { alignment: left; }\n"));
    QCOMPARE(window.styleSheet().count('\n'), 2);

    auto *tabs = window.findChild<QTabWidget *>("tabWidget");
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 4);
    const QStringList titles{"语音合成", "关于软件", "更新日志", "打赏一下"};
    const QStringList pages{"widget", "widget_2", "widget_4", "widget_5"};
    const QStringList classes{"ttsMain", "About", "UpdateLog", "ZanShang"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(tabs->tabText(i), titles[i]);
        QWidget *page = tabs->widget(i)->findChild<QWidget *>(pages[i]);
        QVERIFY2(page, qPrintable(pages[i]));
        QCOMPARE(page->metaObject()->className(), classes[i].toLatin1().constData());
    }
    QCOMPARE(tabs->currentIndex(), 0);

    QCOMPARE(window.menuBar()->objectName(), QString("menubar"));
    // One menu, 文件: the script's three actions, subtitle import, the WAV switch.
    QCOMPARE(window.menuBar()->actions().size(), 1);
    auto *fileMenu = window.findChild<QMenu *>("menuFile");
    QVERIFY(fileMenu);
    QCOMPARE(fileMenu->title(), QString("文件"));
    QCOMPARE(window.menuBar()->actions().first(), fileMenu->menuAction());
    // "-" a separator; otherwise name, text, shortcut, and "checkable" for a switch.
    const QStringList entries{"actionOpenScript 打开文案… Ctrl+O", "actionSaveScript 保存文案 Ctrl+S",
                              "actionSaveScriptAs 另存为… ", "-", "actionImportSubtitles 导入字幕… Ctrl+I", "-",
                              "actionExportWav 同时导出 WAV  checkable"};
    QStringList found;
    for (QAction *action : fileMenu->actions()) {
        if (action->isSeparator()) {
            found.append("-");
            continue;
        }
        found.append(action->objectName() + " " + action->text() + " " + action->shortcut().toString()
                     + (action->isCheckable() ? " checkable" : ""));
    }
    QCOMPARE(found, entries);
    // Off until the saved settings say otherwise.
    QVERIFY(!window.findChild<QAction *>("actionExportWav")->isChecked());
    auto *status = window.statusBar()->findChild<QLabel *>("statusLabel");
    QVERIFY(status);
    QVERIFY(status->text().endsWith(' '));
    QVERIFY(!status->text().endsWith("  "));
    QVERIFY(status->styleSheet().contains("green"));
}

void TestMainWindow::startsServiceFromWorkingFolderAndStopsItOnClose()
{
    installStandIn(QDir::currentPath());
    {
        MainWindow window;
        ++m_pages;
        window.show();
        QTRY_VERIFY(QFile::exists("service-started.txt"));
        QTRY_COMPARE(runningServices(), 1);

        QFile log("service-started.txt");
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLocal8Bit(log.readAll()).trimmed() + "/", workDir);

        // A second window while the first process lives starts nothing more.
        QCOMPARE(childProcesses(), 1);
        MainWindow second;
        ++m_pages;
        QCOMPARE(childProcesses(), 1);
        QCOMPARE(runningServices(), 1);

        QVERIFY(window.close());
        QCOMPARE(runningServices(), 0);
        QVERIFY(!ServiceProcess::process());
    }
}

void TestMainWindow::closeEndsOwnServiceAndLeftoversOfTheFolder()
{
    installStandIn(QDir::currentPath());
    // A leftover of an earlier run in this folder, that no program watches.
    QProcess leftover;
    leftover.start(QDir::currentPath() + "/server/" + ServiceProcess::executableName(), QStringList());
    QVERIFY(leftover.waitForStarted());
    // A service this program watches as another window would its own.
    QProcess watched;
    watched.start(QDir::currentPath() + "/server/" + ServiceProcess::executableName(),
                  ServiceOwnership::parentArguments(QCoreApplication::applicationPid()));
    QVERIFY(watched.waitForStarted());
    // And one of another working folder.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    installStandIn(elsewhere.path());
    QProcess neighbour;
    neighbour.setWorkingDirectory(elsewhere.path());
    neighbour.start(elsewhere.path() + "/server/" + ServiceProcess::executableName(), QStringList());
    QVERIFY(neighbour.waitForStarted());

    MainWindow window;
    ++m_pages;
    window.show();
    QTRY_COMPARE(runningServices(), 3);

    QVERIFY(window.close());
    QVERIFY(leftover.waitForFinished(5000));
    QCOMPARE(leftover.exitStatus(), QProcess::CrashExit);
    QCOMPARE(runningServices(), 1);
    QCOMPARE(watched.state(), QProcess::Running);
    QCOMPARE(runningServices(elsewhere.path()), 1);
    QCOMPARE(neighbour.state(), QProcess::Running);
    watched.kill();
    neighbour.kill();
    QVERIFY(watched.waitForFinished());
    QVERIFY(neighbour.waitForFinished());
}

void TestMainWindow::folderWithBlanksStillStartsTheService()
{
    QTemporaryDir temp(QDir::tempPath() + "/lumo folder with blanks XXXXXX");
    QVERIFY(temp.isValid());
    installStandIn(temp.path());

    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(temp.path()));
    ServiceProcess::start(temp.path() + "/");
    QVERIFY(QDir::setCurrent(previous));

    QTRY_VERIFY(QFile::exists(temp.path() + "/service-started.txt"));
    QCOMPARE(runningServices(temp.path()), 1);
    ServiceProcess::stop();
    QCOMPARE(runningServices(temp.path()), 0);
}

void TestMainWindow::closeWithoutServiceClosesAtOnce()
{
    // No executable in server/: nothing is reported, the close goes through.
    MainWindow window;
    ++m_pages;
    window.show();
    QVERIFY(ServiceProcess::process());
    QVERIFY(window.close());
    QVERIFY(!window.isVisible());
    QVERIFY(!ServiceProcess::process());
    QCOMPARE(m_boxes.count(), 0);
}

void TestMainWindow::serviceThatEndsIsStartedAgain()
{
    installStandIn(QDir::currentPath());
    MainWindow window;
    ++m_pages;
    window.show();
    QTRY_COMPARE(serviceStarts(), 1);
    const qint64 first = ServiceProcess::process()->processId();

    killService();
    QTRY_COMPARE(serviceStarts(), 2);
    QTRY_COMPARE(runningServices(), 1);
    QVERIFY(ServiceProcess::process()->processId() != first);
    QCOMPARE(ServiceProcess::watchdog()->restartCount(), 1);
    QCOMPARE(m_boxes.count(), 0);

    // Closing is no crash: nothing is started again.
    QVERIFY(window.close());
    QVERIFY(restartDelayHasPassed());
    QCOMPARE(childProcesses(), 0);
    QCOMPARE(runningServices(), 0);
    QCOMPARE(serviceStarts(), 2);
}

void TestMainWindow::serviceThatKeepsEndingIsGivenUpOnce()
{
    installStandIn(QDir::currentPath());
    MainWindow window;
    ++m_pages;
    window.show();
    QTRY_COMPARE(serviceStarts(), 1);
    const int boxesBefore = m_boxes.count();

    // Three restarts within the minute, then no more.
    for (int start = 2; start <= 4; ++start) {
        killService();
        QTRY_COMPARE(serviceStarts(), start);
    }
    killService();
    QTRY_COMPARE(m_boxes.count(), boxesBefore + 1);
    QCOMPARE(m_boxes.last().caption, QString("语音服务异常"));
    QCOMPARE(m_boxes.last().text, QString("语音服务接连意外退出，已不再自动重启，请重启软件"));
    QVERIFY(restartDelayHasPassed());
    QCOMPARE(childProcesses(), 0);
    QCOMPARE(serviceStarts(), 4);
    QCOMPARE(runningServices(), 0);
    QCOMPARE(m_boxes.count(), boxesBefore + 1);
    QVERIFY(window.close());
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
