#include "TagRules.h"

#include <QtTest>

// The voice tag rules: where insert puts a tag, when clear removes one.
//
// Texts are written with markers: '|' is the cursor (the moving end of a
// selection), '[' the anchor of a selection. Expected texts mark the cursor
// after the change.
class TestTagRules : public QObject
{
    Q_OBJECT

private slots:
    void edits_data();
    void edits();
};

namespace {

struct Marked {
    QString text;
    int anchor = -1;
    int position = -1;
};

Marked parse(QString marked)
{
    Marked result;
    result.anchor = marked.indexOf('[');
    if (result.anchor >= 0)
        marked.remove(result.anchor, 1);
    result.position = marked.indexOf('|');
    marked.remove(result.position, 1);
    if (result.anchor < 0)
        result.anchor = result.position;
    else if (result.anchor > result.position)
        --result.anchor;
    result.text = marked;
    return result;
}

QString paragraphs(QString text)
{
    return text.replace('\n', QChar::ParagraphSeparator);
}

} // namespace

void TestTagRules::edits_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("voice");
    QTest::addColumn<QString>("after"); // empty: nothing changes

    const QString insert = QStringLiteral("insert");
    const QString clear = QStringLiteral("clear");

    // Insert voice tag.
    QTest::newRow("insert wraps a plain selection")
        << insert << "a[bc|d" << "晓晓" << "a「晓晓」bc「」|d";
    QTest::newRow("insert wraps the whole text")
        << insert << "[abc|" << "晓晓" << "「晓晓」abc「」|";
    QTest::newRow("insert after a closed passage")
        << insert << "「晓晓」abc「」[de|f" << "云希" << "「晓晓」abc「」「云希」de「」|f";
    QTest::newRow("insert inside an open passage does nothing")
        << insert << "「晓晓」ab[cd|ef" << "云希" << "";
    QTest::newRow("insert without a selection does nothing")
        << insert << "ab|cd" << "晓晓" << "";
    QTest::newRow("insert keeps a multi-line selection")
        << insert << "a[b\nc|d" << "晓晓" << "a「晓晓」b\nc「」|d";
    QTest::newRow("insert keeps paragraph separators")
        << insert << paragraphs("a[b\nc|d") << "晓晓" << paragraphs("a「晓晓」b\nc「」|d");
    // Only the moving end decides; the same selection dragged the other way.
    QTest::newRow("moving end after the passage end wraps")
        << insert << "「晓晓」a[bc「」d|" << "云希" << "「晓晓」a「云希」bc「」d「」|";
    QTest::newRow("moving end inside the passage does nothing")
        << insert << "「晓晓」a|bc「」d[" << "云希" << "";
    QTest::newRow("moving end before an open tag wraps")
        << insert << "x|y「晓晓」a[bc" << "云希" << "x「云希」y「晓晓」a「」|bc";
    QTest::newRow("moving end after an open tag does nothing")
        << insert << "x[y「晓晓」a|bc" << "云希" << "";
    QTest::newRow("insert refuses a name that would end its own tag")
        << insert << "a[bc|d" << "晓」晓" << "";

    // Clear voices.
    QTest::newRow("clear inside a passage")
        << clear << "x「晓晓」a|bc「」y" << "" << "xa|bcy";
    QTest::newRow("clear right after the voice tag")
        << clear << "x「晓晓」|abc「」y" << "" << "x|abcy";
    QTest::newRow("clear right before the end marker")
        << clear << "x「晓晓」abc|「」y" << "" << "xabc|y";
    QTest::newRow("clear at the start does nothing")
        << clear << "|x「晓晓」abc「」y" << "" << "";
    QTest::newRow("clear before the voice tag does nothing")
        << clear << "x|「晓晓」abc「」y" << "" << "";
    QTest::newRow("clear after the end marker does nothing")
        << clear << "x「晓晓」abc「」|y" << "" << "";
    QTest::newRow("clear at the end does nothing")
        << clear << "x「晓晓」abc「」y|" << "" << "";
    QTest::newRow("clear inside the end marker does nothing")
        << clear << "x「晓晓」abc「|」y" << "" << "";
    QTest::newRow("clear without an end marker does nothing")
        << clear << "「晓晓」a|bc" << "" << "";
    QTest::newRow("clear when the next tag comes before an end marker does nothing")
        << clear << "「晓晓」a|bc「云希」de「」" << "" << "";
    QTest::newRow("clear in the first of two passages")
        << clear << "「晓晓」a|b「」「云希」cd「」" << "" << "a|b「云希」cd「」";
    QTest::newRow("clear in the second of two passages")
        << clear << "「晓晓」ab「」「云希」c|d「」e" << "" << "「晓晓」ab「」c|de";
    QTest::newRow("clear takes the last of overlapping tags")
        << clear << "「「晓晓」a|b「」" << "" << "「a|b";
    QTest::newRow("clear keeps a multi-line passage")
        << clear << "x「晓晓」a\nb|c「」" << "" << "xa\nb|c";
    QTest::newRow("clear keeps paragraph separators")
        << clear << paragraphs("x「晓晓」a\nb|c「」\ny") << "" << paragraphs("xa\nb|c\ny");
}

void TestTagRules::edits()
{
    QFETCH(QString, operation);
    QFETCH(QString, before);
    QFETCH(QString, voice);
    QFETCH(QString, after);

    const Marked input = parse(before);
    const TagRules::TagEdit edit = operation == QLatin1String("insert")
        ? TagRules::insertVoiceTag(input.text, input.anchor, input.position, voice)
        : TagRules::clearVoices(input.text, input.position);

    if (after.isEmpty()) {
        QVERIFY(!edit.changed);
        QCOMPARE(edit.text, input.text);
        return;
    }
    const Marked expected = parse(after);
    QVERIFY(edit.changed);
    QCOMPARE(edit.text, expected.text);
    QCOMPARE(edit.cursor, expected.position);
    // The change as one replacement, which is how the editor applies it.
    QCOMPARE(input.text.left(edit.from) + edit.replacement + input.text.mid(edit.to), expected.text);
}

QTEST_APPLESS_MAIN(TestTagRules)
#include "test_tagrules.moc"
