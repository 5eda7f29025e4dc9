#include "CommandLine.h"
#include "ServiceContract.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

// The command line's rules: which arguments leave the window alone, how the
// options are read and refused, what a script file becomes, where the
// outputs go and how they get there, and how voices are listed.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void isRequested_data();
    void isRequested();
    void parse_data();
    void parse();
    void helpNamesEveryOption();
    void loadScript_data();
    void loadScript();
    void outputMoves_data();
    void outputMoves();
    void checkOutput_data();
    void checkOutput();
    void moveSafely_data();
    void moveSafely();
    void voiceLines_data();
    void voiceLines();
    void hasVoice_data();
    void hasVoice();
    void servicePort_data();
    void servicePort();
};

namespace {
QJsonObject record(const QString &name, const QString &locale, const QString &gender = QStringLiteral("Female"))
{
    return QJsonObject{{"name", name}, {"locale", locale}, {"gender", gender}};
}

QString here(const QString &name)
{
    return QDir::currentPath() + "/" + name;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

void TestCommandLine::init()
{
    TestSupport::clearWorkingFolder();
}

void TestCommandLine::cleanup()
{
    qunsetenv("LUMO_SERVICE_PORT");
}

void TestCommandLine::isRequested_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("requested");

    QTest::newRow("nothing: the window") << QStringList{"Sayora_Lumo"} << false;
    QTest::newRow("a script: the window opens it") << QStringList{"Sayora_Lumo", "script.txt"} << false;
    QTest::newRow("Qt's own option") << QStringList{"Sayora_Lumo", "-platform", "offscreen"} << false;
    QTest::newRow("Qt's style option") << QStringList{"Sayora_Lumo", "-style=fusion"} << false;
    QTest::newRow("a file named like an option") << QStringList{"Sayora_Lumo", "my--render.txt"} << false;
    QTest::newRow("a longer name") << QStringList{"Sayora_Lumo", "--renderer"} << false;
    QTest::newRow("--render") << QStringList{"Sayora_Lumo", "--render", "a.txt"} << true;
    QTest::newRow("--render=") << QStringList{"Sayora_Lumo", "--render=a.txt"} << true;
    QTest::newRow("--list-voices") << QStringList{"Sayora_Lumo", "--list-voices"} << true;
    QTest::newRow("--help") << QStringList{"Sayora_Lumo", "--help"} << true;
    QTest::newRow("-h") << QStringList{"Sayora_Lumo", "-h"} << true;
    QTest::newRow("--voice alone: told what is missing")
        << QStringList{"Sayora_Lumo", "--voice", "zh-CN-XiaoxiaoNeural"} << true;
    QTest::newRow("--wav after a script") << QStringList{"Sayora_Lumo", "a.txt", "--wav"} << true;
    QTest::newRow("the program's name is no option") << QStringList{"--render"} << false;
}

void TestCommandLine::isRequested()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, requested);
    QCOMPARE(CommandLine::isRequested(arguments), requested);
}

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("voice");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("volume");
    QTest::addColumn<int>("pause");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("wav");
    QTest::addColumn<QString>("message"); // a part of it

    const int help = int(CommandLine::Action::Help);
    const int list = int(CommandLine::Action::ListVoices);
    const int render = int(CommandLine::Action::Render);
    const QString v = QStringLiteral("zh-CN-XiaoxiaoNeural");
    const QStringList base{"Sayora_Lumo", "--render", "a.txt", "--voice", v};
    const auto with = [&base](const QStringList &more) { return base + more; };

    QTest::newRow("--help") << QStringList{"Sayora_Lumo", "--help"} << 0 << help << "" << "" << 0 << 0 << 0 << ""
                            << false << "";
    QTest::newRow("-h") << QStringList{"Sayora_Lumo", "-h"} << 0 << help << "" << "" << 0 << 0 << 0 << "" << false
                        << "";
    QTest::newRow("--help wins over the rest") << with({"--rate", "bad"}) + QStringList{"--help"} << 0 << help << ""
                                               << "" << 0 << 0 << 0 << "" << false << "";
    QTest::newRow("--list-voices") << QStringList{"Sayora_Lumo", "--list-voices"} << 0 << list << "" << "" << 0 << 0
                                   << 0 << "" << false << "";

    QTest::newRow("render: the defaults") << base << 0 << render << here("a.txt") << v << 0 << 0 << 0 << "" << false
                                          << "";
    QTest::newRow("render: every option")
        << QStringList{"Sayora_Lumo", "--render", "/data/片头.srt", "--voice", v,    "--rate", "+25%", "--volume",
                       "-30%",        "--pause",  QString::number(contract::pagePauseMaxMs),
                       "--output",    "成品/第一集.mp3", "--wav"}
        << 0 << render << "/data/片头.srt" << v << 25 << -30 << contract::pagePauseMaxMs << here("成品/第一集.mp3")
        << true << "";
    QTest::newRow("render: the = form")
        << QStringList{"Sayora_Lumo", "--render=a.txt", "--voice=" + v, "--rate=-100%", "--volume=+100%", "--pause=0"}
        << 0 << render << here("a.txt") << v << -100 << 100 << 0 << "" << false << "";
    QTest::newRow("render: a negative value after a blank") << with({"--rate", "-10%"}) << 0 << render << here("a.txt")
                                                            << v << -10 << 0 << 0 << "" << false << "";
    QTest::newRow("render: fastest rate") << with({"--rate", "+200%"}) << 0 << render << here("a.txt") << v << 200
                                          << 0 << 0 << "" << false << "";
    QTest::newRow("render: output in capitals") << with({"--output", "OUT.MP3"}) << 0 << render << here("a.txt") << v
                                                << 0 << 0 << 0 << here("OUT.MP3") << false << "";
    QTest::newRow("render: voice with blanks around")
        << QStringList{"Sayora_Lumo", "--render", "a.txt", "--voice", " " + v + " "} << 0 << render << here("a.txt")
        << v << 0 << 0 << 0 << "" << false << "";

    const auto bad = [&](const char *name, const QStringList &arguments, const QString &message) {
        QTest::newRow(name) << arguments << 2 << help << "" << "" << 0 << 0 << 0 << "" << false << message;
    };
    bad("rate past the fastest", with({"--rate", "+201%"}), "语速 +201% 无效");
    bad("rate without a sign", with({"--rate", "10%"}), "语速 10% 无效");
    bad("rate without %", with({"--rate", "+10"}), "语速 +10 无效");
    bad("rate in words", with({"--rate", "fast"}), "范围 -100% 到 +200%");
    bad("volume past the loudest", with({"--volume", "+101%"}), "音量 +101% 无效");
    bad("volume below the quietest", with({"--volume", "-101%"}), "范围 -100% 到 +100%");
    const QString pastTheBox = QString::number(contract::pagePauseMaxMs + 1);
    bad("pause past the page's box", with({"--pause", pastTheBox}), "停顿 " + pastTheBox + " 无效");
    bad("negative pause", with({"--pause", "-1"}), "0 到 3000");
    bad("pause in words", with({"--pause", "long"}), "停顿 long 无效");
    bad("unknown option", with({"--bogus"}), "未知的选项：--bogus");
    bad("unknown short option", with({"-x"}), "未知的选项：-x");
    bad("value missing at the end", QStringList{"Sayora_Lumo", "--render", "a.txt", "--voice"}, "--voice 后缺少值");
    bad("script missing at the end", QStringList{"Sayora_Lumo", "--render"}, "--render 后缺少值");
    bad("no voice", QStringList{"Sayora_Lumo", "--render", "a.txt"}, "--voice");
    bad("empty voice", QStringList{"Sayora_Lumo", "--render", "a.txt", "--voice", ""}, "--voice");
    bad("empty script", QStringList{"Sayora_Lumo", "--render", "", "--voice", v}, "--render");
    bad("nothing to do", QStringList{"Sayora_Lumo", "--voice", v}, "--render");
    bad("a stray argument", with({"extra.txt"}), "多余的参数：extra.txt");
    bad("list and render at once", with({"--list-voices"}), "--list-voices 不能与 --render");
    bad("list with a voice", QStringList{"Sayora_Lumo", "--list-voices", "--voice", v}, "--voice");
    bad("output not an MP3", with({"--output", "out.wav"}), "须以 .mp3 结尾");
    bad("output with no name", with({"--output", "dir/.mp3"}), "须以 .mp3 结尾");
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    const CommandLine::Parsed parsed = CommandLine::parse(arguments);
    QCOMPARE(parsed.exitCode, exitCode);
    if (exitCode != 0) {
        QVERIFY2(parsed.message.contains(message), qPrintable(parsed.message));
        return;
    }
    QVERIFY(parsed.message.isEmpty());
    const CommandLine::Options &options = parsed.options;
    QTEST(int(options.action), "action");
    if (options.action != CommandLine::Action::Render)
        return;
    QTEST(options.script, "script");
    QTEST(options.voice, "voice");
    QTEST(options.rate, "rate");
    QTEST(options.volume, "volume");
    QTEST(options.pauseMs, "pause");
    QTEST(options.output, "output");
    QTEST(options.wav, "wav");
}

