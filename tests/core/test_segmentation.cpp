#include "ServiceContract.h"
#include "Segmentation.h"

#include <QtTest>

using Piece = QPair<QString, QString>; // text, voice
using Pieces = QList<Piece>;
Q_DECLARE_METATYPE(Pieces)

namespace {
const QString chooser = QStringLiteral("zh-CN-YunyangNeural");
const QString xiaoxiao = QStringLiteral("zh-CN-XiaoxiaoNeural");
const QString yunxi = QStringLiteral("zh-CN-YunxiNeural");
}

// Cutting the script into passages, and the plan around them: pure functions
// of the script and the settings.
class TestSegmentation : public QObject
{
    Q_OBJECT

private slots:
    void passages_data();
    void passages();
    void plan_data();
    void plan();
    void chooserTextWithoutVoice_data();
    void chooserTextWithoutVoice();
    void blankIsNeverSpeakable_data();
    void blankIsNeverSpeakable();
    void passagesInTheWholeScript_data();
    void passagesInTheWholeScript();
    void passagesIn_data();
    void passagesIn();
    void timelinePassages_data();
    void timelinePassages();
    void planOfACueScript();
    void listenRange_data();
    void listenRange();
    void planOfChosenPassages();

private:
    static Pieces piecesOf(const QVector<Passage> &passages);
};

Pieces TestSegmentation::piecesOf(const QVector<Passage> &passages)
{
    Pieces pieces;
    for (int i = 0; i < passages.size(); ++i) {
        // Numbered from 1 without gaps, whatever the stretch.
        if (passages[i].number != i + 1)
            return Pieces{{"misnumbered", QString::number(passages[i].number)}};
        pieces.append({passages[i].text, passages[i].voice});
    }
    return pieces;
}

void TestSegmentation::passages_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<Pieces>("expected");

    // Tags are written with nicknames (晓晓, 云溪) and come back as identifiers.
    QTest::newRow("worked example")
        << "Hello「晓晓」one「」two「云溪」three「」"
        << Pieces{{"Hello", chooser}, {"one", xiaoxiao}, {"two", chooser}, {"three", yunxi}};
    QTest::newRow("empty script") << "" << Pieces{};
    QTest::newRow("only line breaks and commas") << "\n\n，\n，，\n" << Pieces{};
    QTest::newRow("no tag: whole folded text, end markers kept")
        << "第一行\n\n第二行「」第三，，，行\n"
        << Pieces{{"第一行，第二行「」第三，行，", chooser}};
    QTest::newRow("end marker before the first tag stays in the text")
        << "a「」b「晓晓」c「」"
        << Pieces{{"a「」b", chooser}, {"c", xiaoxiao}};
    QTest::newRow("script starting with a tag") << "「晓晓」c「」" << Pieces{{"c", xiaoxiao}};
    QTest::newRow("tag without end marker runs to the next tag")
        << "「晓晓」a\nb「云溪」c"
        << Pieces{{"a，b", xiaoxiao}, {"c", yunxi}};
    QTest::newRow("tag without end marker runs to the end")
        << "x「云溪」y\n\nz" << Pieces{{"x", chooser}, {"y，z", yunxi}};
    QTest::newRow("piece that is only a line break is dropped")
        << "「晓晓」a「」\n「云溪」b「」\n"
        << Pieces{{"a", xiaoxiao}, {"b", yunxi}};
    // The service refuses a blank text: such a piece is skipped, and the
    // passages after it are numbered on without a gap.
    QTest::newRow("a single space between passages is skipped")
        << "「晓晓」a「」 「云溪」b「」"
        << Pieces{{"a", xiaoxiao}, {"b", yunxi}};
    QTest::newRow("blanks, tabs and wide spaces are skipped everywhere")
        << " \t「晓晓」　「」 \r 「云溪」b「」\t"
        << Pieces{{"b", yunxi}};
    QTest::newRow("a passage with a space inside keeps it")
        << "「晓晓」 a b 「」" << Pieces{{" a b ", xiaoxiao}};
    QTest::newRow("commas at the edges are kept")
        << "\n「晓晓」\na\n「」" << Pieces{{"，a，", xiaoxiao}};
    QTest::newRow("identifier and unknown names pass unchanged")
        << "「en-US-AriaNeural」a「」「无名氏」b"
        << Pieces{{"a", "en-US-AriaNeural"}, {"b", "无名氏"}};
    QTest::newRow("every piece after the first end marker goes to the chooser")
        << "「晓晓」a「」b「」c「」d「云溪」e"
        << Pieces{{"a", xiaoxiao}, {"b", chooser}, {"c", chooser}, {"d", chooser}, {"e", yunxi}};
    QTest::newRow("empty and comma pieces between end markers are skipped")
        << "「晓晓」a「」「」\n「」d"
        << Pieces{{"a", xiaoxiao}, {"d", chooser}};
    QTest::newRow("tagged passage that is empty yields nothing, its tail still does")
        << "「晓晓」「」b" << Pieces{{"b", chooser}};
    QTest::newRow("zh-TW nicknames")
        << "「晓臻」甲「」「云哲」乙「」「晓雨」丙「」"
        << Pieces{{"甲", "zh-TW-HsiaoChenNeural"}, {"乙", "zh-TW-YunJheNeural"}, {"丙", "zh-TW-HsiaoYuNeural"}};
}

