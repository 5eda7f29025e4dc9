#include "Highlighter.h"
#include "VoiceCatalogue.h"
#include "VoiceRecords.h"

#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QtTest>

using VoiceFixtures::record;

// The voice tag highlighter scans each block once instead of running one
// pattern per voice. These tests hold it to the plain rule: for every voice
// name, the pattern "「" + name + "」([^「]+)「」" (name taken literally),
// matched globally over the block, and every match coloured.
class TestHighlighterEquivalence : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void trickyBlocks_data();
    void trickyBlocks();
    void randomBlocks();
    void wholeDocumentColoursAsTheRules();

private:
    using Mask = QVector<bool>;
    static QStringList trickyNames();
    static Mask ruleMask(const QStringList &names, const QString &block);
    static Mask scanMask(const QStringList &names, const QString &block);
    static QString ranges(const Mask &mask);
    static QString randomText(QRandomGenerator &random, const QStringList &pieces, int maxPieces);
};

namespace {
// The plain rule, one pattern per voice, as a highlighter.
class RulePerVoice : public QSyntaxHighlighter
{
public:
    RulePerVoice(QTextDocument *document, const QStringList &names)
        : QSyntaxHighlighter(document)
    {
        format.setForeground(QBrush(Qt::darkGreen, Qt::SolidPattern));
        for (const QString &name : names)
            rules.append(QRegularExpression("「" + QRegularExpression::escape(name) + "」([^「]+)「」"));
    }

protected:
    void highlightBlock(const QString &text) override
    {
        for (const QRegularExpression &rule : qAsConst(rules)) {
            QRegularExpressionMatchIterator matches = rule.globalMatch(text);
            while (matches.hasNext()) {
                const QRegularExpressionMatch match = matches.next();
                setFormat(match.capturedStart(0), match.capturedLength(0), format);
            }
        }
    }

private:
    QVector<QRegularExpression> rules;
    QTextCharFormat format;
};

// Every block's format ranges, one line per block.
QStringList formatRanges(QTextDocument &document)
{
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QString line = QString::number(block.blockNumber()) + ':';
        for (const QTextLayout::FormatRange &range : block.layout()->formats())
            line += QStringLiteral(" %1+%2 %3").arg(range.start).arg(range.length).arg(range.format.foreground().color().name());
        lines.append(line);
    }
    return lines;
}

const QString loneHigh = QString(QChar(0xD83D));
const QString smile = QString::fromUtf8("😀");
} // namespace

void TestHighlighterEquivalence::cleanup()
{
    VoiceCatalogue::instance().reset();
}

// Names with pattern characters, with the tag brackets in them, an empty one,
// prefixes of one another, and a duplicate.
QStringList TestHighlighterEquivalence::trickyNames()
{
    return {"晓晓", "云溪", "A+B", "x.y", "(q)", "a|b", "\\d", "名「字", "名」字", "」x", "", "晓晓", "晓", "晓晓晓"};
}

TestHighlighterEquivalence::Mask TestHighlighterEquivalence::ruleMask(const QStringList &names, const QString &block)
{
    Mask mask(block.size(), false);
    for (const QString &name : names) {
        const QRegularExpression rule("「" + QRegularExpression::escape(name) + "」([^「]+)「」");
        QRegularExpressionMatchIterator matches = rule.globalMatch(block);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            for (int i = match.capturedStart(0); i < match.capturedEnd(0); ++i)
                mask[i] = true;
        }
    }
    return mask;
}

TestHighlighterEquivalence::Mask TestHighlighterEquivalence::scanMask(const QStringList &names, const QString &block)
{
    Mask mask(block.size(), false);
    const TagGrammar::PassageFinder matcher(names);
    for (const QPair<int, int> &passage : matcher.passages(block)) {
        if (passage.first < 0 || passage.second <= 0 || passage.first + passage.second > block.size())
            return Mask{true}; // out of the block: never equal to a real mask
        for (int i = passage.first; i < passage.first + passage.second; ++i)
            mask[i] = true;
    }
    return mask;
}