void TestCommandLine::helpNamesEveryOption()
{
    const QString help = CommandLine::helpText();
    const QStringList names{"--render", "--voice",       "--rate", "--volume", "--pause",
                            "--output", "--wav",         "--list-voices", "--help", "-h"};
    for (const QString &name : names)
        QVERIFY2(help.contains(name), qPrintable(name));
    // Every exit code with what it means.
    for (const char *code : {"0  成功", "1  合成失败", "2  用法错误"})
        QVERIFY2(help.contains(code), qPrintable(code));
}

void TestCommandLine::loadScript_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes"); // null: no file
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("notes"); // parts of each note, in order
    QTest::addColumn<QString>("error");     // a part of it

    QTest::newRow("UTF-8 text") << "a.txt" << QByteArray("\xe4\xbd\xa0\xe5\xa5\xbd\n\xe5\x86\x8d\xe8\xa7\x81")
                                << true << QString("你好\n再见") << QStringList() << "";
    QTest::newRow("UTF-8 with a mark") << "a.txt" << QByteArray("\xef\xbb\xbf\xe4\xbd\xa0\xe5\xa5\xbd") << true
                                       << QString("你好") << QStringList() << "";
    QTest::newRow("GB18030 text") << "a.txt" << QByteArray("\xc4\xe3\xba\xc3") << true << QString("你好")
                                  << QStringList() << "";
    QTest::newRow("UTF-16 with a mark") << "a.txt" << QByteArray("\xff\xfe\x60\x4f\x7d\x59", 6) << true
                                        << QString("你好") << QStringList() << "";
    QTest::newRow("any other name is a text") << "a.md" << QByteArray("hello") << true << QString("hello")
                                              << QStringList() << "";
    QTest::newRow("no such file") << "missing.txt" << QByteArray() << false << "" << QStringList() << "文件不存在";
    QTest::newRow("no such subtitle file") << "missing.srt" << QByteArray() << false << "" << QStringList()
                                           << "无法读取字幕文件";
    QTest::newRow("not text") << "a.txt" << QByteArray("\x00\x01\x02", 3) << false << "" << QStringList()
                              << "无法识别文件的编码";

    QTest::newRow("SRT: one cue line per cue")
        << "a.srt"
        << QByteArray("1\r\n00:00:01,000 --> 00:00:03,000\r\n\xe4\xbd\xa0\xe5\xa5\xbd\r\n\r\n"
                      "2\r\n00:00:04,500 --> 00:00:06,000\r\n<i>\xe5\x86\x8d\xe8\xa7\x81</i>\r\n")
        << true << QString("[00:00:01,000 --> 00:00:03,000] 你好\n[00:00:04,500 --> 00:00:06,000] 再见")
        << QStringList() << "";
    QTest::newRow("SRT: a bad cue is named and skipped")
        << "a.srt"
        << QByteArray("1\n00:00:01,000 --> 00:00:03,000\nA\n\n"
                      "2\n00:00:0x,000 --> 00:00:05,000\nB\n\n"
                      "3\n00:00:06,000 --> 00:00:08,000\nC\n")
        << true << QString("[00:00:01,000 --> 00:00:03,000] A\n[00:00:06,000 --> 00:00:08,000] C")
        << QStringList{"字幕 2（第 5 行）：时间无法识别，已跳过"} << "";
    QTest::newRow("SRT: overlapping cues are kept and told")
        << "a.srt"
        << QByteArray("1\n00:00:01,000 --> 00:00:05,000\nA\n\n"
                      "2\n00:00:04,000 --> 00:00:06,000\nB\n")
        << true << QString("[00:00:01,000 --> 00:00:05,000] A\n[00:00:04,000 --> 00:00:06,000] B")
        << QStringList{"重叠"} << "";
    QTest::newRow("SRT: skipped before overlaps")
        << "a.srt"
        << QByteArray("1\n00:00:01,000 --> 00:00:05,000\nA\n\n"
                      "2\n00:00:04,000 --> 00:00:06,000\nB\n\n"
                      "3\n00:00:09,000 --> 00:00:08,000\nC\n")
        << true << QString("[00:00:01,000 --> 00:00:05,000] A\n[00:00:04,000 --> 00:00:06,000] B")
        << QStringList{"字幕 3", "重叠"} << "";
    QTest::newRow("LRC: a cue ends where the next begins")
        << "a.lrc" << QByteArray("[00:01.00]A\n[00:03.50]B\n") << true
        << QString("[00:00:01,000 --> 00:00:03,500] A\n[00:00:03,500 --> 00:00:08,500] B") << QStringList() << "";
    QTest::newRow("VTT") << "a.vtt" << QByteArray("WEBVTT\n\n00:01.000 --> 00:02.000\nA\n") << true
                         << QString("[00:00:01,000 --> 00:00:02,000] A") << QStringList() << "";
}

