#include "FakeService.h"
#include "Mp3Duration.h"
#include "SkipOrFail.h"
#include "TestSupport.h"
#include "VoiceNaming.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

// The program run from a shell: a child process with no display and no
// platform plugin, in a working folder of this test's with the real speech
// service in server/, each run on a free port of its own.
class TestCliEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void run_data();
    void run();
    void serviceDown_data();
    void serviceDown();
    void interruptCancelsTheJob();
    void neuralVoice();

private:
    struct Result {
        int exitCode = -1;
        QString out;
        QString err;
        quint16 port = 0;
    };
    Result runProgram(const QStringList &arguments, const QMap<QString, QString> &environment = {}, quint16 port = 0);
    static bool listensOn(quint16 port);
};

namespace {
const QString xiaoxiao = QStringLiteral("zh-CN-XiaoxiaoNeural");

QString here(const QString &name)
{
    return QDir::currentPath() + "/" + name;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The job folders below audio/.
QStringList jobFolders()
{
    return QDir(here("audio")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

// Two passages: the chooser's two lines as one, then the tagged one.
const QByteArray threeLines = "今天天气很好。\n我们去公园散步吧。\n「云溪」好的，马上出发。「」\n";
const QByteArray threeCues = "1\n00:00:00,500 --> 00:00:02,000\n你好\n\n"
                             "2\n00:00:03,000 --> 00:00:04,500\n谢谢\n\n"
                             "3\n00:00:05,000 --> 00:00:06,500\n再见\n";
const QByteArray oneBadCue = "1\n00:00:00,500 --> 00:00:02,000\n你好\n\n"
                             "2\n00:00:0x,000 --> 00:00:04,500\n谢谢\n\n"
                             "3\n00:00:05,000 --> 00:00:06,500\n再见\n";
} // namespace

void TestCliEndToEnd::initTestCase()
{
    QVERIFY2(QFileInfo(QStringLiteral(LUMO_PROGRAM)).isExecutable(), LUMO_PROGRAM);
    QVERIFY2(QFileInfo(TestSupport::serverExecutable()).isExecutable(),
             qPrintable("no speech service at " + TestSupport::serverExecutable()));
}

void TestCliEndToEnd::init()
{
    TestSupport::clearWorkingFolder();
}

bool TestCliEndToEnd::listensOn(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("127.0.0.1"), port);
    return probe.waitForConnected(1000);
}

TestCliEndToEnd::Result TestCliEndToEnd::runProgram(const QStringList &arguments,
                                                    const QMap<QString, QString> &environment, quint16 port)
{
    Result result;
    result.port = port ? port : FakeService::freePort();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // What a shell on a machine without a display gives it.
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("LUMO_SERVICE_PORT"), QString::number(result.port));
    for (auto it = environment.begin(); it != environment.end(); ++it)
        env.insert(it.key(), it.value());

    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QDir::currentPath());
    process.start(QStringLiteral(LUMO_PROGRAM), arguments);
    if (!process.waitForStarted() || !process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void TestCliEndToEnd::run_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("fileName"); // written first, with `contents`
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("errParts");
    QTest::addColumn<QStringList>("outParts");
    QTest::addColumn<QString>("mp3");       // the output expected: a path below here, "stdout": the one printed; "": none
    QTest::addColumn<int>("passages");      // the count the progress must end with; 0: no progress at all
    QTest::addColumn<QStringList>("spoken"); // in the output's subtitles
    QTest::addColumn<double>("minSeconds");  // the output's least length
    QTest::addColumn<bool>("wav");           // output.wav beside it

    QTest::newRow("a Chinese script to a file of one's choosing")
        << QStringList{"--render", "script.txt", "--voice", xiaoxiao, "--pause", "200", "--output", "成品/第一集.mp3"}
        << "script.txt" << threeLines << 0 << QStringList{"正在组合配音文件"} << QStringList{here("成品/第一集.mp3")}
        << "成品/第一集.mp3" << 2 << QStringList{"今天天气很好", "我们去公园散步吧", "马上出发"} << 1.0 << false;
    QTest::newRow("by default output.mp3 in the job folder")
        << QStringList{"--render", "script.txt", "--voice", xiaoxiao, "--rate", "-20%", "--volume=+10%"}
        << "script.txt" << threeLines << 0 << QStringList() << QStringList{"/output.mp3"} << "stdout" << 2
        << QStringList{"今天天气很好"} << 1.0 << false;
    QTest::newRow("a subtitle file, one passage per cue")
        << QStringList{"--render", "片段.srt", "--voice", xiaoxiao, "--output", "字幕.mp3"} << "片段.srt" << threeCues
        << 0 << QStringList() << QStringList() << "字幕.mp3" << 3 << QStringList{"你好", "谢谢", "再见"} << 6.4 << false;
    QTest::newRow("a bad cue is named and skipped, the rest renders")
        << QStringList{"--render", "片段.srt", "--voice", xiaoxiao, "--output", "字幕.mp3"} << "片段.srt" << oneBadCue
        << 0 << QStringList{"字幕 2（第 5 行）：时间无法识别，已跳过"} << QStringList() << "字幕.mp3" << 2
        << QStringList{"你好", "再见"} << 6.4 << false;
    QTest::newRow("a subtitle file with a WAV beside")
        << QStringList{"--render", "片段.srt", "--voice", xiaoxiao, "--output", "字幕.mp3", "--wav"} << "片段.srt"
        << threeCues << 0 << QStringList() << QStringList() << "字幕.mp3" << 3 << QStringList{"你好", "谢谢", "再见"}
        << 6.4 << true;
    QTest::newRow("a cue too short for its words: told how it was fitted")
        << QStringList{"--render", "片段.srt", "--voice", xiaoxiao, "--output", "字幕.mp3"} << "片段.srt"
        << QByteArray("1\n00:00:00,000 --> 00:00:00,300\n今天天气很好，我们去公园散步吧\n\n"
                      "2\n00:00:00,400 --> 00:00:01,000\n好的\n")
        << 0 << QStringList{"字幕对齐", "第 1 条字幕"} << QStringList() << "字幕.mp3" << 2
        << QStringList{"公园", "好的"} << 0.5 << false;
    QTest::newRow("a script line whose cue marker cannot be used: told, not spoken")
        << QStringList{"--render", "script.txt", "--voice", xiaoxiao, "--output", "字幕.mp3"} << "script.txt"
        << QByteArray("[00:00:00,500 --> 00:00:02,000] 你好\n[00:00:09,000 --> 00:00:08,000] 坏的\n"
                      "[00:00:03,000 --> 00:00:04,000] 再见\n")
        << 0 << QStringList{"第 2 行：字幕时间无法识别或结束早于开始，未配音"} << QStringList() << "字幕.mp3" << 2
        << QStringList{"你好", "再见"} << 3.9 << false;
    QTest::newRow("a passage the service refuses: render failed, the target untouched")
        << QStringList{"--render", "script.txt", "--voice", xiaoxiao, "--output", "out.mp3"} << "script.txt"
        << QByteArray("第一句。\n「没有这个人」第二句。「」\n") << 1 << QStringList{"合成异常", "第2段", "结果不完整"}
        << QStringList() << "" << 2 << QStringList() << 0.0 << false;
    QTest::newRow("a voice the service does not have")
        << QStringList{"--render", "script.txt", "--voice", "zh-CN-NobodyNeural"} << "script.txt" << threeLines << 2
        << QStringList{"zh-CN-NobodyNeural", "--list-voices"} << QStringList() << "" << 0 << QStringList() << 0.0 << false;
    QTest::newRow("a script that is not there")
        << QStringList{"--render", "missing.txt", "--voice", xiaoxiao} << "" << QByteArray() << 2
        << QStringList{"文件不存在", "missing.txt"} << QStringList() << "" << 0 << QStringList() << 0.0 << false;
    QTest::newRow("an output folder that is not there")
        << QStringList{"--render", "script.txt", "--voice", xiaoxiao, "--output", "nowhere/a.mp3"} << "script.txt"
        << threeLines << 2 << QStringList{"输出文件夹不存在"} << QStringList() << "" << 0 << QStringList() << 0.0 << false;
    QTest::newRow("a rate out of range")
        << QStringList{"--render", "script.txt", "--voice", xiaoxiao, "--rate", "+300%"} << "script.txt" << threeLines
        << 2 << QStringList{"语速 +300% 无效"} << QStringList() << "" << 0 << QStringList() << 0.0 << false;
    QTest::newRow("an unknown option")
        << QStringList{"--render", "script.txt", "--voice", xiaoxiao, "--speed", "2"} << "script.txt" << threeLines
        << 2 << QStringList{"未知的选项：--speed"} << QStringList() << "" << 0 << QStringList() << 0.0 << false;
    QTest::newRow("the voice list")
        << QStringList{"--list-voices"} << "" << QByteArray() << 0 << QStringList()
        << QStringList{"zh-CN-XiaoxiaoNeural\tzh-CN\t汉语(大陆)\t晓晓\n", "zh-CN-YunxiNeural\tzh-CN\t汉语(大陆)\t云溪\n"}
        << "" << 0 << QStringList() << 0.0 << false;
    QTest::newRow("help")
        << QStringList{"--help"} << "" << QByteArray() << 0 << QStringList()
        << QStringList{"--render", "--voice", "--rate", "--volume", "--pause", "--output", "--wav", "--list-voices",
                       "--help", "退出码"}
        << "" << 0 << QStringList() << 0.0 << false;
}

void TestCliEndToEnd::run()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, contents);
    QFETCH(int, exitCode);
    QFETCH(QStringList, errParts);
    QFETCH(QStringList, outParts);
    QFETCH(QString, mp3);
    QFETCH(int, passages);
    QFETCH(QStringList, spoken);
    QFETCH(double, minSeconds);
    QFETCH(bool, wav);

    QVERIFY(QDir().mkpath(here("server")));
    QVERIFY(QFile::link(TestSupport::serverExecutable(), here("server/Sayora_server_Tavrel")));
    if (!fileName.isEmpty())
        writeFile(here(fileName), contents);
    if (arguments.contains("成品/第一集.mp3"))
        QVERIFY(QDir().mkpath(here("成品")));

    const Result result = runProgram(arguments);
    QVERIFY2(result.exitCode == exitCode,
             qPrintable(QString("exit %1, stderr:\n%2").arg(result.exitCode).arg(result.err)));
    for (const QString &part : errParts)
        QVERIFY2(result.err.contains(part), qPrintable(part + " not in:\n" + result.err));
    for (const QString &part : outParts)
        QVERIFY2(result.out.contains(part), qPrintable(part + " not in:\n" + result.out));

    // Progress: "done/total" lines that never go back, ending with every passage.
    const QRegularExpression progressLine(QStringLiteral("^(\\d+)/(\\d+)$"), QRegularExpression::MultilineOption);
    QVector<QPair<int, int>> progress;
    for (auto it = progressLine.globalMatch(result.err); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        progress.append({match.captured(1).toInt(), match.captured(2).toInt()});
    }
    if (passages == 0) {
        QVERIFY2(progress.isEmpty(), qPrintable(result.err));
    } else {
        QVERIFY2(!progress.isEmpty(), qPrintable(result.err));
        QCOMPARE(progress.last(), qMakePair(passages, passages));
        for (int i = 1; i < progress.size(); ++i) {
            QVERIFY(progress[i].first >= progress[i - 1].first);
            QCOMPARE(progress[i].second, passages);
        }
    }

    // The output, decoded, with its subtitles beside it.
    QString output;
    if (mp3 == "stdout") {
        output = result.out.trimmed();
        QVERIFY2(QRegularExpression("/audio/\\d+/output\\.mp3$").match(output).hasMatch(), qPrintable(output));
    } else if (!mp3.isEmpty()) {
        output = here(mp3);
        QCOMPARE(result.out.trimmed(), output);
        // Moved out of the job folder, which is gone with what was left in it.
        QCOMPARE(jobFolders(), QStringList());
    }
    if (!output.isEmpty()) {
        const double seconds = mp3Seconds(output);
        QVERIFY2(seconds >= minSeconds, qPrintable(QString("%1: %2 s").arg(output).arg(seconds)));
        QFile wavFile(output.chopped(4) + ".wav");
        QCOMPARE(wavFile.exists(), wav);
        if (wav) {
            QVERIFY(wavFile.open(QIODevice::ReadOnly));
            QCOMPARE(wavFile.read(4), QByteArray("RIFF"));
        }
        const QString subtitles = readText(output.chopped(4) + ".srt");
        for (const QString &text : spoken)
            QVERIFY2(subtitles.contains(text), qPrintable(text + " not in:\n" + subtitles));
        // The commas that folding the script's line breaks leaves never show.
        const QRegularExpression strayComma(QStringLiteral("^，|[。！？!?…]”?，$"));
        for (const QString &line : subtitles.split('\n')) {
            if (!line.contains("-->"))
                QVERIFY2(!strayComma.match(line.trimmed()).hasMatch(), qPrintable(line + " in:\n" + subtitles));
        }
        // Nothing half written beside it.
        const QStringList beside = QDir(QFileInfo(output).absolutePath()).entryList(QDir::Files | QDir::Hidden);
        for (const QString &name : beside)
            QVERIFY2(!name.contains(".mp3.") && !name.contains(".srt.") && !name.contains(".wav."), qPrintable(name));
    }
    if (exitCode != 0 && arguments.contains("out.mp3"))
        QVERIFY(!QFileInfo::exists(here("out.mp3")));

    // The service the program started is stopped with it.
    QVERIFY(!listensOn(result.port));
}

