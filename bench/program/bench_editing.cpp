// Editing: the voice tag highlighter on the script editor holding a
// 20,000-line script, with 400 voices in the catalogue. Times the first full
// pass (attaching the highlighter until its pass is done) and each keystroke
// of one tagged line retyped (key event until the editor has painted again).
// Baseline: the same editor and script with a highlighter that colours
// nothing, in the same run. Also times the plain rule-per-voice matching
// (one regular expression per voice, run over every block) for comparison,
// with the editor's layout held back during its pass as Highlighter does.
#include "Highlighter.h"
#include "TTSText.h"
#include "VoiceCatalogue.h"
#include "VoiceNaming.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kVoices = 400;
constexpr int kLines = 20000;
constexpr int kRetypedLine = kLines / 2 + 1;

QJsonArray voiceRecords()
{
    const QStringList codes = VoiceNaming::localeTable().keys;
    const QStringList zh = {"zh-CN-XiaoxiaoNeural", "zh-CN-YunxiNeural", "zh-CN-XiaoyiNeural", "zh-CN-YunjianNeural"};
    QJsonArray records;
    for (int l = 0; records.size() < kVoices; ++l) {
        const QString code = codes[l];
        for (int v = 0; v < 4; ++v)
            records.append(QJsonObject{{"gender", v % 2 ? "Male" : "Female"},
                                       {"locale", code},
                                       {"name", code == "zh-CN" ? zh[v] : QStringLiteral("%1-Voice%2Neural").arg(code).arg(v)}});
    }
    return records;
}

QStringList catalogueNames()
{
    QStringList names;
    const QList<QJsonArray> groups = VoiceCatalogue::instance().voiceGroups();
    for (const QJsonArray &group : groups)
        for (const QJsonValue &entry : group)
            names.append(entry.toObject().value("name").toString());
    return names;
}

// A dubbing script: narration, tagged passages of catalogue voices (one or
// two per line), the odd hand-typed tag of an unknown voice, an unclosed one.
QString script(const QStringList &names)
{
    static const char *sentences[] = {
        "清晨的阳光透过窗户洒进房间，小林揉了揉眼睛，慢慢地坐了起来。",
        "The morning train was late again, so everyone had time to talk.",
        "街道两旁的梧桐树已经发出了嫩绿的新芽，空气里带着泥土的清香。",
        "He planted tomatoes, beans and a row of sunflowers along the fence.",
        "图书馆的大门刚刚打开，管理员正在整理昨天归还的书籍。",
    };
    QStringList lines;
    for (int i = 0; i < kLines; ++i) {
        const QString a = QString::fromUtf8(sentences[i % 5]);
        const QString b = QString::fromUtf8(sentences[(i * 3 + 1) % 5]);
        const QString name = names[(i * 37) % names.size()];
        switch (i % 6) {
        case 0:
        case 3:
            lines << a + b;
            break;
        case 1:
            lines << "「" + name + "」" + a + "「」";
            break;
        case 2:
            lines << a + "「" + name + "」" + b + "「」" + "「" + names[(i * 11) % names.size()] + "」" + a + "「」";
            break;
        case 4:
            lines << "「路人甲」" + a + "「」" + b;
            break;
        default:
            lines << "「" + name + "」" + a + b;
            break;
        }
    }
    return lines.join('\n');
}

class NoColours : public QSyntaxHighlighter
{
public:
    using QSyntaxHighlighter::QSyntaxHighlighter;

protected:
    void highlightBlock(const QString &) override {}
};

// One regular expression per catalogue voice, each run globally over the block.
class RulePerVoice : public QSyntaxHighlighter
{
public:
    explicit RulePerVoice(QTextDocument *document)
        : QSyntaxHighlighter(document)
    {
        format.setForeground(QBrush(Qt::darkGreen, Qt::SolidPattern));
        for (const QString &name : catalogueNames())
            rules.append(QRegularExpression("「" + QRegularExpression::escape(name) + "」([^「]+)「」"));
    }

protected:
    void highlightBlock(const QString &text) override
    {
        for (const QRegularExpression &rule : qAsConst(rules)) {
            QRegularExpressionMatchIterator it = rule.globalMatch(text);
            while (it.hasNext()) {
                const QRegularExpressionMatch m = it.next();
                setFormat(m.capturedStart(), m.capturedLength(), format);
            }
        }
    }

private:
    QVector<QRegularExpression> rules;
    QTextCharFormat format;
};

struct Figures {
    double firstPass = 0;            // seconds
    std::vector<double> keystrokes;  // milliseconds
    int colouredBlocks = 0;
};

