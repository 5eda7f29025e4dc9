#include "TagRules.h"

#include "TagGrammar.h"

namespace TagRules {

namespace {

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
    positions.beforeTag = TagGrammar::lastTagStart(before);
    positions.beforeEnd = TagGrammar::lastEndMarker(before);
    positions.afterTag = TagGrammar::findTag(after).start;
    positions.afterEnd = after.indexOf(TagGrammar::endMarker());
    return positions;
}

TagEdit insertVoiceTag(const QString &text, int anchor, int position, const QString &voice)
{
    const int from = qMin(anchor, position);
    const int to = qMax(anchor, position);
    if (from < 0 || to > text.size() || from == to || !TagGrammar::isTaggable(voice))
        return unchanged(text, position);

    // Only the moving end counts: the selection's content is not examined.
    const TagPositions at = tagPositions(text, position);
    if (at.beforeTag != -1 && at.beforeTag >= at.beforeEnd)
        return unchanged(text, position);

    const QString replacement = TagGrammar::taggedPassage(voice, text.mid(from, to - from));
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

    // The voice tag ends before the cursor.
    const int tagEnd = TagGrammar::findTag(text, at.beforeTag).end;
    const int markerAt = position + at.afterEnd;
    const QString passage = text.mid(tagEnd, markerAt - tagEnd);
    return replaced(text, at.beforeTag, markerAt + TagGrammar::endMarker().size(), passage,
                    position - (tagEnd - at.beforeTag));
}

} // namespace TagRules
