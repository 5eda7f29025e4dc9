#include "SubtitleImport.h"

#include <QtTest>

using namespace SubtitleImport;

// Subtitle files as they come from the field, read into cues: encodings, line
// ends, numbering, styling, and the cues that must be skipped or reported.
class TestSubtitleImport : public QObject
{
    Q_OBJECT

private slots:
    void decodeText_data();
    void decodeText();
    void parseTime_data();
    void parseTime();
    void srt_data();
    void srt();
    void vtt_data();
    void vtt();
    void lrc_data();
    void lrc();
    void readFile_data();
    void readFile();
    void describe_data();
    void describe();

private:
    void addParseColumns();
    void checkParse(Format format);
};

namespace {

// "id@line|start|end|text", one per cue.
QStringList cueSummary(const QVector<Cue> &cues)
{
    QStringList out;
    for (const Cue &c : cues)
        out << QStringLiteral("%1@%2|%3|%4|%5").arg(c.id).arg(c.line).arg(c.startMs).arg(c.endMs).arg(c.text);
    return out;
}

// "time:id@line", "order:…", "empty:…"; overlaps "id@line<otherId@otherLine".
QStringList issueSummary(const QVector<Issue> &issues)
{
    QStringList out;
    for (const Issue &i : issues) {
        const QString who = QStringLiteral("%1@%2").arg(i.id).arg(i.line);
        switch (i.problem) {
        case Problem::UnreadableTime:
            out << QStringLiteral("time:") + who;
            break;
        case Problem::EndBeforeStart:
            out << QStringLiteral("order:") + who;
            break;
        case Problem::NoText:
            out << QStringLiteral("empty:") + who;
            break;
        case Problem::Overlap:
            out << who + QStringLiteral("<%1@%2").arg(i.otherId).arg(i.otherLine);
            break;
        }
    }
    return out;
}

} // namespace

void TestSubtitleImport::decodeText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("UTF-8") << QByteArray("\xE4\xBD\xA0\xE5\xA5\xBD") << QString::fromUtf8("你好");
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF\xE4\xBD\xA0\xE5\xA5\xBD") << QString::fromUtf8("你好");
    QTest::newRow("UTF-16LE with BOM") << QByteArray("\xFF\xFE\x60\x4F\x7D\x59", 6) << QString::fromUtf8("你好");
    QTest::newRow("UTF-16BE with BOM") << QByteArray("\xFE\xFF\x4F\x60\x59\x7D", 6) << QString::fromUtf8("你好");
    QTest::newRow("UTF-16LE line end") << QByteArray("\xFF\xFE" "1\0\r\0\n\0", 8) << QStringLiteral("1\r\n");
    QTest::newRow("GB18030 (GBK range)") << QByteArray("\xC4\xE3\xBA\xC3\xD7\xD6\xC4\xBB") << QString::fromUtf8("你好字幕");
    QTest::newRow("GB18030 with ASCII around") << QByteArray("1\r\n\xC4\xE3\xBA\xC3!") << QString::fromUtf8("1\r\n你好!");
    QTest::newRow("ASCII") << QByteArray("Hello\n") << QStringLiteral("Hello\n");
}

void TestSubtitleImport::decodeText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(SubtitleImport::decodeText(bytes), text);
}

void TestSubtitleImport::parseTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("ms"); // -1: unreadable

    QTest::newRow("SRT") << "01:02:03,456" << qint64(3723456);
    QTest::newRow("dot") << "00:00:01.500" << qint64(1500);
    QTest::newRow("one hour digit") << "1:00:00,000" << qint64(3600000);
    QTest::newRow("three hour digits") << "100:00:00,000" << qint64(360000000);
    QTest::newRow("no hours (WebVTT)") << "02:03.004" << qint64(123004);
    QTest::newRow("a tenth") << "00:00:01,5" << qint64(1500);
    QTest::newRow("hundredths") << "00:00:01,25" << qint64(1250);
    QTest::newRow("no milliseconds") << "00:00:02" << qint64(2000);
    QTest::newRow("blanks around") << "  00:00:02,000 " << qint64(2000);
    QTest::newRow("minutes past 59") << "00:60:00,000" << qint64(-1);
    QTest::newRow("seconds past 59") << "00:00:60,000" << qint64(-1);
    QTest::newRow("a letter") << "00:00:0x,000" << qint64(-1);
    QTest::newRow("four fraction digits") << "00:00:01,0000" << qint64(-1);
    QTest::newRow("seconds alone") << "12,000" << qint64(-1);
    QTest::newRow("empty") << "" << qint64(-1);
    QTest::newRow("negative") << "-00:00:01,000" << qint64(-1);
}