void TestSegmentation::passages()
{
    QFETCH(QString, script);
    QFETCH(Pieces, expected);

    const QVector<Passage> passages = Segmentation::passages(script, chooser);

    QCOMPARE(passages.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(passages[i].number, i + 1);
        QCOMPARE(passages[i].text, expected[i].first);
        QCOMPARE(passages[i].voice, expected[i].second);
    }
}

void TestSegmentation::plan_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("volume");
    QTest::addColumn<QString>("rates");
    QTest::addColumn<QString>("volumes");

    QTest::newRow("zero") << 0 << 0 << "+0%" << "+0%";
    QTest::newRow("lowest and highest") << -100 << 100 << "-100%" << "+100%";
    QTest::newRow("mixed") << 25 << -5 << "+25%" << "-5%";
}

void TestSegmentation::plan()
{
    QFETCH(int, rate);
    QFETCH(int, volume);
    QFETCH(QString, rates);
    QFETCH(QString, volumes);

    Segmentation::Input input;
    input.script = "一「晓晓」二「」";
    input.rate = rate;
    input.volume = volume;
    input.pauseMs = 1500;
    input.chooserVoice = chooser;
    input.audioDir = "/w/audio/";
    input.startMsecs = 1681600000123;
    input.mode = JobMode::TryListen;
    const JobPlan plan = Segmentation::plan(input);

    QCOMPARE(plan.rates, rates);
    QCOMPARE(plan.volumes, volumes);
    QCOMPARE(plan.pauseMs, 1500);
    QCOMPARE(plan.mode, JobMode::TryListen);
    QCOMPARE(plan.folder, QString("/w/audio/1681600000123/"));
    QCOMPARE(plan.passages.size(), 2);
    QCOMPARE(plan.mediaPath(plan.passages[1]), QString("/w/audio/1681600000123/2.mp3"));
    QCOMPARE(plan.subtitlePath(plan.passages[1]), QString("/w/audio/1681600000123/2.srt"));
    QCOMPARE(plan.outputPath(), QString("/w/audio/1681600000123/output.mp3"));
    // What the plan sends is what the service reads back.
    QCOMPARE(contract::parsePercent(plan.rates.toStdString(), contract::rateMin, contract::rateMax).value_or(999), rate);
    QCOMPARE(contract::parsePercent(plan.volumes.toStdString(), contract::volumeMin, contract::volumeMax).value_or(999), volume);
}

void TestSegmentation::chooserTextWithoutVoice_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("voices");

    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("fully tagged") << "「晓晓」a「」\n「云溪」b「」\n" << QStringList{xiaoxiao, yunxi};
    QTest::newRow("text before a tag") << "a「晓晓」b" << QStringList{"", xiaoxiao};
    QTest::newRow("no tag") << "a" << QStringList{""};
    QTest::newRow("text after an end marker") << "「晓晓」a「」b" << QStringList{xiaoxiao, ""};
}

