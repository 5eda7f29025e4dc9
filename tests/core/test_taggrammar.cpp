#include "Segmentation.h"
#include "TagGrammar.h"
#include "TagRules.h"
#include "VoiceNaming.h"

#include <QtTest>

// The one voice tag grammar, and the three places that read it agreeing on
// what a tag written by the editor means.
class TestTagGrammar : public QObject
{
    Q_OBJECT

private slots:
    void findTag_data();
    void findTag();
    void lastMarks_data();
    void lastMarks();
    void taggable_data();
    void taggable();
    void passagesOfOneLine_data();
    void passagesOfOneLine();
    void writtenTagIsReadBackEverywhere_data();
    void writtenTagIsReadBackEverywhere();
};

void TestTagGrammar::findTag_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("voice");

    QTest::newRow("a tag") << "ab「晓晓」c" << 0 << 2 << 6 << "晓晓";
    QTest::newRow("the end marker is no tag") << "a「」b" << 0 << -1 << -1 << "";
    QTest::newRow("end marker then tag") << "「」「云溪」" << 0 << 2 << 6 << "云溪";
    QTest::newRow("searched from a position") << "「a」「b」" << 1 << 3 << 6 << "b";
    QTest::newRow("an open bracket inside the voice") << "「「a」" << 0 << 0 << 4 << "「a";
    QTest::newRow("no closing bracket") << "「晓晓" << 0 << -1 << -1 << "";
    QTest::newRow("a voice across a line break") << "「a\nb」" << 0 << 0 << 5 << "a\nb";
}

void TestTagGrammar::findTag()
{
    QFETCH(QString, text);
    QFETCH(int, from);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QString, voice);

    const TagGrammar::Tag tag = TagGrammar::findTag(text, from);
    QCOMPARE(tag.found(), start >= 0);
    QCOMPARE(tag.start, start);
    QCOMPARE(tag.end, end);
    QCOMPARE(tag.voice, voice);
}

void TestTagGrammar::lastMarks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lastTag");
    QTest::addColumn<int>("lastEnd");

    QTest::newRow("nothing") << "abc" << -1 << -1;
    QTest::newRow("one of each") << "「a」b「」" << 0 << 4;
    QTest::newRow("overlapping tags: the later start") << "「「a」" << 1 << -1;
    QTest::newRow("two end markers") << "「」x「」" << -1 << 3;
    QTest::newRow("end marker inside a longer run") << "「」」" << -1 << 0;
}

void TestTagGrammar::lastMarks()
{
    QFETCH(QString, text);
    QFETCH(int, lastTag);
    QFETCH(int, lastEnd);

    QCOMPARE(TagGrammar::lastTagStart(text), lastTag);
    QCOMPARE(TagGrammar::lastEndMarker(text), lastEnd);
}

void TestTagGrammar::taggable_data()
{
    QTest::addColumn<QString>("voice");
    QTest::addColumn<bool>("taggable");

    QTest::newRow("nickname") << "晓晓" << true;
    QTest::newRow("identifier") << "en-US-AriaNeural" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("closing bracket") << "a」b" << false;
    QTest::newRow("opening bracket") << "a「b" << true;
}

void TestTagGrammar::taggable()
{
    QFETCH(QString, voice);
    QFETCH(bool, taggable);
    QCOMPARE(TagGrammar::isTaggable(voice), taggable);
}

void TestTagGrammar::passagesOfOneLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("found"); // "start+length" pairs

    QTest::newRow("one passage") << "x「晓晓」ab「」y" << "1+8";
    QTest::newRow("two passages") << "「晓晓」a「」「云溪」b「」" << "0+7 7+7";
    QTest::newRow("voice not in the set") << "「无名」a「」" << "";
    QTest::newRow("empty passage") << "「晓晓」「」" << "";
    QTest::newRow("passage holding 「") << "「晓晓」a「b「」" << "";
    QTest::newRow("no end marker") << "「晓晓」ab" << "";
    QTest::newRow("name with pattern characters") << "「A+B」x「」" << "0+8";
}

void TestTagGrammar::passagesOfOneLine()
{
    QFETCH(QString, line);
    QFETCH(QString, found);

    const TagGrammar::PassageFinder finder({"晓晓", "云溪", "A+B"});
    QStringList ranges;
    for (const auto &passage : finder.passages(line))
        ranges.append(QStringLiteral("%1+%2").arg(passage.first).arg(passage.second));
    QCOMPARE(ranges.join(' '), found);
}

void TestTagGrammar::writtenTagIsReadBackEverywhere_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("voice");

    QTest::newRow("nickname in the middle") << "前面中间后面" << 2 << 4 << "晓晓";
    QTest::newRow("identifier, whole text") << "Hello there" << 0 << 11 << "en-US-AriaNeural";
    QTest::newRow("zh-TW nickname at the end") << "甲乙丙" << 1 << 3 << "晓雨";
    QTest::newRow("name with pattern characters") << "a.b" << 0 << 3 << "x.y(z)";
}

// The editor writes a tag; segmentation gives the passage to that voice, the
// highlighter finds it complete, and clearing it gives the text back.
void TestTagGrammar::writtenTagIsReadBackEverywhere()
{
    QFETCH(QString, text);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, voice);

    const TagRules::TagEdit edit = TagRules::insertVoiceTag(text, from, to, voice);
    QVERIFY(edit.changed);
    const QString passage = text.mid(from, to - from);

    bool read = false;
    for (const Passage &p : Segmentation::passages(edit.text, QStringLiteral("chooser"))) {
        if (p.voice == VoiceNaming::voiceIdentifier(voice)) {
            QCOMPARE(p.text, passage);
            read = true;
        } else {
            QCOMPARE(p.voice, QStringLiteral("chooser"));
        }
    }
    QVERIFY(read);

    const auto found = TagGrammar::PassageFinder({voice}).passages(edit.text);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().first, from);
    QCOMPARE(edit.text.mid(found.first().first, found.first().second), TagGrammar::taggedPassage(voice, passage));

    const TagRules::TagEdit cleared = TagRules::clearVoices(edit.text, from + voice.size() + 2);
    QVERIFY(cleared.changed);
    QCOMPARE(cleared.text, text);
}

QTEST_APPLESS_MAIN(TestTagGrammar)
#include "test_taggrammar.moc"