void TestCliEndToEnd::serviceDown_data()
{
    QTest::addColumn<QByteArray>("standIn"); // the script in server/; null: no service at all
    QTest::addColumn<bool>("fakeListens");   // a fake on the port that accepts and never answers
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("errPart");
    QTest::addColumn<QString>("waitMs"); // LUMO_CATALOGUE_TIMEOUT_MS

    const QStringList render{"--render", "script.txt", "--voice", xiaoxiao, "--output", "out.mp3"};
    const QByteArray sleeper = "#!/bin/sh\necho $$ > service.pid\nexec sleep 600\n";
    QTest::newRow("no service in the working folder") << QByteArray() << false << render << "找不到语音服务" << "300";
    QTest::newRow("a service that ends at once")
        << QByteArray("#!/bin/sh\nexit 3\n") << false << render << "语音服务无法启动" << "20000";
    QTest::newRow("a service that never listens") << sleeper << false << render << "语音服务无响应" << "300";
    QTest::newRow("a service that never listens, listing voices")
        << sleeper << false << QStringList{"--list-voices"} << "语音服务无响应" << "300";
    QTest::newRow("a service that accepts and never answers") << sleeper << true << render << "语音服务无响应" << "300";
}

void TestCliEndToEnd::serviceDown()
{
    QFETCH(QByteArray, standIn);
    QFETCH(bool, fakeListens);
    QFETCH(QStringList, arguments);
    QFETCH(QString, errPart);
    QFETCH(QString, waitMs);

    writeFile(here("script.txt"), threeLines);
    if (!standIn.isNull()) {
        writeFile(here("server/Sayora_server_Tavrel"), standIn);
        QVERIFY(QFile::setPermissions(here("server/Sayora_server_Tavrel"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    FakeService fake;
    quint16 port = 0;
    if (fakeListens) {
        QVERIFY(fake.listen());
        port = fake.port();
        fake.setResponder([](const FakeService::Request &) {
            FakeService::Reply reply = FakeService::ok();
            reply.delayMs = 3000;
            return reply;
        });
    }

    // Bounds shortened as the window's tests shorten them; the outcome, not the time, is checked.
    const Result result = runProgram(arguments, {{"LUMO_CATALOGUE_TIMEOUT_MS", waitMs}}, port);
    QVERIFY2(result.exitCode == 1, qPrintable(QString("exit %1, stderr:\n%2").arg(result.exitCode).arg(result.err)));
    QVERIFY2(result.err.contains(errPart), qPrintable(result.err));
    QVERIFY(result.out.isEmpty());
    QVERIFY(!QFileInfo::exists(here("out.mp3")));
    if (fakeListens)
        QCOMPARE(fake.requestsTo("/getVoices").size(), 1);

    // The stand-in the program started does not outlive it.
    const QString pid = readText(here("service.pid")).trimmed();
    if (standIn.contains("sleep")) {
        QVERIFY(!pid.isEmpty());
        QTRY_VERIFY(::kill(pid_t(pid.toInt()), 0) != 0 || readText("/proc/" + pid + "/stat").contains(") Z "));
    }
}


void TestCliEndToEnd::interruptCancelsTheJob()
{
    // Long enough that it is still rendering when the signal comes.
    QByteArray script;
    for (int i = 1; i <= 200; ++i)
        script += QStringLiteral("第%1段：我们今天要讨论的题目是如何在十分钟之内准备一顿简单而营养丰富的晚餐，"
                                 "从挑选食材开始，到切配、下锅和装盘，每一步都有值得注意的地方。\n「云溪」好的。「」\n")
                      .arg(i)
                      .toUtf8();
    writeFile(here("long.txt"), script);
    QVERIFY(QDir().mkpath(here("server")));
    QVERIFY(QFile::link(TestSupport::serverExecutable(), here("server/Sayora_server_Tavrel")));

    const quint16 port = FakeService::freePort();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("LUMO_SERVICE_PORT"), QString::number(port));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QDir::currentPath());
    process.start(QStringLiteral(LUMO_PROGRAM), {"--render", "long.txt", "--voice", xiaoxiao, "--output", "out.mp3"});
    QVERIFY(process.waitForStarted());
    QString err;
    QVERIFY(QTest::qWaitFor(
        [&] {
            process.waitForReadyRead(100);
            err += QString::fromUtf8(process.readAllStandardError());
            return err.contains(QStringLiteral("0/400")) || process.state() == QProcess::NotRunning;
        },
        60000));
    QVERIFY2(process.state() == QProcess::Running, qPrintable(err));
    QCOMPARE(jobFolders().size(), 1);

    // Ctrl+C, as a terminal sends it to the program.
    QCOMPARE(::kill(pid_t(process.processId()), SIGINT), 0);
    QVERIFY(process.waitForFinished(60000));
    err += QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == 130, qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("已取消")), qPrintable(err));
    QVERIFY(jobFolders().isEmpty());
    QVERIFY(!QFileInfo::exists(here("out.mp3")));
    // The service it started is stopped.
    QTRY_VERIFY(!listensOn(port));
}