// Without a chooser voice, chooser text is left without one; the job refuses that.
void TestSegmentation::chooserTextWithoutVoice()
{
    QFETCH(QString, script);
    QFETCH(QStringList, voices);

    QStringList actual;
    for (const Passage &passage : Segmentation::passages(script, QString()))
        actual.append(passage.voice);
    QCOMPARE(actual, voices);
}

void TestSegmentation::blankIsNeverSpeakable_data()
{
    QTest::addColumn<QString>("piece");
    QTest::addColumn<bool>("speakable");

    QTest::newRow("empty") << "" << false;
    QTest::newRow("space") << " " << false;
    QTest::newRow("tab, CR, LF") << "\t\r\n" << false;
    QTest::newRow("ideographic space") << "　" << false;
    QTest::newRow("no-break space") << QString(QChar(0x00A0)) << false;
    QTest::newRow("lone comma") << "，" << false;
    QTest::newRow("comma and text") << "，a" << true;
    QTest::newRow("text with spaces") << " a " << true;
}

// Whatever the service takes for blank, the program does not send.
void TestSegmentation::blankIsNeverSpeakable()
{
    QFETCH(QString, piece);
    QFETCH(bool, speakable);

    QCOMPARE(Segmentation::isSpeakable(piece), speakable);
    if (contract::isBlankText(piece.toStdString()))
        QVERIFY(!Segmentation::isSpeakable(piece));
}

// Over the whole script a stretch is the script: every case of passages().
void TestSegmentation::passagesInTheWholeScript_data()
{
    passages_data();
}

void TestSegmentation::passagesInTheWholeScript()
{
    QFETCH(QString, script);
    QFETCH(Pieces, expected);

    QCOMPARE(piecesOf(Segmentation::passagesIn(script, {0, int(script.size())}, chooser)), expected);
    QCOMPARE(piecesOf(Segmentation::passagesIn(script, {0, int(script.size())}, chooser)),
             piecesOf(Segmentation::passages(script, chooser)));
}

void TestSegmentation::passagesIn_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<Pieces>("expected");

    // Hello 0-5, 「晓晓」 5-9, one 9-12, 「」 12-14, two 14-17, 「云溪」 17-21, three 21-26
    const QString worked = QStringLiteral("Hello「晓晓」one「」two「云溪」three");
    QTest::newRow("chooser text only") << worked << 0 << 5 << Pieces{{"Hello", chooser}};
    QTest::newRow("inside a tagged passage: the tag's voice") << worked << 10 << 12 << Pieces{{"ne", xiaoxiao}};
    QTest::newRow("across a tag and an end marker")
        << worked << 3 << 16 << Pieces{{"lo", chooser}, {"one", xiaoxiao}, {"tw", chooser}};
    QTest::newRow("part of a tag is no text") << worked << 6 << 10 << Pieces{{"o", xiaoxiao}};
    QTest::newRow("only a tag") << worked << 5 << 9 << Pieces{};
    QTest::newRow("only an end marker") << worked << 12 << 14 << Pieces{};
    QTest::newRow("half an end marker") << worked << 11 << 13 << Pieces{{"e", xiaoxiao}};
    QTest::newRow("a tag without end marker runs on") << worked << 22 << 26 << Pieces{{"hree", yunxi}};
    QTest::newRow("empty stretch") << worked << 4 << 4 << Pieces{};
    QTest::newRow("a line of several, folded")
        << QStringLiteral("第一行\n第二行\n第三行") << 4 << 7 << Pieces{{"第二行", chooser}};
    QTest::newRow("across a line break") << QStringLiteral("a\nb\nc") << 0 << 3 << Pieces{{"a，b", chooser}};
    QTest::newRow("an end marker before the first tag is text")
        << QStringLiteral("a「」b「晓晓」c") << 0 << 4 << Pieces{{"a「」b", chooser}};
    QTest::newRow("blank stretch") << QStringLiteral("「晓晓」a  b「」") << 5 << 7 << Pieces{};
    QTest::newRow("a stretch past the end") << QStringLiteral("「晓晓」ab") << 5 << 99 << Pieces{{"b", xiaoxiao}};
    // [00:00:01,000 --> 00:00:02,000] is 31 characters, its blank the 32nd.
    const QString cues = QStringLiteral("[00:00:01,000 --> 00:00:02,000] 你好\n[00:00:03,000 --> 00:00:04,000] 「晓晓」再见");
    QTest::newRow("a cue line's marker is not spoken") << cues << 0 << 34 << Pieces{{" 你好", chooser}};
    QTest::newRow("a stretch that starts inside a marker") << cues << 5 << 34 << Pieces{{" 你好", chooser}};
    QTest::newRow("across two cue lines")
        << cues << 0 << int(cues.size()) << Pieces{{" 你好，", chooser}, {"再见", xiaoxiao}};
    QTest::newRow("an unusable marker is not spoken either")
        << QStringLiteral("[00:00:09,000 --> 00:00:02,000] 错") << 0 << 33 << Pieces{{" 错", chooser}};
}