int colouredBlocks(QTextDocument *document)
{
    int n = 0;
    for (QTextBlock b = document->begin(); b.isValid(); b = b.next())
        n += !b.layout()->formats().isEmpty();
    return n;
}

Figures measure(const QString &text, const std::function<QSyntaxHighlighter *(QTextDocument *)> &attach)
{
    Figures f;
    TTSText editor;
    editor.resize(800, 600);
    editor.show();
    editor.setPlainText(text);
    QApplication::processEvents();

    // Attaching schedules the pass; the event loop runs it, as in the program.
    QElapsedTimer clock;
    clock.start();
    QSyntaxHighlighter *highlighter = attach(editor.document());
    QApplication::processEvents();
    f.firstPass = clock.nsecsElapsed() / 1e9;
    f.colouredBlocks = colouredBlocks(editor.document());

    // Typing is measured on a laid-out script: the editor lays out a long
    // document in steps on a timer, which would otherwise land in keystrokes.
    editor.document()->documentLayout()->documentSize();
    QApplication::processEvents();

    // Retype one tagged line, key by key, in the middle of the script.
    const QTextBlock block = editor.document()->findBlockByNumber(kRetypedLine);
    const QString line = block.text();
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    editor.setTextCursor(cursor);
    QApplication::processEvents();
    for (const QChar c : line) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        clock.restart();
        QApplication::sendEvent(&editor, &press);
        QApplication::sendEvent(&editor, &release);
        QApplication::processEvents();
        f.keystrokes.push_back(clock.nsecsElapsed() / 1e6);
    }
    if (editor.document()->findBlockByNumber(kRetypedLine).text() != line)
        std::fprintf(stderr, "the retyped line differs from the original\n");
    delete highlighter;
    return f;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double maximum(const std::vector<double> &v)
{
    return *std::max_element(v.begin(), v.end());
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    VoiceCatalogue::instance().groupVoices(voiceRecords());
    const QStringList names = catalogueNames();
    const QString text = script(names);

    const Figures base = measure(text, [](QTextDocument *d) { return new NoColours(d); });
    const Figures ours = measure(text, [](QTextDocument *d) { return new Highlighter(d); });
    // Given the same layout hold as Highlighter, so that only the matching differs.
    const Figures rules = measure(text, [](QTextDocument *d) {
        const QSizeF page = d->pageSize();
        d->setPageSize(QSizeF(0, 0));
        auto *h = new RulePerVoice(d);
        h->rehighlight();
        d->setPageSize(page);
        return h;
    });
    if (ours.colouredBlocks != rules.colouredBlocks || ours.colouredBlocks == 0) {
        std::fprintf(stderr, "coloured blocks: %d, rule per voice: %d\n", ours.colouredBlocks, rules.colouredBlocks);
        return 1;
    }

    std::printf("editing: %d lines (%d characters), %d catalogue voices, %d blocks coloured; retyped line %d, %zu keys\n",
                kLines, int(text.size()), int(names.size()), ours.colouredBlocks, kRetypedLine, ours.keystrokes.size());
    std::printf("%-34s %10s %10s %8s %10s\n", "figure", "ours", "baseline", "ratio", "target");
    std::printf("%-34s %10.3f %10.3f %8.2f %10s\n", "first full pass (s)", ours.firstPass, base.firstPass,
                ours.firstPass / base.firstPass, "<= 1.0");
    std::printf("%-34s %10.2f %10.2f %8.2f %10s\n", "keystroke, median (ms)", median(ours.keystrokes),
                median(base.keystrokes), median(ours.keystrokes) / median(base.keystrokes), "<= 16");
    std::printf("%-34s %10.2f %10.2f %8.2f %10s\n", "keystroke, slowest (ms)", maximum(ours.keystrokes),
                maximum(base.keystrokes), maximum(ours.keystrokes) / maximum(base.keystrokes), "(info)");
    std::printf("%-34s %10.3f %10.3f %8.2f %10s\n", "  rule per voice: first pass (s)", rules.firstPass, base.firstPass,
                rules.firstPass / base.firstPass, "(info)");
    std::printf("%-34s %10.2f %10.2f %8.2f %10s\n", "  rule per voice: keystroke (ms)", median(rules.keystrokes),
                median(base.keystrokes), median(rules.keystrokes) / median(base.keystrokes), "(info)");
    const bool ok = ours.firstPass <= 1.0 && median(ours.keystrokes) <= 16;
    std::printf("%s\n", ok ? "all targets met" : "TARGET MISSED");
    return ok ? 0 : 1;
}
