#pragma once

#include "SubtitleImport.h"

#include <QString>
#include <QStringList>
#include <QVector>

// The cue times a script line carries when it comes from a subtitle file:
// a marker at the start of the line, which the user sees and may edit in the
// editor, and which is never spoken.
//
//   cue line = [blanks] "[" start " --> " end "]" [" "] text
//   time     = "HH:MM:SS,mmm" as SubtitleImport::parseTime reads it
//
//   [00:01:02,500 --> 00:01:04,000] 「云溪」你好「」
//
// The text after the marker is script text as on any other line: voice tags
// work there as usual. A marker holds only ASCII brackets, digits, ":", ",",
// ".", blanks and "-->", so it never reads as a voice tag (「…」). A bracket at
// the start of the line holding "-->" is a marker even when its times cannot
// be read (or the end comes before the start): such a line is not spoken as
// text but reported, so that a typo in a time never reaches the voice.
namespace CueMarker {

// "HH:MM:SS,mmm"; hours grow past two digits when they must.
QString formatTime(qint64 ms);

// "[HH:MM:SS,mmm --> HH:MM:SS,mmm]"
QString marker(qint64 startMs, qint64 endMs);

// A cue's text made fit for one script line: line breaks become blanks, and
// the corner brackets that would read as voice tags become 『』.
QString scriptText(const QString &text);

// marker + " " + scriptText(text)
QString scriptLine(qint64 startMs, qint64 endMs, const QString &text);

// One script line per imported cue, in the cues' order.
QStringList scriptLines(const QVector<SubtitleImport::Cue> &cues);

enum class Kind {
    None,    // no marker: an ordinary line
    Valid,   // times read, end not before start
    Invalid, // a marker whose times cannot be used
};

struct Line {
    Kind kind = Kind::None;
    qint64 startMs = -1;
    qint64 endMs = -1;
    int markerStart = -1; // where the marker's "[" is in the line
    int markerLength = 0; // up to and with its "]"
    QString text;         // the line without its marker, trimmed, voice tags kept; the line itself when None
};

// Reads one line of a script (no line break in it).
Line read(const QString &line);

// Whether any line of the script carries a valid marker: such a script is
// rendered on the timeline.
bool hasCueLines(const QString &script);

// For the highlighter: the markers in one text block (one line), with
// whether each can be used.
struct Range {
    int start = 0;
    int length = 0;
    bool valid = false;
};
QVector<Range> markerRanges(const QString &block);

} // namespace CueMarker
