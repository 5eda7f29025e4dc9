#pragma once

#include <QPair>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

// The voice tags of a script, defined once for everything that reads or
// writes them: the editor's tag insertion and removal, the highlighter and
// segmentation.
//
//   tagged passage = "「" voice "」" passage "「」"
//
// A voice tag is "「", at least one character other than "」", then "」"; the
// end marker "「」" therefore never reads as a tag. Text outside tagged
// passages belongs to the voice chooser's voice.
namespace TagGrammar {

constexpr char16_t tagOpen = u'「';
constexpr char16_t tagClose = u'」';

// "「」"
const QString &endMarker();

// "「([^」]+)」": group 1 is the voice written in the tag.
const QRegularExpression &voiceTag();

struct Tag {
    int start = -1; // position of its "「", -1 when there is none
    int end = -1;   // just after its "」"
    QString voice;
    bool found() const { return start >= 0; }
};

// The first tag that starts at or after `from`.
Tag findTag(const QString &text, int from = 0);

// Start of the last tag in the text, -1 when there is none. Tags may overlap
// ("「「a」" holds one at 0 and one at 1): the last one is the one that
// starts last.
int lastTagStart(const QString &text);

// Start of the last end marker in the text, -1 when there is none.
int lastEndMarker(const QString &text);

// Whether a voice name can be written into a tag: one holding "」" would end
// its own tag early and leave a stray bracket.
bool isTaggable(const QString &voice);

// "「voice」passage「」".
QString taggedPassage(const QString &voice, const QString &passage);

// Where the complete tagged passages of a set of voices lie in one line of a
// script: every match of "「" + name + "」([^「]+)「」" for every name, the name
// taken literally, each name's pattern matched globally. Instead of one
// regular expression per voice over every line, a line is scanned once for
// its tags and each tag's name is looked up in a set; the result is the same,
// because a plain name (no 「 or 」 in it) can only be the text between a 「
// and the first 」 after it, and the passage behind it then runs to the next
// 「, which must open "「」". Names the scan cannot read that way keep a
// pattern of their own, and lines that are not valid UTF-16 (where the
// patterns never match) take the patterns of every name.
class PassageFinder
{
public:
    explicit PassageFinder(const QStringList &names);

    // Start and length of each complete passage; they may overlap or repeat.
    QVector<QPair<int, int>> passages(const QString &line) const;

    // The pattern of one voice's complete passages.
    static QString pattern(const QString &name);

private:
    static void matchAll(const QVector<QRegularExpression> &rules, const QString &line,
                         QVector<QPair<int, int>> &found);

    QSet<QString> plainNames;
    QVector<QRegularExpression> otherRules;
    QVector<QRegularExpression> allRules;
};

} // namespace TagGrammar