// A model in models/ of the working folder: its voices are listed, the
// folders the service skipped end the list, and a script renders with one.
void TestCliEndToEnd::neuralVoice()
{
    if (!QFileInfo(TestSupport::serverExecutable()).dir().exists(QStringLiteral("libsherpa-onnx-c-api.so")))
        LUMO_SKIP_OR_FAIL("the build has no neural runtime beside the service");
    QVERIFY(QDir().mkpath(here("server")));
    QVERIFY(QFile::link(TestSupport::serverExecutable(), here("server/Sayora_server_Tavrel")));
    QProcess make;
    make.start(QStringLiteral(LUMO_PYTHON),
               {QStringLiteral(LUMO_MAKE_MODELS), here("models"), "vits", "corrupt", "unknown"});
    QVERIFY(make.waitForFinished(60000));
    if (make.exitCode() != 0)
        LUMO_SKIP_OR_FAIL(qPrintable("cannot generate test models (python3-onnx): " + make.readAllStandardError()));

    const Result list = runProgram({"--list-voices"});
    QVERIFY2(list.exitCode == 0, qPrintable(list.err));
    const QStringList lines = list.out.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.contains("zh-CN-TestZhS001\tzh-CN\t" + VoiceNaming::localeDisplayName("zh-CN") +
                            "\tvits-test-zh 001 女声"),
             qPrintable(list.out));
    QVERIFY(lines.size() > 2);
    // The skipped folders, with their reasons, come last.
    QVERIFY2(lines.at(lines.size() - 2).startsWith("跳过模型文件夹 models/mystery-model："), qPrintable(list.out));
    QVERIFY2(lines.last().startsWith("跳过模型文件夹 models/vits-corrupt：") && lines.last().contains("ONNX"),
             qPrintable(list.out));

    // A tag names the voice as the window's choosers show it.
    writeFile(here("script.txt"), "你好，世界。\n「vits-test-zh 000」你好世界！「」\n");
    const Result render = runProgram({"--render", "script.txt", "--voice", "zh-CN-TestZhS001", "--output", "neural.mp3"});
    QVERIFY2(render.exitCode == 0, qPrintable(render.err));
    const double seconds = mp3Seconds(here("neural.mp3"));
    QVERIFY2(seconds > 0.3 && seconds < 3.0, qPrintable(QString::number(seconds)));
    const QString subtitles = readText(here("neural.srt"));
    QVERIFY2(subtitles.contains("你好，") && subtitles.contains("你好世界！"), qPrintable(subtitles));
    QVERIFY(!listensOn(render.port));
}

QTEST_GUILESS_MAIN(TestCliEndToEnd)
#include "test_cli_endtoend.moc"
