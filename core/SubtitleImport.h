#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QVector>

#include <optional>

// Reading subtitle files (.srt, .vtt, .lrc) into cues for dubbing, the way
// they come from the field: UTF-8 with or without BOM, UTF-16 with BOM or
// GB18030; CRLF, LF or CR; cue numbers missing or out of order; cues of
// several lines; <i>, <font …>, {\an8} and the like around the words. A cue
// whose time cannot be read, or that ends before it starts, is reported by
// the number the file gives it and skipped; the rest is imported. Cues that
// overlap are kept, and reported.
namespace SubtitleImport {

enum class Format { Srt, Vtt, Lrc };

struct Cue {
    QString id;        // as the file names it ("12", "intro"); empty when it does not
    int line = 0;      // the file's line where the cue begins, from 1
    qint64 startMs = 0;
    qint64 endMs = 0;
    QString text;      // styling stripped, its lines joined by a blank
};

enum class Problem {
    UnreadableTime, // skipped
    EndBeforeStart, // skipped
    NoText,         // skipped: nothing is left to say once the styling is gone
    Overlap,        // kept: it starts before an earlier cue has ended
};

struct Issue {
    Problem problem = Problem::UnreadableTime;
    QString id;
    int line = 0;
    QString otherId; // Overlap: the cue it overlaps
    int otherLine = 0;
};

struct Result {
    QVector<Cue> cues;        // by start time; cues that start together keep the file's order
    QVector<Issue> skipped;   // in the file's order
    QVector<Issue> overlaps;
};

// The file's format from its name's suffix, in any case; nothing for others.
std::optional<Format> formatOf(const QString &fileName);

// Text of a subtitle file: a UTF-8 or UTF-16 byte order mark decides; without
// one, bytes that are valid UTF-8 are UTF-8 and anything else is GB18030.
QString decodeText(const QByteArray &bytes);

// "H:MM:SS,mmm" with one or more hour digits, or "MM:SS,mmm" without hours;
// "." may stand for ","; the milliseconds may have one to three digits (a
// fraction of a second) or be left out. Minutes and seconds below 60.
std::optional<qint64> parseTime(QStringView text);

// The words of a cue line without markup: HTML-like tags (<i>, </b>,
// <font color="…">, WebVTT's <c.x> and <v Name>), word times (<00:01.250>),
// override blocks ({\an8}, {\i1}) and "\N" line breaks.
QString stripStyling(const QString &text);

Result parse(const QString &text, Format format);
Result parseSrt(const QString &text);
Result parseVtt(const QString &text);
// LRC lines carry start times only: a cue ends where the next begins (a time
// tag with no words ends the one before it), the last one kLrcLastCueMs after
// its start. [offset:±ms] moves every time earlier by that much.
Result parseLrc(const QString &text);
constexpr qint64 kLrcLastCueMs = 5000;

// Reads and parses a file; false with a message for the user when it cannot
// be read or its type is not one of ours.
bool readFile(const QString &path, Result &result, QString &error);

// The line the user is shown for an issue, for example
// "字幕 12（第 48 行）：时间无法识别，已跳过".
QString describe(const Issue &issue);

} // namespace SubtitleImport