void TestSegmentation::passagesIn()
{
    QFETCH(QString, script);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(Pieces, expected);

    QCOMPARE(piecesOf(Segmentation::passagesIn(script, {from, to}, chooser)), expected);
}

void TestSegmentation::timelinePassages_data()
{
    // text, voice, cue, start, end of each passage; then the skipped lines
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("skipped");

    QTest::newRow("one passage per cue line, numbered by line")
        << QStringLiteral("[00:00:01,000 --> 00:00:02,500] 你好\n[00:00:03,000 --> 00:00:04,000] 再见")
        << QStringList{"你好|" + chooser + "|1|1000|2500", "再见|" + chooser + "|2|3000|4000"} << QStringList{};
    QTest::newRow("a cue line's tag gives its voice, the next line's is its own")
        << QStringLiteral("[00:00:01,000 --> 00:00:02,000] 「晓晓」甲：你好\n[00:00:03,000 --> 00:00:04,000] 「云溪」乙：好")
        << QStringList{"甲：你好|" + xiaoxiao + "|1|1000|2000", "乙：好|" + yunxi + "|2|3000|4000"} << QStringList{};
    QTest::newRow("a tag runs on to the next cue line as it does elsewhere")
        << QStringLiteral("[00:00:01,000 --> 00:00:02,000] 「晓晓」一\n[00:00:03,000 --> 00:00:04,000] 二「」")
        << QStringList{"一|" + xiaoxiao + "|1|1000|2000", "二|" + xiaoxiao + "|2|3000|4000"} << QStringList{};
    QTest::newRow("a line without a marker belongs to the cue before")
        << QStringLiteral("[00:00:01,000 --> 00:00:02,000] 第一句\n接着说\n\n[00:00:05,000 --> 00:00:06,000] 第二句")
        << QStringList{"第一句，接着说|" + chooser + "|1|1000|2000", "第二句|" + chooser + "|2|5000|6000"}
        << QStringList{};
    QTest::newRow("text before the first cue line starts at 0")
        << QStringLiteral("开场白\n[00:00:05,000 --> 00:00:06,000] 正文")
        << QStringList{"开场白|" + chooser + "|0|0|0", "正文|" + chooser + "|1|5000|6000"} << QStringList{};
    QTest::newRow("an unusable marker is skipped, its number kept")
        << QStringLiteral("[00:00:01,000 --> 00:00:02,000] 一\n[00:00:09,000 --> 00:00:03,000] 二\n后续\n"
                          "[00:00:10,000 --> 00:00:11,000] 三")
        << QStringList{"一|" + chooser + "|1|1000|2000", "三|" + chooser + "|3|10000|11000"}
        << QStringList{"第 2 行：字幕时间无法识别或结束早于开始，未配音"};
    QTest::newRow("a cue with nothing to say takes no passage")
        << QStringLiteral("[00:00:01,000 --> 00:00:02,000]\n[00:00:03,000 --> 00:00:04,000] 有话")
        << QStringList{"有话|" + chooser + "|2|3000|4000"} << QStringList{};
}

void TestSegmentation::timelinePassages()
{
    QFETCH(QString, script);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, skipped);

    QStringList skippedNow;
    QStringList got;
    int number = 0;
    for (const Passage &p : Segmentation::timelinePassages(script, chooser, &skippedNow)) {
        QCOMPARE(p.number, ++number);
        got.append(QStringLiteral("%1|%2|%3|%4|%5").arg(p.text, p.voice).arg(p.cue).arg(p.startMs).arg(p.endMs));
    }
    QCOMPARE(got, expected);
    QCOMPARE(skippedNow, skipped);
}