// A mask as "start+length" runs.
QString TestHighlighterEquivalence::ranges(const Mask &mask)
{
    QStringList runs;
    for (int i = 0; i < mask.size();) {
        if (!mask[i]) {
            ++i;
            continue;
        }
        int j = i;
        while (j < mask.size() && mask[j])
            ++j;
        runs.append(QStringLiteral("%1+%2").arg(i).arg(j - i));
        i = j;
    }
    return runs.join(' ');
}

void TestHighlighterEquivalence::trickyBlocks_data()
{
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("coloured");

    QTest::newRow("plain passage") << "「晓晓」abc「」" << "0+9";
    QTest::newRow("text around") << "前「晓晓」a「」后" << "1+7";
    QTest::newRow("no tag at all") << "晓晓 abc" << "";
    QTest::newRow("plus literal") << "「A+B」x「」" << "0+8";
    QTest::newRow("plus is no repeat") << "「AAB」x「」" << "";
    QTest::newRow("dot literal") << "「x.y」z「」" << "0+8";
    QTest::newRow("dot is no wildcard") << "「xzy」z「」" << "";
    QTest::newRow("bar is no alternative") << "「a」z「」「b」z「」" << "";
    QTest::newRow("backslash literal") << "「\\d」z「」「1」z「」" << "0+7";
    QTest::newRow("adjacent passages") << "「晓晓」a「」「云溪」b「」" << "0+14";
    QTest::newRow("duplicate name, twice in a line") << "「晓晓」a「」和「晓晓」b「」" << "0+7 8+7";
    QTest::newRow("name not in the list") << "「小明」a「」" << "";
    QTest::newRow("prefix names do not stand in") << "「晓晓晓」a「」「晓」b「」" << "0+14";
    QTest::newRow("empty passage, then a passage") << "「晓晓」「云溪」b「」" << "4+7";
    QTest::newRow("passage holding 「") << "「晓晓」a「b「」" << "";
    QTest::newRow("passage holding 」") << "「晓晓」」a「」" << "0+8";
    QTest::newRow("extra 「 before the tag") << "「「晓晓」a「」" << "1+7";
    QTest::newRow("unclosed tag") << "「晓晓」abc" << "";
    QTest::newRow("tag without 」") << "「晓晓abc「」" << "";
    QTest::newRow("end marker only half") << "「晓晓」abc「" << "";
    QTest::newRow("end marker followed by 」") << "「晓晓」a「」」" << "0+7";
    QTest::newRow("passage, then an empty-name passage") << "「晓晓」a「」b「」" << "0+10";
    QTest::newRow("empty-name tag alone") << "「」abc「」" << "0+7";
    QTest::newRow("two end markers") << "「晓晓」a「」「」" << "0+7";
    QTest::newRow("name holding 「") << "「名「字」a「」" << "0+8";
    QTest::newRow("name holding 」") << "「名」字」a「」" << "0+8";
    QTest::newRow("name starting with 」") << "「」x」y「」" << "0+7";
    QTest::newRow("pattern characters in the passage") << "「x.y」.*「」" << "0+9";
    QTest::newRow("surrogate pair in the passage") << "「晓晓」" + smile + "「」" << "0+8";
    QTest::newRow("surrogate pair as the passage end") << "「晓晓」a" + smile + "「」b" << "0+9";
    QTest::newRow("lone surrogate elsewhere in the block") << "「晓晓」a「」" + loneHigh << "";
    QTest::newRow("many brackets") << "「「「」」」「晓晓」「」「」a「」「" << "12+5";
}

void TestHighlighterEquivalence::trickyBlocks()
{
    QFETCH(QString, block);
    QFETCH(QString, coloured);

    const Mask rules = ruleMask(trickyNames(), block);
    QCOMPARE(ranges(rules), coloured);
    QCOMPARE(ranges(scanMask(trickyNames(), block)), ranges(rules));
}

QString TestHighlighterEquivalence::randomText(QRandomGenerator &random, const QStringList &pieces, int maxPieces)
{
    QString text;
    const int n = random.bounded(maxPieces + 1);
    for (int i = 0; i < n; ++i)
        text += pieces[random.bounded(pieces.size())];
    return text;
}

