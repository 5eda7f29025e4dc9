#include "CueMarker.h"
#include "SubtitleImport.h"
#include "TagGrammar.h"

#include <QtTest>

// The cue marker a script line carries: written from imported cues, read back
// with its times and the line's text (voice tags and all), and found for the
// highlighter; never mistaken for a voice tag, nor a voice tag for it.
class TestCueMarker : public QObject
{
    Q_OBJECT

private slots:
    void formatTime_data();
    void formatTime();
    void read_data();
    void read();
    void cuesBecomeLinesAndReadBack_data();
    void cuesBecomeLinesAndReadBack();
    void voiceTagsAfterTheMarker_data();
    void voiceTagsAfterTheMarker();
    void markerRanges_data();
    void markerRanges();
    void hasCueLines_data();
    void hasCueLines();
};

void TestCueMarker::formatTime_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << qint64(0) << "00:00:00,000";
    QTest::newRow("every field") << qint64(3723456) << "01:02:03,456";
    QTest::newRow("milliseconds padded") << qint64(62005) << "00:01:02,005";
    QTest::newRow("past 99 hours") << qint64(360000000) << "100:00:00,000";
    QTest::newRow("negative is zero") << qint64(-5) << "00:00:00,000";
}

void TestCueMarker::formatTime()
{
    QFETCH(qint64, ms);
    QFETCH(QString, text);
    QCOMPARE(CueMarker::formatTime(ms), text);
    if (ms >= 0)
        QCOMPARE(SubtitleImport::parseTime(text), std::optional<qint64>(ms));
}

void TestCueMarker::read_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<qint64>("startMs");
    QTest::addColumn<qint64>("endMs");
    QTest::addColumn<int>("markerStart");
    QTest::addColumn<int>("markerLength");
    QTest::addColumn<QString>("text");

    const int none = int(CueMarker::Kind::None), valid = int(CueMarker::Kind::Valid),
              invalid = int(CueMarker::Kind::Invalid);
    QTest::newRow("an ordinary line") << "你好，世界" << none << qint64(-1) << qint64(-1) << -1 << 0 << "你好，世界";
    QTest::newRow("a marker and words")
        << "[00:01:02,500 --> 00:01:04,000] 你好" << valid << qint64(62500) << qint64(64000) << 0 << 31 << "你好";
    QTest::newRow("no blank after the marker")
        << "[00:00:01,000 --> 00:00:02,000]你好" << valid << qint64(1000) << qint64(2000) << 0 << 31 << "你好";
    QTest::newRow("blanks before the marker and after the words")
        << "  \t[00:00:01,000 --> 00:00:02,000]   Hi there  " << valid << qint64(1000) << qint64(2000) << 3 << 31
        << "Hi there";
    QTest::newRow("times as the user may type them")
        << "[0:00:01.5-->0:00:03] x" << valid << qint64(1500) << qint64(3000) << 0 << 21 << "x";
    QTest::newRow("a voice tag after the marker")
        << "[00:00:01,000 --> 00:00:02,000] 「云溪」你好「」" << valid << qint64(1000) << qint64(2000) << 0 << 31
        << "「云溪」你好「」";
    QTest::newRow("the marker alone") << "[00:00:01,000 --> 00:00:02,000]" << valid << qint64(1000) << qint64(2000) << 0
                                      << 31 << "";
    QTest::newRow("zero length") << "[00:00:01,000 --> 00:00:01,000] a" << valid << qint64(1000) << qint64(1000) << 0
                                 << 31 << "a";
    QTest::newRow("a time typed wrong") << "[00:00:0x,000 --> 00:00:02,000] 你好" << invalid << qint64(-1)
                                        << qint64(2000) << 0 << 31 << "你好";
    QTest::newRow("end before start") << "[00:00:03,000 --> 00:00:02,000] 你好" << invalid << qint64(3000)
                                      << qint64(2000) << 0 << 31 << "你好";
    QTest::newRow("an empty end") << "[00:00:03,000 -->] 你好" << invalid << qint64(3000) << qint64(-1) << 0 << 18
                                  << "你好";
    QTest::newRow("a bracket without arrow is words")
        << "[旁白] 从前有座山" << none << qint64(-1) << qint64(-1) << -1 << 0 << "[旁白] 从前有座山";
    QTest::newRow("a marker later in the line is words")
        << "你好 [00:00:01,000 --> 00:00:02,000]" << none << qint64(-1) << qint64(-1) << -1 << 0
        << "你好 [00:00:01,000 --> 00:00:02,000]";
    QTest::newRow("a voice tag before the marker: the marker leads or is none")
        << "「云溪」[00:00:01,000 --> 00:00:02,000] 你好" << none << qint64(-1) << qint64(-1) << -1 << 0
        << "「云溪」[00:00:01,000 --> 00:00:02,000] 你好";
    QTest::newRow("an unclosed bracket") << "[00:00:01,000 --> 00:00:02,000 你好" << none << qint64(-1) << qint64(-1)
                                         << -1 << 0 << "[00:00:01,000 --> 00:00:02,000 你好";
    QTest::newRow("a second marker is words")
        << "[00:00:01,000 --> 00:00:02,000] [00:00:03,000 --> 00:00:04,000] a" << valid << qint64(1000)
        << qint64(2000) << 0 << 31 << "[00:00:03,000 --> 00:00:04,000] a";
}