void TestCommandLine::loadScript()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, notes);
    QFETCH(QString, error);

    if (!bytes.isNull())
        writeFile(here(fileName), bytes);
    const CommandLine::Script script = CommandLine::loadScript(here(fileName));
    QTEST(script.ok, "ok");
    if (!script.ok) {
        QVERIFY2(script.error.contains(error), qPrintable(script.error));
        return;
    }
    QTEST(script.text, "text");
    QCOMPARE(script.notes.size(), notes.size());
    for (int i = 0; i < notes.size(); ++i)
        QVERIFY2(script.notes[i].contains(notes[i]), qPrintable(script.notes[i]));
}

void TestCommandLine::outputMoves_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("wav");
    QTest::addColumn<QStringList>("moves"); // "from > to"

    QTest::newRow("MP3 and subtitles") << "/home/u/out.mp3" << false
                                       << QStringList{"/w/audio/7/output.mp3 > /home/u/out.mp3",
                                                      "/w/audio/7/output.srt > /home/u/out.srt"};
    QTest::newRow("and the WAV") << "/home/u/out.mp3" << true
                                 << QStringList{"/w/audio/7/output.mp3 > /home/u/out.mp3",
                                                "/w/audio/7/output.srt > /home/u/out.srt",
                                                "/w/audio/7/output.wav > /home/u/out.wav"};
    QTest::newRow("dots in the name, suffix in capitals")
        << "/home/u/第1集.final.MP3" << false
        << QStringList{"/w/audio/7/output.mp3 > /home/u/第1集.final.MP3",
                       "/w/audio/7/output.srt > /home/u/第1集.final.srt"};
}