void TestSegmentation::planOfACueScript()
{
    Segmentation::Input input;
    input.chooserVoice = chooser;
    input.audioDir = "/tmp/audio/";
    input.writeWav = true;

    input.script = QStringLiteral("[00:00:01,000 --> 00:00:02,000] 你好\n[00:00:09,000 --> 00:00:03,000] 坏");
    JobPlan plan = Segmentation::plan(input);
    QVERIFY(plan.timeline);
    QVERIFY(plan.writeWav);
    QCOMPARE(plan.passages.size(), 1);
    QCOMPARE(plan.passages.first().text, QStringLiteral("你好"));
    QCOMPARE(plan.skipped.size(), 1);

    // A marker that cannot be used is never read out, even with no other cue.
    input.script = QStringLiteral("普通的一行\n[00:00:09,000 --> 00:00:03,000] 坏");
    plan = Segmentation::plan(input);
    QVERIFY(plan.timeline);
    QCOMPARE(plan.skipped.size(), 1);
    QCOMPARE(plan.passages.size(), 1);
    QCOMPARE(plan.passages.first().text, QStringLiteral("普通的一行"));

    input.script = QStringLiteral("普通的一行\n第二行");
    plan = Segmentation::plan(input);
    QVERIFY(!plan.timeline);
    QCOMPARE(plan.passages.first().cue, 0);
}

void TestSegmentation::listenRange_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");

    const QString lines = QStringLiteral("ab\ncd\nef");
    QTest::newRow("a selection") << lines << 1 << 4 << 1 << 4;
    QTest::newRow("a selection made backwards") << lines << 5 << 1 << 1 << 5;
    QTest::newRow("cursor in a middle line") << lines << 4 << 4 << 3 << 5;
    QTest::newRow("cursor at the start of a line") << lines << 3 << 3 << 3 << 5;
    QTest::newRow("cursor at the end of the first line") << lines << 2 << 2 << 0 << 2;
    QTest::newRow("cursor at the very start") << lines << 0 << 0 << 0 << 2;
    QTest::newRow("cursor at the very end") << lines << 8 << 8 << 6 << 8;
    QTest::newRow("an empty line") << QStringLiteral("a\n\nb") << 2 << 2 << 2 << 2;
    QTest::newRow("a paragraph separator") << QStringLiteral("ab") + QChar(QChar::ParagraphSeparator) + "cd" << 4 << 4
                                           << 3 << 5;
    QTest::newRow("a script of one line") << QStringLiteral("「晓晓」abc「」") << 6 << 6 << 0 << 9;
    QTest::newRow("an empty script") << QString() << 0 << 0 << 0 << 0;
}

void TestSegmentation::listenRange()
{
    QFETCH(QString, script);
    QFETCH(int, anchor);
    QFETCH(int, position);
    QFETCH(int, from);
    QFETCH(int, to);

    const Segmentation::Range range = Segmentation::listenRange(script, anchor, position);
    QCOMPARE(range.from, from);
    QCOMPARE(range.to, to);
}

void TestSegmentation::planOfChosenPassages()
{
    Segmentation::Input input;
    input.script = QStringLiteral("not read");
    input.rate = -20;
    input.volume = 10;
    input.pauseMs = 300;
    input.audioDir = "/w/audio/";
    input.startMsecs = 42;
    input.mode = JobMode::TryListen;
    const QVector<Passage> chosen{{1, QStringLiteral("重庆"), xiaoxiao, QStringLiteral("zhong4 qing4")}};
    const JobPlan plan = Segmentation::plan(input, chosen);

    QCOMPARE(plan.mode, JobMode::TryListen);
    QCOMPARE(plan.rates, QString("-20%"));
    QCOMPARE(plan.volumes, QString("+10%"));
    QCOMPARE(plan.pauseMs, 300);
    QCOMPARE(plan.folder, QString("/w/audio/42/"));
    QCOMPARE(plan.passages.size(), 1);
    QCOMPARE(plan.passages[0].text, QString("重庆"));
    QCOMPARE(plan.passages[0].reading, QString("zhong4 qing4"));
}

QTEST_GUILESS_MAIN(TestSegmentation)
#include "test_segmentation.moc"