void TestCueMarker::read()
{
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(qint64, startMs);
    QFETCH(qint64, endMs);
    QFETCH(int, markerStart);
    QFETCH(int, markerLength);
    QFETCH(QString, text);

    const CueMarker::Line read = CueMarker::read(line);
    QCOMPARE(int(read.kind), kind);
    QCOMPARE(read.startMs, startMs);
    QCOMPARE(read.endMs, endMs);
    QCOMPARE(read.markerStart, markerStart);
    QCOMPARE(read.markerLength, markerLength);
    QCOMPARE(read.text, text);
    if (read.kind != CueMarker::Kind::None)
        QCOMPARE(line.mid(markerStart, markerLength).back(), QLatin1Char(']'));
}

void TestCueMarker::cuesBecomeLinesAndReadBack_data()
{
    QTest::addColumn<QString>("srt");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("texts"); // what reading each line back gives

    QTest::newRow("cues in time order, one line each")
        << "2\n00:00:05,500 --> 00:00:07,250\n世界\n\n1\n00:00:01,000 --> 00:00:04,000\n<i>你好</i>\n吗\n"
        << QStringList{"[00:00:01,000 --> 00:00:04,000] 你好 吗", "[00:00:05,500 --> 00:00:07,250] 世界"}
        << QStringList{"你好 吗", "世界"};
    // Corner brackets are quotation marks in subtitles, voice tags in a script.
    QTest::newRow("quotation marks that would be tags")
        << "1\n01:00:00,000 --> 01:00:02,000\n他说「走吧」\n"
        << QStringList{"[01:00:00,000 --> 01:00:02,000] 他说『走吧』"} << QStringList{"他说『走吧』"};
    QTest::newRow("an empty end marker in the words")
        << "1\n00:00:01,000 --> 00:00:02,000\n「」\n"
        << QStringList{"[00:00:01,000 --> 00:00:02,000] 『』"} << QStringList{"『』"};
}

