#pragma once

#include "SubtitleImport.h"

#include <QList>
#include <QString>
#include <QUrl>

// What importing a subtitle file into the editor does: the script it gives
// (one cue line per usable cue) and what the user is told about the cues
// that could not be used or that overlap. The window only applies it.
namespace CueImport {

// A box lists at most this many cues; the rest are counted after "等".
constexpr int kMaxListed = 10;

// One SubtitleImport::describe() line per issue, the first `maxListed` of
// them, then "等，共 N 条" when there are more.
QString issueList(const QVector<SubtitleImport::Issue> &issues, int maxListed = kMaxListed);

struct Notice {
    enum class Level { None, Information, Warning };
    Level level = Level::None;
    QString title;
    QString text;
};

struct Outcome {
    // Whether the editor's script is replaced by `script`; a file with no
    // usable cue leaves the editor as it is.
    bool replace = false;
    QString script; // the cue lines, joined by line breaks
    Notice notice;
};

// The box title of every import notice.
QString title();

// The import of a file that was read: cue lines for the editor; skipped
// cues as a warning, overlaps (kept) as information, both in one notice.
Outcome outcome(const SubtitleImport::Result &result, const QString &fileName);

// Reads `path` (SubtitleImport::readFile) and gives its outcome; a file that
// cannot be read gives a warning with the reason and no replacement.
Outcome importFile(const QString &path);

// Whether a path names a file of a subtitle format we import.
bool isSubtitlePath(const QString &path);

// The subtitle file a drop carries: only a drop of exactly one local file
// whose suffix is ours; empty for anything else, which the editor handles
// as it always has.
QString droppedSubtitle(const QList<QUrl> &urls);

} // namespace CueImport
