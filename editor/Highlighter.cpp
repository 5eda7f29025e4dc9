#include "Highlighter.h"

#include "VoiceCatalogue.h"

#include <QAbstractTextDocumentLayout>
#include <QBrush>
#include <QJsonObject>
#include <QStringView>
#include <QTextDocument>

namespace {
const QChar tagOpen(0x300C);  // 「
const QChar tagClose(0x300D); // 」
} // namespace

VoiceTagMatcher::VoiceTagMatcher(const QStringList &names)
{
    for (const QString &name : names) {
        // The name is literal text: "+" or "." in it must match only itself.
        allRules.append(QRegularExpression(pattern(name)));
        if (name.isEmpty() || name.contains(tagOpen) || name.contains(tagClose) || !QStringView(name).isValidUtf16())
            otherRules.append(allRules.last());
        else
            plainNames.insert(name);
    }
}

QString VoiceTagMatcher::pattern(const QString &name)
{
    return tagOpen + QRegularExpression::escape(name) + tagClose + QStringLiteral("([^「]+)「」");
}

void VoiceTagMatcher::matchAll(const QVector<QRegularExpression> &rules, const QString &block,
                               QVector<QPair<int, int>> &found)
{
    for (const QRegularExpression &rule : rules) {
        QRegularExpressionMatchIterator matches = rule.globalMatch(block);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            found.append({match.capturedStart(0), match.capturedLength(0)});
        }
    }
}

QVector<QPair<int, int>> VoiceTagMatcher::passages(const QString &block) const
{
    QVector<QPair<int, int>> found;
    // Every pattern starts with 「.
    int open = block.indexOf(tagOpen);
    if (open < 0)
        return found;
    if (!QStringView(block).isValidUtf16()) {
        matchAll(allRules, block, found);
        return found;
    }
    matchAll(otherRules, block, found);

    // The first 」 after a 「, and the first 「 after that, only move forward
    // from one 「 to the next; keeping them keeps the scan linear.
    int close = -1;
    int end = -1;
    while (open >= 0) {
        if (close <= open) {
            close = block.indexOf(tagClose, open + 1);
            if (close < 0)
                break; // no later tag can be complete either
            end = block.indexOf(tagOpen, close + 1);
            if (end < 0)
                break; // nor can any later passage end
        }
        const int text = close + 1;
        if (end > text && end + 1 < block.size() && block.at(end + 1) == tagClose
            && plainNames.contains(QString::fromRawData(block.constData() + open + 1, close - open - 1)))
            found.append({open, end + 2 - open});
        open = block.indexOf(tagOpen, open + 1);
    }
    return found;
}

QStringList Highlighter::catalogueNames()
{
    QStringList names;
    const QList<QJsonArray> groups = VoiceCatalogue::instance().voiceGroups();
    for (const QJsonArray &group : groups) {
        for (const QJsonValue &entry : group)
            names.append(entry.toObject().value(QLatin1String("name")).toString());
    }
    return names;
}

Highlighter::Highlighter(QTextDocument *parent)
    : QSyntaxHighlighter(parent)
    , matcher(catalogueNames())
{
    voiceFormat.setForeground(QBrush(Qt::darkGreen, Qt::SolidPattern));

    // Attaching has scheduled a pass over the whole document; run it now, with
    // the editor's layout held back. Outside an edit, each block whose colours
    // change makes a QTextEdit's layout flow every block after it again, which
    // on a long script costs minutes; one layout at the end gives the same
    // result. The pass clears the scheduled one.
    QTextDocument *document = parent;
    const QSizeF pageSize = document->pageSize();
    // Asking the document for its layout would give it one; look for it instead.
    const auto *layout =
        document->findChild<QAbstractTextDocumentLayout *>(QString(), Qt::FindDirectChildrenOnly);
    const bool holdLayout = layout && layout->inherits("QTextDocumentLayout") && !pageSize.isNull();
    if (holdLayout)
        document->setPageSize(QSizeF(0, 0)); // a null page: the layout lays nothing out
    rehighlight();
    if (holdLayout)
        document->setPageSize(pageSize);
}

Highlighter::~Highlighter() = default;

void Highlighter::highlightBlock(const QString &text)
{
    const QVector<QPair<int, int>> passages = matcher.passages(text);
    for (const QPair<int, int> &passage : passages)
        setFormat(passage.first, passage.second, voiceFormat);
}
