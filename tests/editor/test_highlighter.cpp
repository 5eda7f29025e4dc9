#include "Highlighter.h"
#include "VoiceCatalogue.h"
#include "VoiceRecords.h"

#include <QJsonValue>
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
    void neuralVoicesAmongAHundred();
    void cueMarkers_data();
    void cueMarkers();

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

// A model's hundred speakers in one locale: their names, blanks and all,
// colour their passages like any other voice's.
void TestHighlighter::neuralVoicesAmongAHundred()
{
    VoiceCatalogue &catalogue = VoiceCatalogue::instance();
    catalogue.reset();
    QJsonArray records = VoiceFixtures::voiceList(7);
    for (const QJsonValue &v : VoiceFixtures::neuralVoices("zh-CN", "Kokoro", "Kokoro", 110))
        records.append(v);
    catalogue.groupVoices(records);

    QTextDocument document;
    document.setPlainText(QStringLiteral("「Kokoro 105」你好「」\n「Kokoro 105 男声」x「」\n「晓晓」a「」和「Kokoro 000」b「」\n「Kokoro 110」c「」"));
    auto *highlighter = new Highlighter(&document);
    highlighter->rehighlight();
    // The chooser's text is not a tag's name, nor is a speaker the model lacks.
    QCOMPARE(colouredRanges(document), (QStringList{"0:0+16", "2:0+7", "2:8+15"}));
}

void TestHighlighter::cueMarkers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("ranges"); // "block:start+length kind"

    const QString cue = "[00:00:01,000 --> 00:00:02,000]"; // 31 characters
    QTest::newRow("usable marker") << cue + " 你好" << QStringList{"0:0+31 cue"};
    QTest::newRow("time that cannot be read") << "[00:00:0x,000 --> 00:00:02,000] 你好" << QStringList{"0:0+31 bad cue"};
    QTest::newRow("end before start") << "[00:00:05,000 --> 00:00:02,000] 你好" << QStringList{"0:0+31 bad cue"};
    QTest::newRow("a tag after the marker keeps its green")
        << cue + " 「晓晓」你好「」" << QStringList{"0:0+31 cue", "0:32+8 voice"};
    QTest::newRow("a tag after an unusable marker keeps its green")
        << "[00:00:0x,000 --> 00:00:02,000] 「云溪」你好「」" << QStringList{"0:0+31 bad cue", "0:32+8 voice"};
    QTest::newRow("an unknown voice after the marker") << cue + " 「小明」你好「」" << QStringList{"0:0+31 cue"};
    QTest::newRow("blanks before the marker") << "  " + cue + " a" << QStringList{"0:2+31 cue"};
    QTest::newRow("marker not at the start of the line") << "你好 " + cue << QStringList{};
    QTest::newRow("a bracket without an arrow is text") << "[注] 你好" << QStringList{};
    QTest::newRow("each line by itself")
        << cue + " 一\n[00:00:03,000 --> 00:00:0] 二\n三" << QStringList{"0:0+31 cue", "1:0+26 bad cue"};
}

void TestHighlighter::cueMarkers()
{
    QFETCH(QString, text);
    QFETCH(QStringList, ranges);

    QTextDocument document;
    document.setPlainText(text);
    auto *highlighter = new Highlighter(&document);
    highlighter->rehighlight();

    const auto kind = [](const QTextCharFormat &format) -> QString {
        const QColor colour = format.foreground().color();
        const bool solid = format.foreground().style() == Qt::SolidPattern;
        const auto underline = format.underlineStyle();
        if (solid && colour == QColor(0x00, 0x80, 0x00) && underline == QTextCharFormat::NoUnderline)
            return "voice";
        if (solid && colour == QColor(0x5B, 0x70, 0x83) && underline == QTextCharFormat::NoUnderline)
            return "cue";
        // Red: more red than anything else, and underlined in red.
        if (solid && colour.red() > 0xB0 && colour.green() < 0x60 && colour.blue() < 0x60
            && underline == QTextCharFormat::WaveUnderline && format.underlineColor() == colour)
            return "bad cue";
        return "other " + colour.name();
    };
    QStringList found;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (const QTextLayout::FormatRange &range : block.layout()->formats())
            found.append(QStringLiteral("%1:%2+%3 %4")
                             .arg(block.blockNumber())
                             .arg(range.start)
                             .arg(range.length)
                             .arg(kind(range.format)));
    }
    QCOMPARE(found, ranges);
}

QTEST_MAIN(TestHighlighter)
#include "test_highlighter.moc"
