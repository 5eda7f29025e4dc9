#pragma once

#include "JobPlan.h"

#include <QString>
#include <QVector>

// Cutting a script into the passages of a job: tagged passages go to their
// tag's voice, all other text to the chooser's voice, each passage folded
// (line breaks become "，") and numbered in script order.
namespace Segmentation {

struct Input {
    QString script;          // the editor's plain text
    int rate = 0;            // the rate box's value, percent
    int volume = 0;          // the volume box's value, percent
    int pauseMs = 0;         // the pause box's value
    QString chooserVoice;    // identifier of the voice chooser's voice (may be empty)
    QString audioDir;        // ends in "/"
    qint64 startMsecs = 0;   // the job's start time, names its folder
    JobMode mode = JobMode::Result;
    bool writeWav = false;   // also output.wav
};

// Line breaks become "，" and runs of "，" collapse to one; nothing is trimmed.
QString fold(const QString &text);

// Whether a folded piece is worth sending: not empty, not a lone "，" left
// over from a line break, and not only blanks (the service refuses a blank
// text, and other spacing alone says nothing either).
bool isSpeakable(const QString &piece);

// The passages of a script, numbered from 1. A tag's voice is written as the
// picker shows it and comes back as its identifier; text outside tagged
// passages gets `chooserVoice`. Pieces that are not speakable are skipped and
// take no number.
QVector<Passage> passages(const QString &script, const QString &chooserVoice);

// A script with cue lines (CueMarker::hasCueLines): one passage per cue line,
// spoken by the voice the script gives the line's first words (its tag's, or
// the chooser's), with its cue's times and number (from 1, in script order).
// Lines without a marker belong to the cue line before them; before the
// first cue line they are a cue of their own at 0 ms. Lines whose marker
// cannot be used are described in `skipped` and not spoken.
QVector<Passage> timelinePassages(const QString &script, const QString &chooserVoice, QStringList *skipped = nullptr);

// The whole plan: the passages, rate and volume in the contract's percent
// form, the pause, and the job folder (audioDir + start time + "/"); a
// script with cue lines gives a timeline plan.
JobPlan plan(const Input &input);
// The same plan for passages chosen elsewhere (a part of the script, a
// corrected reading); `input.script` and `input.chooserVoice` are not read.
JobPlan plan(const Input &input, const QVector<Passage> &passages);

// A stretch of the script, [from, to).
struct Range {
    int from = 0;
    int to = 0;
};

// What a listen to part of the script takes: the selection between `anchor`
// and `position`, or, when it is empty, the line the cursor is on (without
// its line break).
Range listenRange(const QString &script, int anchor, int position);

// The passages of one stretch of the script, each with the voice the whole
// script gives it there (its tag's, or `chooserVoice`), folded and numbered
// from 1 like passages(). Tags and end markers, or the parts of them inside
// the stretch, are not text; over the whole script this is passages().
QVector<Passage> passagesIn(const QString &script, Range range, const QString &chooserVoice);

} // namespace Segmentation
