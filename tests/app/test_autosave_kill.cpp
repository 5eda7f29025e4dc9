#include "Autosave.h"
#include "TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>

// The program killed outright (SIGKILL: no close, no destructor) keeps what
// was typed: the next start puts it back. The program runs in a process of
// its own, its autosave delay shortened.
class TestAutosaveKill : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void typedScriptSurvivesAKill();
    void twoKillsInARow();

private:
    void start(QProcess &process, const QStringList &arguments);
    QJsonObject show();
    // Types `text` in a new run and kills it once `saved` is on disk.
    void typeAndKill(const QString &text, const QString &saved);
};

void TestAutosaveKill::init()
{
    TestSupport::clearWorkingFolder();
}

void TestAutosaveKill::start(QProcess &process, const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LUMO_AUTOSAVE_DELAY_MS", "200");
    process.setProcessEnvironment(environment);
    process.setProgram(QStringLiteral(LUMO_AUTOSAVE_CHILD));
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start();
    QVERIFY(process.waitForStarted());
}

QJsonObject TestAutosaveKill::show()
{
    QProcess process;
    start(process, {"show"});
    if (!process.waitForFinished(30000))
        return QJsonObject{{"error", "did not finish"}};
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

void TestAutosaveKill::typeAndKill(const QString &text, const QString &saved)
{
    QProcess process;
    start(process, {"type", text});
    const QString folder = QDir::currentPath() + "/";
    QTRY_VERIFY_WITH_TIMEOUT(Autosave::loadScript(folder) == std::optional<QString>(saved)
                                 && Autosave::loadSession(folder)
                                 && Autosave::loadSession(folder)->rate == std::optional<int>(35),
                             30000);
    QCOMPARE(::kill(pid_t(process.processId()), SIGKILL), 0);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
}

void TestAutosaveKill::typedScriptSurvivesAKill()
{
    const QString text = QStringLiteral("「晓晓」被强行结束也不丢「」第二句");
    typeAndKill(text, text);
    if (QTest::currentTestFailed())
        return;
    const QJsonObject shown = show();
    QCOMPARE(shown.value("text").toString(), text);
    QCOMPARE(shown.value("rate").toInt(), 35);
}

void TestAutosaveKill::twoKillsInARow()
{
    // The second run starts from what the first left, then types over it;
    // the rename leaves no half-written file whenever the kill comes.
    typeAndKill("first", "first");
    if (QTest::currentTestFailed())
        return;
    typeAndKill("second", "firstsecond");
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(show().value("text").toString(), QString("firstsecond"));
    QCOMPARE(QDir::current().entryList({"*.autosave.*"}, QDir::Files | QDir::Hidden),
             (QStringList{Autosave::scriptFileName(), Autosave::sessionFileName()}));
}

QTEST_GUILESS_MAIN(TestAutosaveKill)
#include "test_autosave_kill.moc"
