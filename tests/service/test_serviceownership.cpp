#include "ProcessTable.h"
#include "ServiceOwnership.h"
#include "ServiceProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QtTest>

Q_DECLARE_METATYPE(ProcessInfo)
Q_DECLARE_METATYPE(std::optional<ProcessInfo>)

// The rules that decide which services a program may stop, and the reading
// of /proc they are fed from.
class TestServiceOwnership : public QObject
{
    Q_OBJECT

private slots:
    void leftover_data();
    void leftover();
    void listeningInodes_data();
    void listeningInodes();
    void portTakenMessageNamesPortAndHolder_data();
    void portTakenMessageNamesPortAndHolder();
    void findsTheListenerOfAPort();
    void readsAChildProcess();
    void killAndWaitEndsTheProcess();
};

namespace {
const QString folder = QStringLiteral("/home/user/配音");

ProcessInfo service(const QStringList &arguments, qint64 parent, const QString &cwd = folder)
{
    ProcessInfo p;
    p.pid = 4242;
    p.parentPid = parent;
    p.executable = QStringLiteral("/home/user/配音/server/") + ServiceProcess::executableName();
    p.workingFolder = cwd;
    p.arguments = arguments;
    return p;
}
} // namespace

void TestServiceOwnership::leftover_data()
{
    QTest::addColumn<ProcessInfo>("process");
    QTest::addColumn<QString>("workDir");
    QTest::addColumn<bool>("watched");
    QTest::addColumn<bool>("leftover");

    QTest::newRow("started by hand, or by an older version") << service({}, 1) << folder + "/" << false << true;
    QTest::newRow("on another port, still no program") << service({"--port", "5001"}, 1) << folder << false << true;
    QTest::newRow("its program is alive") << service({"--parent-pid", "777"}, 777) << folder << true << false;
    QTest::newRow("a command-line render beside the window")
        << service({"--port", "40123", "--parent-pid", "778"}, 778) << folder << true << false;
    QTest::newRow("its program is gone (adopted by another)") << service({"--parent-pid", "777"}, 1) << folder << false
                                                               << true;
    QTest::newRow("malformed mark") << service({"--parent-pid"}, 1) << folder << false << true;
    QTest::newRow("another working folder") << service({}, 1, "/home/user/别处") << folder << false << false;
    QTest::newRow("folder unreadable") << service({}, 1, QString()) << folder << false << false;
    QTest::newRow("same folder written differently") << service({}, 1) << folder + "/./server/.." << false << true;

    ProcessInfo other = service({}, 1);
    other.executable = QStringLiteral("/usr/bin/python3");
    QTest::newRow("not a service at all") << other << folder << false << false;
}

void TestServiceOwnership::leftover()
{
    QFETCH(ProcessInfo, process);
    QFETCH(QString, workDir);
    QFETCH(bool, watched);
    QFETCH(bool, leftover);
    QCOMPARE(ServiceOwnership::isWatched(process), watched);
    QCOMPARE(ServiceOwnership::isLeftover(process, workDir), leftover);
}

void TestServiceOwnership::listeningInodes_data()
{
    const QByteArray header =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<QList<quint64>>("inodes");

    QTest::newRow("loopback listener")
        << header + "   0: 0100007F:1388 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 31337 1 0\n"
        << QList<quint64>{31337};
    QTest::newRow("any address, IPv6")
        << header + "   0: 00000000000000000000000000000000:1388 00000000000000000000000000000000:0000 0A "
                    "00000000:00000000 00:00000000 00000000  1000        0 555 1 0\n"
        << QList<quint64>{555};
    QTest::newRow("a connection to the port is no listener")
        << header + "   1: 0100007F:1388 0100007F:A2B4 01 00000000:00000000 00:00000000 00000000     0        0 99 1 0\n"
        << QList<quint64>();
    QTest::newRow("another port") << header + "   0: 0100007F:1389 00000000:0000 0A 00000000:00000000 00:00000000 "
                                              "00000000     0        0 12 1 0\n"
                                  << QList<quint64>();
    QTest::newRow("truncated line") << header + "   0: 0100007F:1388 00000000:0000 0A\n" << QList<quint64>();
    QTest::newRow("empty") << QByteArray() << QList<quint64>();
}