void TestSubtitleImport::parseTime()
{
    QFETCH(QString, text);
    QFETCH(qint64, ms);
    const auto parsed = SubtitleImport::parseTime(text);
    QCOMPARE(parsed.has_value(), ms >= 0);
    if (parsed)
        QCOMPARE(*parsed, ms);
}

void TestSubtitleImport::addParseColumns()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("cues");
    QTest::addColumn<QStringList>("skipped");
    QTest::addColumn<QStringList>("overlaps");
}

void TestSubtitleImport::checkParse(Format format)
{
    QFETCH(QString, text);
    QFETCH(QStringList, cues);
    QFETCH(QStringList, skipped);
    QFETCH(QStringList, overlaps);
    const Result result = parse(text, format);
    QCOMPARE(cueSummary(result.cues), cues);
    QCOMPARE(issueSummary(result.skipped), skipped);
    QCOMPARE(issueSummary(result.overlaps), overlaps);
}

void TestSubtitleImport::srt_data()
{
    addParseColumns();
    const QStringList none;
    const QString two = QStringLiteral("1\n00:00:01,000 --> 00:00:04,000\n你好\n\n2\n00:00:05,500 --> 00:00:07,250\n世界\n");
    const QStringList twoCues = {"1@1|1000|4000|你好", "2@5|5500|7250|世界"};

    QTest::newRow("two cues") << two << twoCues << none << none;
    QTest::newRow("CRLF, no line end at the end")
        << QStringLiteral("1\r\n00:00:01,000 --> 00:00:04,000\r\n你好\r\n\r\n2\r\n00:00:05,500 --> 00:00:07,250\r\n世界")
        << twoCues << none << none;
    QTest::newRow("CR alone") << QString(two).replace('\n', '\r') << twoCues << none << none;
    QTest::newRow("a BOM left in the text") << QChar(0xFEFF) + two << twoCues << none << none;
    QTest::newRow("blank lines of spaces, more than one between cues")
        << QStringLiteral("\n\n  1  \n00:00:01,000 --> 00:00:04,000\n你好   \n \t \n\n\n2\n00:00:05,500 --> 00:00:07,250\n世界\n\n\n")
        << QStringList{"1@3|1000|4000|你好", "2@9|5500|7250|世界"} << none << none;
    QTest::newRow("no numbers")
        << QStringLiteral("00:00:01,000 --> 00:00:02,000\nA\n\n00:00:03,000 --> 00:00:04,000\nB")
        << QStringList{"@1|1000|2000|A", "@4|3000|4000|B"} << none << none;
    QTest::newRow("numbers out of order, times in order")
        << QStringLiteral("3\n00:00:01,000 --> 00:00:02,000\nA\n\n1\n00:00:03,000 --> 00:00:04,000\nB\n\n2\n00:00:05,000 --> 00:00:06,000\nC\n")
        << QStringList{"3@1|1000|2000|A", "1@5|3000|4000|B", "2@9|5000|6000|C"} << none << none;
    QTest::newRow("times out of order are sorted")
        << QStringLiteral("1\n00:00:10,000 --> 00:00:11,000\nlater\n\n2\n00:00:05,000 --> 00:00:06,000\nsooner\n")
        << QStringList{"2@5|5000|6000|sooner", "1@1|10000|11000|later"} << none << none;
    QTest::newRow("a cue of two lines")
        << QStringLiteral("1\n00:00:01,000 --> 00:00:03,000\nFirst line,\nsecond line.\n")
        << QStringList{"1@1|1000|3000|First line, second line."} << none << none;
    QTest::newRow("Chinese cue of two lines")
        << QStringLiteral("1\n00:00:01,000 --> 00:00:03,000\n我们走吧\n天黑了\n")
        << QStringList{"1@1|1000|3000|我们走吧 天黑了"} << none << none;
    QTest::newRow("styling")
        << QStringLiteral("1\n00:00:01,000 --> 00:00:02,000\n<i>Hello</i> <b>there</b>\n\n"
                          "2\n00:00:03,000 --> 00:00:04,000\n<font color=\"#ffff00\">黄色</font>的<u>字</u>\n\n"
                          "3\n00:00:05,000 --> 00:00:06,000\n{\\an8}顶部{\\i1}斜体{\\i0}\n\n"
                          "4\n00:00:07,000 --> 00:00:08,000\n第一行\\N第二行\n")
        << QStringList{"1@1|1000|2000|Hello there", "2@5|3000|4000|黄色的字", "3@9|5000|6000|顶部斜体",
                       "4@13|7000|8000|第一行 第二行"}
        << none << none;
    QTest::newRow("angle brackets that are no tags stay")
        << QStringLiteral("1\n00:00:01,000 --> 00:00:02,000\n1 < 2 > 0\n")
        << QStringList{"1@1|1000|2000|1 < 2 > 0"} << none << none;
    QTest::newRow("dots, one hour digit, short fractions")
        << QStringLiteral("1\n0:00:01.5 --> 0:00:02.25\nA\n")
        << QStringList{"1@1|1500|2250|A"} << none << none;
    QTest::newRow("arrow without blanks, position after the time")
        << QStringLiteral("1\n00:00:01,000-->00:00:02,000  X1:100 X2:200 Y1:10 Y2:20\nA\n")
        << QStringList{"1@1|1000|2000|A"} << none << none;
    QTest::newRow("no blank line between cues")
        << QStringLiteral("1\n00:00:01,000 --> 00:00:02,000\nA\n2\n00:00:03,000 --> 00:00:04,000\nB\n00:00:05,000 --> 00:00:06,000\nC\n")
        << QStringList{"1@1|1000|2000|A", "2@4|3000|4000|B", "@7|5000|6000|C"} << none << none;
    QTest::newRow("unreadable time: skipped by its number, the rest imported")
        << QStringLiteral("1\n00:00:01,000 --> 00:00:02,000\nA\n\n2\n00:00:0x,000 --> 00:00:05,000\nB\n\n3\n00:00:06,000 --> 00:00:07,000\nC\n")
        << QStringList{"1@1|1000|2000|A", "3@9|6000|7000|C"} << QStringList{"time:2@5"} << none;
    QTest::newRow("minutes past 59")
        << QStringLiteral("12\n00:61:00,000 --> 00:62:00,000\nA\n")
        << none << QStringList{"time:12@1"} << none;
    QTest::newRow("a time line without its arrow")
        << QStringLiteral("7\n00:00:01,000 00:00:02,000\nX\n\n8\n00:00:03,000 --> 00:00:04,000\nY\n")
        << QStringList{"8@5|3000|4000|Y"} << QStringList{"time:7@1"} << none;
    QTest::newRow("a missing end time")
        << QStringLiteral("4\n00:00:01,000 -->\nX\n")
        << none << QStringList{"time:4@1"} << none;
    QTest::newRow("end before start")
        << QStringLiteral("5\n00:00:09,000 --> 00:00:08,000\nX\n\n6\n00:00:10,000 --> 00:00:11,000\nY\n")
        << QStringList{"6@5|10000|11000|Y"} << QStringList{"order:5@1"} << none;
    QTest::newRow("a cue with no words")
        << QStringLiteral("1\n00:00:01,000 --> 00:00:02,000\n{\\an8}<i></i>\n\n2\n00:00:03,000 --> 00:00:04,000\n\n3\n00:00:05,000 --> 00:00:06,000\nZ\n")
        << QStringList{"3@8|5000|6000|Z"} << QStringList{"empty:1@1", "empty:2@5"} << none;
    QTest::newRow("overlapping cues kept and reported")
        << QStringLiteral("1\n00:00:01,000 --> 00:00:04,000\nA\n\n2\n00:00:03,000 --> 00:00:05,000\nB\n\n3\n00:00:04,500 --> 00:00:06,000\nC\n\n4\n00:00:06,000 --> 00:00:07,000\nD\n")
        << QStringList{"1@1|1000|4000|A", "2@5|3000|5000|B", "3@9|4500|6000|C", "4@13|6000|7000|D"} << none
        << QStringList{"2@5<1@1", "3@9<2@5"};
    QTest::newRow("a cue inside a long one overlaps the long one")
        << QStringLiteral("1\n00:00:01,000 --> 00:00:10,000\nA\n\n2\n00:00:02,000 --> 00:00:03,000\nB\n\n3\n00:00:04,000 --> 00:00:05,000\nC\n")
        << QStringList{"1@1|1000|10000|A", "2@5|2000|3000|B", "3@9|4000|5000|C"} << none
        << QStringList{"2@5<1@1", "3@9<1@1"};
    QTest::newRow("hours past 99")
        << QStringLiteral("1\n100:00:00,000 --> 100:00:01,000\nA\n")
        << QStringList{"1@1|360000000|360001000|A"} << none << none;
    QTest::newRow("nothing but blanks") << QStringLiteral("\n \n\n") << none << none << none;
}

