#pragma once

#include <QString>

// Where the voice tags lie around the cursor, and what inserting or clearing a
// tag does to the script. Plain functions of the text and the cursor, so the
// editor only applies their result.
//
// The tags are those of TagGrammar. The text may hold its line breaks either
// as '\n' or as U+2029 (what a QTextCursor selection returns); the rules treat
// them as ordinary characters and give them back unchanged, so the caller
// decides how they become paragraphs.
namespace TagRules {

// Positions of the last voice tag and the last end marker before the cursor
// (counted from the start of the text), and of the first of each after it
// (counted from the cursor). −1 where there is none.
struct TagPositions {
    int beforeTag = -1;
    int beforeEnd = -1;
    int afterTag = -1;
    int afterEnd = -1;
};

// One change of the script: the range [from, to) of the old text is replaced
// by `replacement`, which gives `text`; `cursor` is where the cursor belongs
// in the new text. When `changed` is false the text stays as it was.
struct TagEdit {
    bool changed = false;
    QString text;
    int cursor = 0;
    int from = 0;
    int to = 0;
    QString replacement;
};

TagPositions tagPositions(const QString &text, int position);

// Wraps the selection between `anchor` and `position` (the moving end) in a
// passage of `voice`, unless the selection is empty or the moving end lies in
// a passage whose voice tag is still open.
TagEdit insertVoiceTag(const QString &text, int anchor, int position, const QString &voice);

// Removes the voice tag and the end marker of the passage the cursor is in,
// keeping the passage text. Only when a voice tag before the cursor is open
// and the first end marker after the cursor comes before any further tag.
TagEdit clearVoices(const QString &text, int position);

} // namespace TagRules