void TestServiceOwnership::listeningInodes()
{
    QFETCH(QByteArray, listing);
    QFETCH(QList<quint64>, inodes);
    QCOMPARE(ProcessTable::listeningInodes(listing, 5000), inodes);
}

void TestServiceOwnership::portTakenMessageNamesPortAndHolder_data()
{
    QTest::addColumn<std::optional<ProcessInfo>>("holder");
    QTest::addColumn<QStringList>("parts");

    ProcessInfo web;
    web.pid = 913;
    web.executable = QStringLiteral("/usr/bin/python3.11");
    QTest::newRow("another program") << std::optional<ProcessInfo>(web)
                                     << QStringList{"端口 5000", "python3.11", "913", "请关闭该程序"};
    QTest::newRow("a service another window uses")
        << std::optional<ProcessInfo>(service({"--parent-pid", "7"}, 7))
        << QStringList{"端口 5000", "另一个语音服务", "4242", QDir::toNativeSeparators(folder)};
    QTest::newRow("holder not seen") << std::optional<ProcessInfo>() << QStringList{"端口 5000", "请关闭占用该端口的程序"};
}

void TestServiceOwnership::portTakenMessageNamesPortAndHolder()
{
    QFETCH(std::optional<ProcessInfo>, holder);
    QFETCH(QStringList, parts);
    const QString message = ServiceOwnership::portTakenMessage(5000, holder);
    for (const QString &part : parts)
        QVERIFY2(message.contains(part), qPrintable(message + " lacks " + part));
}

void TestServiceOwnership::findsTheListenerOfAPort()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QCOMPARE(ProcessTable::listenerOf(server.serverPort()), std::optional<qint64>(QCoreApplication::applicationPid()));
    const quint16 port = server.serverPort();
    server.close();
    QCOMPARE(ProcessTable::listenerOf(port), std::optional<qint64>());
}

void TestServiceOwnership::readsAChildProcess()
{
    QProcess child;
    child.setWorkingDirectory(QDir::tempPath());
    // A shell that stays (the sleep is not its last command), with a mark
    // among its arguments.
    const QStringList arguments{"-c", "sleep 30; :", "sh", "--parent-pid", "1"};
    child.start("/bin/sh", arguments);
    QVERIFY(child.waitForStarted());
    const std::optional<ProcessInfo> info = ProcessTable::info(child.processId());
    QVERIFY(info);
    QCOMPARE(info->parentPid, QCoreApplication::applicationPid());
    QCOMPARE(info->executable, QFileInfo("/bin/sh").canonicalFilePath());
    QCOMPARE(info->workingFolder, QDir(QDir::tempPath()).canonicalPath());
    QCOMPARE(info->arguments, arguments);
    // Marked for another parent: not watched by it.
    QVERIFY(!ServiceOwnership::isWatched(*info));

    bool seen = false;
    for (const ProcessInfo &p : ProcessTable::all())
        seen = seen || p.pid == child.processId();
    QVERIFY(seen);
    child.kill();
    child.waitForFinished();
}

void TestServiceOwnership::killAndWaitEndsTheProcess()
{
    qint64 pid = 0;
    QVERIFY(QProcess::startDetached("sleep", {"30"}, QString(), &pid));
    QTRY_VERIFY(ProcessTable::info(pid));
    QVERIFY(!ProcessTable::isGone(pid));
    QVERIFY(ProcessTable::killAndWait({pid}, 5000));
    QVERIFY(ProcessTable::isGone(pid));
}

QTEST_GUILESS_MAIN(TestServiceOwnership)
#include "test_serviceownership.moc"