void TestSubtitleImport::srt()
{
    checkParse(Format::Srt);
}

void TestSubtitleImport::vtt_data()
{
    addParseColumns();
    const QStringList none;
    QTest::newRow("header, note, style, identifiers, settings, voices and entities")
        << QStringLiteral("WEBVTT - 标题\n\nNOTE a comment\nspanning two lines\n\nSTYLE\n::cue { color: yellow }\n\n"
                          "intro\n00:01.000 --> 00:04.000 align:start position:10%\n<v Roger>Hello &amp; welcome</v>\n\n"
                          "00:00:05.000 --> 00:00:06.500\n<c.yellow>黄色</c> <i>字</i>\n\n"
                          "3\n00:00:07.000 --> 00:00:08.000\n1 &lt; 2&nbsp;!\n")
        << QStringList{"intro@9|1000|4000|Hello & welcome", "@13|5000|6500|黄色 字", "3@16|7000|8000|1 < 2 !"} << none
        << none;
    QTest::newRow("word times")
        << QStringLiteral("WEBVTT\n\n00:01.000 --> 00:03.000\n<00:01.000>你<00:01.500>好\n")
        << QStringList{"@3|1000|3000|你好"} << none << none;
    QTest::newRow("CRLF")
        << QStringLiteral("WEBVTT\r\n\r\n00:01.000 --> 00:03.000\r\nA\r\nB\r\n")
        << QStringList{"@3|1000|3000|A B"} << none << none;
    QTest::newRow("unreadable time, end before start")
        << QStringLiteral("WEBVTT\n\n2\n00:0x.000 --> 00:04.000\nX\n\nc1\n00:05.000 --> 00:04.000\nY\n\n00:06.000 --> 00:07.000\nZ\n")
        << QStringList{"@11|6000|7000|Z"} << QStringList{"time:2@3", "order:c1@7"} << none;
    QTest::newRow("overlap")
        << QStringLiteral("WEBVTT\n\na\n00:01.000 --> 00:04.000\nA\n\nb\n00:02.000 --> 00:05.000\nB\n")
        << QStringList{"a@3|1000|4000|A", "b@7|2000|5000|B"} << none << QStringList{"b@7<a@3"};
}

