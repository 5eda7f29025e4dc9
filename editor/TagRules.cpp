#include "TagRules.h"

#include <QRegularExpression>

namespace TagRules {

namespace {

const QString endMarker = QStringLiteral("「」");
const QChar tagOpen(0x300C);  // 「
const QChar tagClose(0x300D); // 」

const QRegularExpression &voiceTag()
{
    static const QRegularExpression expression(QStringLiteral("「[^」]+」"));
    return expression;
}

int firstTag(const QString &text, int from = 0)
{
    return voiceTag().match(text, from).capturedStart();
}

// Matches may overlap ("「「a」" holds a tag at 0 and at 1), so the last one is
// found by searching again one character after each match's start.
int lastTag(const QString &text)
{
    int last = -1;
    for (int at = firstTag(text); at >= 0; at = firstTag(text, at + 1))
        last = at;
    return last;
}

int lastEnd(const QString &text)
{
    int last = -1;
    for (int at = text.indexOf(endMarker); at >= 0; at = text.indexOf(endMarker, at + 1))
        last = at;
    return last;
}

TagEdit unchanged(const QString &text, int position)
{
    TagEdit edit;
    edit.text = text;
    edit.cursor = position;
    edit.from = edit.to = position;
    return edit;
}

TagEdit replaced(const QString &text, int from, int to, const QString &replacement, int cursor)
{
    TagEdit edit;
    edit.changed = true;
    edit.text = text.left(from) + replacement + text.mid(to);
    edit.cursor = cursor;
    edit.from = from;
    edit.to = to;
    edit.replacement = replacement;
    return edit;
}

} // namespace

TagPositions tagPositions(const QString &text, int position)
{
    const QString before = text.left(position);
    const QString after = text.mid(position);
    TagPositions positions;
    positions.beforeTag = lastTag(before);
    positions.beforeEnd = lastEnd(before);
    positions.afterTag = firstTag(after);
    positions.afterEnd = after.indexOf(endMarker);
    return positions;
}

TagEdit insertVoiceTag(const QString &text, int anchor, int position, const QString &voice)
{
    const int from = qMin(anchor, position);
    const int to = qMax(anchor, position);
    // A name holding "」" would end its own tag early and leave a stray bracket.
    if (from < 0 || to > text.size() || from == to || voice.isEmpty() || voice.contains(tagClose))
        return unchanged(text, position);

    // Only the moving end counts: the selection's content is not examined.
    const TagPositions at = tagPositions(text, position);
    if (at.beforeTag != -1 && at.beforeTag >= at.beforeEnd)
        return unchanged(text, position);

    const QString replacement = tagOpen + voice + tagClose + text.mid(from, to - from) + endMarker;
    return replaced(text, from, to, replacement, from + replacement.size());
}

TagEdit clearVoices(const QString &text, int position)
{
    if (position < 0 || position > text.size())
        return unchanged(text, position);

    const TagPositions at = tagPositions(text, position);
    const bool insidePassage = at.beforeTag > at.beforeEnd;
    const bool closedBeforeNextTag = at.afterEnd != -1 && (at.afterTag == -1 || at.afterTag > at.afterEnd);
    if (!insidePassage || !closedBeforeNextTag)
        return unchanged(text, position);

    // The voice tag ends at its first "」", which lies before the cursor.
    const int tagEnd = text.indexOf(tagClose, at.beforeTag) + 1;
    const int markerAt = position + at.afterEnd;
    const QString passage = text.mid(tagEnd, markerAt - tagEnd);
    return replaced(text, at.beforeTag, markerAt + endMarker.size(), passage, position - (tagEnd - at.beforeTag));
}

} // namespace TagRules