void TestHighlighterEquivalence::randomBlocks()
{
    // Few, short pieces, so that tags, names and end markers meet often.
    const QStringList nameParts = {"a", "b", "晓", "+", ".", "(", ")", "\\", "|", "*", "「", "」", smile};
    const QStringList textParts = {"「", "」", "「」", "x", "晓", " ", ".", "*", "(", smile, "「晓」", "」「"};
    QRandomGenerator random(20240607);

    int colouredBlocks = 0;
    int blocks = 0;
    for (int round = 0; round < 40; ++round) {
        QStringList names;
        const int count = 1 + random.bounded(12);
        for (int i = 0; i < count; ++i)
            names.append(randomText(random, nameParts, 3));
        // Now and then a name the scan cannot read, or an empty one.
        if (round % 5 == 0)
            names.append(QString());
        if (round % 7 == 0)
            names.append(QStringLiteral("名「字"));

        for (int b = 0; b < 250; ++b) {
            QString block;
            const int parts = random.bounded(8);
            for (int p = 0; p < parts; ++p) {
                if (random.bounded(3) == 0)
                    block += "「" + names[random.bounded(names.size())] + "」";
                else
                    block += randomText(random, textParts, 3);
            }
            if (random.bounded(60) == 0)
                block.insert(random.bounded(block.size() + 1), QChar(0xDC00));

            const Mask rules = ruleMask(names, block);
            const Mask scan = scanMask(names, block);
            if (scan != rules) {
                QString list;
                for (const QString &name : names)
                    list += " [" + name + "]";
                QFAIL(qPrintable(QStringLiteral("block [%1] names%2: rules %3, scan %4")
                                     .arg(block, list, ranges(rules), ranges(scan))));
            }
            colouredBlocks += rules.contains(true);
            ++blocks;
        }
    }
    // The corpus must exercise colouring, not only its absence.
    QVERIFY2(colouredBlocks > blocks / 10, qPrintable(QString::number(colouredBlocks)));
}

void TestHighlighterEquivalence::wholeDocumentColoursAsTheRules()
{
    // Catalogue names: nicknames, identifiers without one, tricky identifiers.
    VoiceCatalogue &catalogue = VoiceCatalogue::instance();
    catalogue.groupVoices({record("Female", "zh-CN", "zh-CN-XiaoxiaoNeural"), record("Male", "zh-CN", "zh-CN-YunxiNeural"),
                           record("Female", "xx-XX", "A+B"), record("Female", "xx-XX", "名「字"),
                           record("Male", "xx-XX", "名」字"), record("Male", "en-US", "en-US-AriaNeural"),
                           record("Female", "zh-CN", "zh-CN-XiaoxiaoNeural")});
    QStringList names;
    for (const QJsonArray &group : catalogue.voiceGroups())
        for (const QJsonValue &entry : group)
            names.append(entry.toObject().value("name").toString());
    QVERIFY(names.contains("晓晓"));

    const QStringList textParts = {"「", "」", "「」", "x", "晓", " ", "「晓晓」", "「云溪」", "「A+B」", "「名「字」",
                                   "「名」字」", "「en-US-AriaNeural」", "「小明」", smile};
    QRandomGenerator random(7);
    QStringList lines;
    for (int i = 0; i < 2000; ++i)
        lines.append(randomText(random, textParts, 8));

    // As in an editor: a document reports edits only once it has a layout.
    QTextDocument ours;
    ours.documentLayout();
    ours.setPlainText(lines.join('\n'));
    QTextDocument rules;
    rules.documentLayout();
    rules.setPlainText(lines.join('\n'));
    (new Highlighter(&ours))->rehighlight();
    (new RulePerVoice(&rules, names))->rehighlight();

    const QStringList expected = formatRanges(rules);
    QVERIFY(expected.join(QString()).contains("#008000"));
    QCOMPARE(formatRanges(ours), expected);

    // Retyping: every block changed after attachment is coloured the same way.
    for (QTextDocument *document : {&ours, &rules}) {
        QTextCursor cursor(document->findBlockByNumber(1000));
        cursor.insertText("「晓晓」a「」「名」字」b「」");
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertText("\n「A+B」c「」」");
    }
    QCOMPARE(formatRanges(ours), formatRanges(rules));
}

QTEST_MAIN(TestHighlighterEquivalence)
#include "test_highlighter_equivalence.moc"
