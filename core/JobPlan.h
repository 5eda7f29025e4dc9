#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// What one synthesis job renders and how it delivers it, settled before the
// job starts: the page reads its widgets into it once, and nothing the user
// does during the job changes it.

enum class JobMode {
    TryListen = 0, // the output is played in the page's player
    Result = 1,    // the job folder is opened in the file browser
};

struct Passage {
    int number = 0; // from 1, in script order, without gaps; names the passage's files
    QString text;   // never empty or blank
    QString voice;  // identifier; empty only for chooser text when no voice is chosen
    QString reading; // numbered pinyin read instead of the text's own; empty: the service's reading
    // On a timeline: the cue this passage speaks, from 1 in script order, and
    // where its speech should start and the cue end; 0 and -1 otherwise.
    int cue = 0;
    qint64 startMs = -1;
    qint64 endMs = -1;
};

struct JobPlan {
    JobMode mode = JobMode::Result;
    QString rates;   // percent text of the contract, "+0%"
    QString volumes; // the same
    int pauseMs = 0; // between passages; 0: none
    QString folder;  // the job folder, absolute, ending in "/"
    QVector<Passage> passages;
    // A script of cue lines is spoken on the timeline: each passage starts at
    // its cue's time, with silence between, instead of one after another.
    bool timeline = false;
    // Also write output.wav beside output.mp3.
    bool writeWav = false;
    // Lines of the script that could not be spoken as written (a cue marker
    // whose times cannot be used), for the user, in script order.
    QStringList skipped;

    QString mediaPath(const Passage &passage) const
    {
        return folder + QString::number(passage.number) + QStringLiteral(".mp3");
    }
    QString subtitlePath(const Passage &passage) const
    {
        return folder + QString::number(passage.number) + QStringLiteral(".srt");
    }
    QString outputPath() const { return folder + QStringLiteral("output.mp3"); }
    QString outputSubtitlePath() const { return folder + QStringLiteral("output.srt"); }
    QString outputWavPath() const { return folder + QStringLiteral("output.wav"); }
};