void TestSubtitleImport::vtt()
{
    checkParse(Format::Vtt);
}

void TestSubtitleImport::lrc_data()
{
    addParseColumns();
    const QStringList none;
    QTest::newRow("each line ends where the next begins; a bare time ends the last")
        << QStringLiteral("[ti:歌名]\n[ar:歌手]\n[00:01.00]第一句\n[00:04.50]第二句\n[00:08.00]\n")
        << QStringList{"@3|1000|4500|第一句", "@4|4500|8000|第二句"} << none << none;
    QTest::newRow("several times on one line, the last lasting the default")
        << QStringLiteral("[00:01.00][00:10.00]副歌\n[00:05.00]主歌\n")
        << QStringList{"@1|1000|5000|副歌", "@2|5000|10000|主歌", "@1|10000|15000|副歌"} << none << none;
    QTest::newRow("offset shows the words sooner")
        << QStringLiteral("[offset:+500]\n[00:01.00]a\n[00:02.00]b\n")
        << QStringList{"@2|500|1500|a", "@3|1500|6500|b"} << none << none;
    QTest::newRow("three fraction digits, a colon before the fraction, minutes past 59")
        << QStringLiteral("[00:01.250]a\n[00:02:50]b\n[75:00.00]c\n")
        << QStringList{"@1|1250|2500|a", "@2|2500|4500000|b", "@3|4500000|4505000|c"} << none << none;
    QTest::newRow("unreadable time reported by its line")
        << QStringLiteral("[00:01.00]a\n[00:0x.00]b\n[00:75.00]c\n[00:03.00]d\n")
        << QStringList{"@1|1000|3000|a", "@4|3000|8000|d"} << QStringList{"time:@2", "time:@3"} << none;
    QTest::newRow("word times and styling stripped, brackets in the words kept")
        << QStringLiteral("[00:01.00]<00:01.00>你<00:01.50>好\n[00:02.00][笑] <i>好</i>\n")
        << QStringList{"@1|1000|2000|你好", "@2|2000|7000|[笑] 好"} << none << none;
    QTest::newRow("CRLF and a BOM")
        << QChar(0xFEFF) + QStringLiteral("[00:01.00]a\r\n[00:02.00]b\r\n")
        << QStringList{"@1|1000|2000|a", "@2|2000|7000|b"} << none << none;
    QTest::newRow("two lines at one time overlap")
        << QStringLiteral("[00:01.00]a\n[00:01.00]b\n[00:03.00]c\n")
        << QStringList{"@1|1000|3000|a", "@2|1000|3000|b", "@3|3000|8000|c"} << none << QStringList{"@2<@1"};
}

