#include "Highlighter.h"
#include "VoiceCatalogue.h"
#include "VoiceRecords.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

using VoiceFixtures::record;

// Which parts of a script the voice tag highlighter colours.
class TestHighlighter : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void colouredRanges_data();
    void colouredRanges();
    void usesTheCatalogueAtConstruction();

private:
    // Every format range of the document as "block:start+length", and checks
    // that each one is a dark green foreground.
    static QStringList colouredRanges(QTextDocument &document);
};

void TestHighlighter::init()
{
    VoiceCatalogue &catalogue = VoiceCatalogue::instance();
    catalogue.reset();
    // Names as the catalogue shows them: nicknames, and identifiers without
    // one, among them names holding pattern characters.
    catalogue.groupVoices({record("Female", "zh-CN", "zh-CN-XiaoxiaoNeural"), record("Male", "zh-CN", "zh-CN-YunxiNeural"),
                           record("Female", "xx-XX", "A+B"), record("Female", "xx-XX", "x.y"),
                           record("Female", "xx-XX", "(q)")});
}

void TestHighlighter::cleanup()
{
    VoiceCatalogue::instance().reset();
}

QStringList TestHighlighter::colouredRanges(QTextDocument &document)
{
    QStringList ranges;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
            ranges.append(QStringLiteral("%1:%2+%3").arg(block.blockNumber()).arg(range.start).arg(range.length));
            if (range.format.foreground().color() != QColor(0x00, 0x80, 0x00)
                || range.format.foreground().style() != Qt::SolidPattern)
                ranges.append(QStringLiteral("not dark green"));
        }
    }
    return ranges;
}

void TestHighlighter::colouredRanges_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("ranges");

    QTest::newRow("whole passage, brackets included") << "「晓晓」abc「」" << QStringList{"0:0+9"};
    QTest::newRow("text around stays plain") << "前面「晓晓」abc「」后面" << QStringList{"0:2+9"};
    QTest::newRow("two passages on one line") << "「晓晓」a「」和「云溪」bc「」" << QStringList{"0:0+7", "0:8+8"};
    QTest::newRow("two lines") << "「晓晓」a「」\n「云溪」b「」" << QStringList{"0:0+7", "1:0+7"};
    QTest::newRow("name not in the catalogue") << "「小明」abc「」" << QStringList{};
    QTest::newRow("identifier of a nicknamed voice") << "「zh-CN-XiaoxiaoNeural」abc「」" << QStringList{};
    QTest::newRow("no end marker") << "「晓晓」abc" << QStringList{};
    QTest::newRow("empty passage") << "「晓晓」「」" << QStringList{};
    QTest::newRow("passage holding 「") << "「晓晓」a「b「」" << QStringList{};
    QTest::newRow("passage across a line break") << "「晓晓」ab\ncd「」" << QStringList{};
    QTest::newRow("plus matches itself") << "「A+B」x「」" << QStringList{"0:0+8"};
    QTest::newRow("plus is not a repeat") << "「AAB」x「」" << QStringList{};
    QTest::newRow("dot matches itself") << "「x.y」z「」" << QStringList{"0:0+8"};
    QTest::newRow("dot is not any character") << "「xzy」z「」" << QStringList{};
    QTest::newRow("parentheses match themselves") << "「(q)」z「」" << QStringList{"0:0+8"};
    QTest::newRow("parentheses are not a group") << "「q」z「」" << QStringList{};
}

void TestHighlighter::colouredRanges()
{
    QFETCH(QString, text);
    QFETCH(QStringList, ranges);

    QTextDocument document;
    document.setPlainText(text);
    auto *highlighter = new Highlighter(&document);
    highlighter->rehighlight();
    QCOMPARE(colouredRanges(document), ranges);
}

void TestHighlighter::usesTheCatalogueAtConstruction()
{
    QTextDocument document;
    // As in an editor: a document reports edits only once it has a layout.
    document.documentLayout();
    document.setPlainText(QStringLiteral("「晓晓」abc「」"));
    auto *highlighter = new Highlighter(&document);
    QCOMPARE(highlighter->document(), &document);
    QCOMPARE(highlighter->parent(), &document);
    // Attaching colours what the document already holds.
    QTRY_COMPARE(colouredRanges(document), QStringList{"0:0+9"});

    // Typing after attachment is coloured too.
    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("\n「云溪」d「」"));
    QCOMPARE(colouredRanges(document), (QStringList{"0:0+9", "1:0+7"}));

    // Voices added to the catalogue later are not coloured by this highlighter.
    VoiceCatalogue::instance().groupVoices({record("Female", "en-US", "en-US-AriaNeural")});
    cursor.insertText(QStringLiteral("\n「en-US-AriaNeural」e「」"));
    highlighter->rehighlight();
    QCOMPARE(colouredRanges(document), (QStringList{"0:0+9", "1:0+7"}));
}

QTEST_MAIN(TestHighlighter)
#include "test_highlighter.moc"