void TestCommandLine::outputMoves()
{
    QFETCH(QString, target);
    QFETCH(bool, wav);
    QStringList moves;
    for (const CommandLine::Move &move : CommandLine::outputMoves("/w/audio/7/", target, wav))
        moves.append(move.from + " > " + move.to);
    QTEST(moves, "moves");
}

void TestCommandLine::checkOutput_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("folders"); // made first
    QTest::addColumn<bool>("wav");
    QTest::addColumn<QString>("problem"); // a part of it; empty: none

    QTest::newRow("a folder that is there") << "out/a.mp3" << QStringList{"out"} << false << "";
    QTest::newRow("over an old file's name") << "a.mp3" << QStringList() << false << "";
    QTest::newRow("a folder that is not") << "nowhere/a.mp3" << QStringList() << false << "输出文件夹不存在";
    QTest::newRow("the MP3's name is a folder") << "a.mp3" << QStringList{"a.mp3"} << false << "是一个文件夹";
    QTest::newRow("the subtitles' name is a folder") << "a.mp3" << QStringList{"a.srt"} << false << "a.srt";
    QTest::newRow("the WAV's name is a folder") << "a.mp3" << QStringList{"a.wav"} << true << "a.wav";
    QTest::newRow("a folder named like the WAV, no WAV") << "a.mp3" << QStringList{"a.wav"} << false << "";
}