void TestSubtitleImport::lrc()
{
    checkParse(Format::Lrc);
}

void TestSubtitleImport::readFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("cues");
    QTest::addColumn<bool>("readable");

    // "1\r\n00:00:01,000 --> 00:00:02,000\r\n你好\r\n" in UTF-16LE with its BOM.
    QByteArray utf16("\xFF\xFE", 2);
    for (QChar c : QString::fromUtf8("1\r\n00:00:01,000 --> 00:00:02,000\r\n你好\r\n")) {
        utf16.append(char(c.unicode() & 0xFF));
        utf16.append(char(c.unicode() >> 8));
    }
    QTest::newRow("UTF-16LE with BOM, CRLF") << "a.srt" << utf16 << QStringList{"1@1|1000|2000|你好"} << true;
    QTest::newRow("GB18030, upper-case suffix")
        << "b.SRT" << QByteArray("1\n00:00:01,000 --> 00:00:02,000\n\xC4\xE3\xBA\xC3\n")
        << QStringList{"1@1|1000|2000|你好"} << true;
    QTest::newRow("UTF-8 WebVTT with BOM")
        << "c.vtt" << QByteArray("\xEF\xBB\xBFWEBVTT\n\n00:01.000 --> 00:02.000\n\xE5\xA5\xBD\n")
        << QStringList{"@3|1000|2000|好"} << true;
    QTest::newRow("LRC") << "d.lrc" << QByteArray("[00:01.00]a\n") << QStringList{"@1|1000|6000|a"} << true;
    QTest::newRow("not a subtitle type") << "e.txt" << QByteArray("[00:01.00]a\n") << QStringList{} << false;
    QTest::newRow("missing file") << "f.srt" << QByteArray() << QStringList{} << false;
}

void TestSubtitleImport::readFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, cues);
    QFETCH(bool, readable);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(name);
    if (!bytes.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    Result result;
    QString error;
    QCOMPARE(SubtitleImport::readFile(path, result, error), readable);
    QCOMPARE(error.isEmpty(), readable);
    if (!readable)
        QVERIFY2(error.contains(name), qPrintable(error));
    QCOMPARE(cueSummary(result.cues), cues);
}

void TestSubtitleImport::describe_data()
{
    QTest::addColumn<int>("problem");
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("otherId");
    QTest::addColumn<int>("otherLine");
    QTest::addColumn<QString>("message");

    QTest::newRow("unreadable, numbered") << int(Problem::UnreadableTime) << "12" << 48 << "" << 0
                                          << "字幕 12（第 48 行）：时间无法识别，已跳过";
    QTest::newRow("unreadable, unnumbered") << int(Problem::UnreadableTime) << "" << 7 << "" << 0
                                            << "第 7 行的字幕：时间无法识别，已跳过";
    QTest::newRow("end before start") << int(Problem::EndBeforeStart) << "5" << 1 << "" << 0
                                      << "字幕 5（第 1 行）：结束时间早于开始时间，已跳过";
    QTest::newRow("no words") << int(Problem::NoText) << "intro" << 3 << "" << 0
                              << "字幕 intro（第 3 行）：没有文字，已跳过";
    QTest::newRow("overlap") << int(Problem::Overlap) << "13" << 52 << "12" << 48
                             << "字幕 13（第 52 行）与字幕 12（第 48 行）的时间重叠";
    QTest::newRow("overlap, unnumbered") << int(Problem::Overlap) << "" << 2 << "" << 1
                                         << "第 2 行的字幕与第 1 行的字幕的时间重叠";
}

void TestSubtitleImport::describe()
{
    QFETCH(int, problem);
    QFETCH(QString, id);
    QFETCH(int, line);
    QFETCH(QString, otherId);
    QFETCH(int, otherLine);
    QFETCH(QString, message);
    Issue issue;
    issue.problem = Problem(problem);
    issue.id = id;
    issue.line = line;
    issue.otherId = otherId;
    issue.otherLine = otherLine;
    QCOMPARE(SubtitleImport::describe(issue), message);
}

QTEST_GUILESS_MAIN(TestSubtitleImport)
#include "test_subtitleimport.moc"