void TestCueMarker::cuesBecomeLinesAndReadBack()
{
    QFETCH(QString, srt);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, texts);

    const SubtitleImport::Result imported = SubtitleImport::parseSrt(srt);
    const QStringList written = CueMarker::scriptLines(imported.cues);
    QCOMPARE(written, lines);
    for (int i = 0; i < written.size(); ++i) {
        const CueMarker::Line back = CueMarker::read(written[i]);
        QCOMPARE(back.kind, CueMarker::Kind::Valid);
        QCOMPARE(back.startMs, imported.cues[i].startMs);
        QCOMPARE(back.endMs, imported.cues[i].endMs);
        QCOMPARE(back.text, texts[i]);
        QVERIFY2(!TagGrammar::findTag(written[i]).found(), qPrintable(written[i]));
        QCOMPARE(TagGrammar::lastEndMarker(written[i]), -1);
    }
}

void TestCueMarker::voiceTagsAfterTheMarker_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("tagStart"); // in the whole line
    QTest::addColumn<QString>("voice");

    QTest::newRow("one speaker") << "[00:00:01,000 --> 00:00:02,000] 「云溪」你好「」" << 32 << "云溪";
    QTest::newRow("tag right after the marker") << "[00:00:01,000 --> 00:00:02,000]「晓晓」Hi「」" << 31 << "晓晓";
    QTest::newRow("words, then a tag") << "[00:00:01,000 --> 00:00:02,000] 旁白「晓晓」Hi「」" << 34 << "晓晓";
}

// A tag on a cue line is where the tag grammar finds it in the whole line,
// and the same tag in the text read back; the marker adds no tag of its own.
void TestCueMarker::voiceTagsAfterTheMarker()
{
    QFETCH(QString, line);
    QFETCH(int, tagStart);
    QFETCH(QString, voice);

    const TagGrammar::Tag inLine = TagGrammar::findTag(line);
    QCOMPARE(inLine.start, tagStart);
    QCOMPARE(inLine.voice, voice);
    const CueMarker::Line read = CueMarker::read(line);
    QCOMPARE(read.kind, CueMarker::Kind::Valid);
    const TagGrammar::Tag inText = TagGrammar::findTag(read.text);
    QCOMPARE(inText.voice, voice);
    QCOMPARE(read.text.mid(inText.start), line.mid(inLine.start));
    QVERIFY(read.markerStart + read.markerLength <= inLine.start);
}

void TestCueMarker::markerRanges_data()
{
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("ranges"); // "start+length valid|bad", blank-separated

    QTest::newRow("none") << "你好「晓晓」x「」" << "";
    QTest::newRow("a valid marker") << "[00:00:01,000 --> 00:00:02,000] x" << "0+31 valid";
    QTest::newRow("indented") << "  [00:00:01,000 --> 00:00:02,000] x" << "2+31 valid";
    QTest::newRow("a broken one, to be shown as such") << "[00:00:09,000 --> 00:00:02,000] x" << "0+31 bad";
    QTest::newRow("words in brackets") << "[旁白] x" << "";
}

void TestCueMarker::markerRanges()
{
    QFETCH(QString, block);
    QFETCH(QString, ranges);
    QStringList got;
    for (const CueMarker::Range &r : CueMarker::markerRanges(block))
        got << QStringLiteral("%1+%2 %3").arg(r.start).arg(r.length).arg(r.valid ? "valid" : "bad");
    QCOMPARE(got.join(' '), ranges);
}

void TestCueMarker::hasCueLines_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("timed");

    QTest::newRow("plain script") << "第一行\n第二行" << false;
    QTest::newRow("one cue line among others") << "标题\n[00:00:01,000 --> 00:00:02,000] 你好\n" << true;
    QTest::newRow("CRLF") << "标题\r\n[00:00:01,000 --> 00:00:02,000] 你好" << true;
    QTest::newRow("only broken markers") << "[00:00:03,000 --> 00:00:02,000] 你好" << false;
    QTest::newRow("empty") << "" << false;
}

void TestCueMarker::hasCueLines()
{
    QFETCH(QString, script);
    QFETCH(bool, timed);
    QCOMPARE(CueMarker::hasCueLines(script), timed);
}

QTEST_GUILESS_MAIN(TestCueMarker)
#include "test_cuemarker.moc"