void TestCommandLine::checkOutput()
{
    QFETCH(QString, target);
    QFETCH(QStringList, folders);
    QFETCH(bool, wav);
    QFETCH(QString, problem);

    for (const QString &folder : folders)
        QVERIFY(QDir().mkpath(here(folder)));
    const QString found = CommandLine::checkOutput(here(target), wav);
    if (problem.isEmpty())
        QVERIFY2(found.isEmpty(), qPrintable(found));
    else
        QVERIFY2(found.contains(problem), qPrintable(found));
}

void TestCommandLine::moveSafely_data()
{
    QTest::addColumn<QByteArray>("source");  // null: none
    QTest::addColumn<QByteArray>("old");     // at the target before; null: none
    QTest::addColumn<bool>("folderThere");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("after");   // at the target after; null: none

    const QByteArray mp3(3 << 20, 'm'); // more than one chunk
    QTest::newRow("to a new name") << mp3 << QByteArray() << true << true << mp3;
    QTest::newRow("over an old file") << QByteArray("new") << QByteArray("old and longer") << true << true
                                      << QByteArray("new");
    QTest::newRow("an empty file") << QByteArray("") << QByteArray("old") << true << true << QByteArray("");
    QTest::newRow("no source: the old file stays") << QByteArray() << QByteArray("old") << true << false
                                                   << QByteArray("old");
    QTest::newRow("no folder: nothing written") << QByteArray("new") << QByteArray() << false << false
                                                << QByteArray();
}

void TestCommandLine::moveSafely()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, old);
    QFETCH(bool, folderThere);
    QFETCH(QByteArray, after);

    QVERIFY(QDir().mkpath(here("job")));
    if (folderThere)
        QVERIFY(QDir().mkpath(here("out")));
    const CommandLine::Move move{here("job/output.mp3"), here("out/a.mp3")};
    if (!source.isNull())
        writeFile(move.from, source);
    if (!old.isNull())
        writeFile(move.to, old);

    QString error;
    const bool ok = CommandLine::moveSafely(move, &error);
    QTEST(ok, "ok");
    QCOMPARE(error.isEmpty(), ok);
    QCOMPARE(QFileInfo::exists(move.to), !after.isNull());
    if (!after.isNull())
        QCOMPARE(readFile(move.to), after);
    // Moved means gone from the job folder; a failure takes nothing away.
    QCOMPARE(QFileInfo::exists(move.from), !ok && !source.isNull());
    // No temporary file is left beside the target.
    if (folderThere)
        QCOMPARE(QDir(here("out")).entryList(QDir::Files | QDir::Hidden),
                 after.isNull() ? QStringList() : QStringList{"a.mp3"});
}

