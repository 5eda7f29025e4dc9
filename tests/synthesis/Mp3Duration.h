#pragma once

#include <QString>
#include <QVector>

// Length of an MP3 file in seconds, found by decoding it with libmpg123 (an
// opinion independent of the player and of the service); -1 when it cannot be
// decoded.
double mp3Seconds(const QString &path);

// The sample rate the file's first frame gives; 0 when it cannot be read.
long mp3SampleRate(const QString &path);

// Where speech begins in an MP3 file, in milliseconds: each 10 ms window
// loud enough to be speech after at least `minGapMs` of quiet (the file's
// start counts as quiet). Empty when it cannot be decoded.
QVector<double> mp3SpeechOnsetsMs(const QString &path, int minGapMs = 250);
