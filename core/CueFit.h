#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// The rules of fitting cues into their slots on a timeline: how long a
// rendered passage speaks, how long it may speak, and how much faster to say
// it again when it does not fit.
namespace CueFit {

// Where the speech of a rendered passage lies in its MP3, read from the
// subtitle file the service wrote beside it: from the first cue's start to
// the last cue's end. Nothing when the file cannot be read or holds no cue.
struct Speech {
    qint64 leadMs = 0; // silence before the first word
    qint64 endMs = 0;  // where the last word ends
    qint64 lengthMs() const { return endMs - leadMs; }
};
std::optional<Speech> speechIn(const QString &subtitlePath);

// After each passage's speech the service keeps a short tail before the
// next may start (a few MP3 frames); a cue fits when its speech, this tail
// and the next passage's lead silence end before the next cue's time.
constexpr qint64 kTailMs = 200;

// How long the speech of each cue may last, by index of `startsMs` (the
// cues' times, in the order they are placed, not decreasing): until the next
// cue's time, less the tail and the next passage's lead (`nextLeadMs`, by
// the same index; 0 where unknown). The last cue has no limit: -1.
QVector<qint64> slotsMs(const QVector<qint64> &startsMs, const QVector<qint64> &nextLeadMs);

// The fastest a cue may be said: one and a half times the plan's speed,
// within what the service accepts.
int maxRate(int planRate);

// The rate at which speech that lasts `speechMs` at `rate` should last at
// most `slotMs`: the voice's speed scales with 100 + rate, so the length with
// its inverse; a little faster than the estimate, never slower than `rate`,
// never past `ceiling`. `rate` itself when the speech fits already.
int fittingRate(int rate, qint64 speechMs, qint64 slotMs, int ceiling);

// One cue the timeline changed.
struct Change {
    int cue = 0;
    bool spedUp = false;
    int rate = 0;       // when spedUp
    qint64 shiftMs = 0; // later than its time; 0: on time
};

// What the user is told at the end: each changed cue by its number with the
// rate used and the shift in seconds, then the lines that were skipped.
// Empty when nothing changed and nothing was skipped.
QString reportText(const QVector<Change> &changes, const QStringList &skipped);

} // namespace CueFit