void TestCommandLine::voiceLines_data()
{
    QTest::addColumn<QJsonArray>("records");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("a voice the picker names")
        << QJsonArray{record("zh-CN-XiaoxiaoNeural", "zh-CN")}
        << QStringList{"zh-CN-XiaoxiaoNeural\tzh-CN\t汉语(大陆)\t晓晓"};
    QTest::newRow("in the service's order")
        << QJsonArray{record("zh-TW-HsiaoChenNeural", "zh-TW"), record("zh-CN-YunxiNeural", "zh-CN", "Male")}
        << QStringList{"zh-TW-HsiaoChenNeural\tzh-TW\t汉语(台湾)\t晓臻", "zh-CN-YunxiNeural\tzh-CN\t汉语(大陆)\t云溪"};
    QTest::newRow("no nickname: its identifier")
        << QJsonArray{record("af-ZA-Male1", "af-ZA", "Male")}
        << QStringList{"af-ZA-Male1\taf-ZA\t南非荷兰语(南非)\taf-ZA-Male1"};
    QTest::newRow("a locale of no table row: its code")
        << QJsonArray{record("xx-YY-Voice", "xx-YY")} << QStringList{"xx-YY-Voice\txx-YY\txx-YY\txx-YY-Voice"};
    QTest::newRow("none") << QJsonArray() << QStringList();
}

void TestCommandLine::voiceLines()
{
    QFETCH(QJsonArray, records);
    QTEST(CommandLine::voiceLines(records), "lines");
}

void TestCommandLine::hasVoice_data()
{
    QTest::addColumn<QString>("voice");
    QTest::addColumn<bool>("known");

    QTest::newRow("listed") << "zh-CN-YunxiNeural" << true;
    QTest::newRow("first") << "zh-CN-XiaoxiaoNeural" << true;
    QTest::newRow("other case") << "zh-cn-xiaoxiaoneural" << false;
    QTest::newRow("the nickname is not an identifier") << "晓晓" << false;
    QTest::newRow("a locale is not a voice") << "zh-CN" << false;
}

void TestCommandLine::hasVoice()
{
    QFETCH(QString, voice);
    const QJsonArray records{record("zh-CN-XiaoxiaoNeural", "zh-CN"), record("zh-CN-YunxiNeural", "zh-CN", "Male")};
    QTEST(CommandLine::hasVoice(records, voice), "known");
    QVERIFY(!CommandLine::hasVoice(QJsonArray(), voice));
    const QString message = CommandLine::unknownVoiceMessage(voice);
    QVERIFY(message.contains(voice));
    QVERIFY(message.contains("--list-voices"));
}

void TestCommandLine::servicePort_data()
{
    QTest::addColumn<QByteArray>("value"); // null: unset
    QTest::addColumn<int>("port");

    QTest::newRow("unset: the program's") << QByteArray() << 5000;
    QTest::newRow("a port") << QByteArray("5871") << 5871;
    QTest::newRow("blanks around") << QByteArray(" 6000 ") << 6000;
    QTest::newRow("the highest") << QByteArray("65535") << 65535;
    QTest::newRow("zero") << QByteArray("0") << 5000;
    QTest::newRow("past the highest") << QByteArray("65536") << 5000;
    QTest::newRow("negative") << QByteArray("-1") << 5000;
    QTest::newRow("a word") << QByteArray("any") << 5000;
}

void TestCommandLine::servicePort()
{
    QFETCH(QByteArray, value);
    if (!value.isNull())
        qputenv("LUMO_SERVICE_PORT", value);
    QTEST(CommandLine::servicePort(), "port");
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
