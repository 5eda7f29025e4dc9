#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// What a synthesis job needs of the speech service. The job is plain Qt Core
// and knows no HTTP: the service client (service/ServiceClient) implements
// this over the service's endpoints, and a test may script it.

// The outcome of one request as the user would be told of it.
struct SpeechAnswer {
    bool succeeded = false;
    QString text;  // when it failed: the message
    QString title; // when it failed: the caption
};

struct PassageRequest {
    QString text;
    QString voice;
    QString rates;
    QString volumes;
    QString media;     // the MP3 file to write
    QString subtitles; // the SRT file to write
    QString reading;   // the passage's reading, when it is not the service's own
    // How long to wait for the service's answer; 0: no bound.
    int timeoutMs = 0;
    // 0 for the first try. A retry follows a failure to reach the service, so
    // it first waits (up to timeoutMs) for the service to listen again.
    int attempt = 0;
};

struct JoinRequest {
    QStringList media; // the passages' MP3 files, in script order
    QString folder;    // where output.mp3 goes, ending in "/"
    int pauseMs = 0;
    bool writeWav = false; // also output.wav
    // How long to wait for the service's answer; 0: no bound.
    int timeoutMs = 0;
    // Asked now and then while the join waits; true gives it up at once.
    std::function<bool()> cancelled;
};

// Placing the passages on a timeline: each one's speech starts at its time,
// the silence between written as samples, into the folder's output.mp3 and
// output.srt (one cue per passage, as spoken).
struct TimelineRequest {
    QStringList media;      // the passages' MP3 files, in script order; a missing one is left out
    QVector<qint64> startsMs; // where each one's speech should start
    QVector<qint64> endsMs;   // where each one's cue ends
    qint64 endMs = 0;         // the least length of output.mp3
    QString folder;           // ending in "/"
    bool writeWav = false;
    int timeoutMs = 0;        // 0: no bound
    std::function<bool()> cancelled;
};

// A passage that could not start at its time: the one before it was still speaking.
struct TimelineMove {
    int number = 0;     // its place in TimelineRequest::media, from 1
    qint64 shiftMs = 0; // how much later than asked its speech starts
};

// The rendering of one passage. It reports exactly once, with one of the two
// signals, delivered in the thread the task lives in.
class PassageTask : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts the work and returns at once; false when it could not start, in
    // which case it never reports.
    virtual bool start() = 0;
    // Waits until the work has ended; called once the task has reported.
    virtual void finish() = 0;
    // Gives the work up: a request in flight is aborted where the client can,
    // and the task reports nothing more. The task may then be deleted at once.
    virtual void cancel() {}

signals:
    void succeeded();
    // `retryable`: the service could not be reached or did not answer, so the
    // same request may well succeed once it is back.
    void failed(const QString &text, const QString &title, bool retryable = false);
};

class SpeechClient
{
public:
    virtual ~SpeechClient() = default;

    // How many passages may render at once; a job with more is refused
    // before anything starts.
    virtual int passageLimit() = 0;
    // A task for one passage, not started; the caller owns it.
    virtual PassageTask *renderPassage(const PassageRequest &request) = 0;
    // Joins the passages into the folder's "output.mp3" and returns when the
    // service has answered; the calling thread's events keep moving meanwhile.
    virtual SpeechAnswer join(const JoinRequest &request) = 0;
    // Places the passages at their times, like join(); fills `moves` on success.
    virtual SpeechAnswer place(const TimelineRequest &request, QVector<TimelineMove> &moves)
    {
        Q_UNUSED(request)
        moves.clear();
        return {false, QStringLiteral("语音服务不支持按字幕时间合成"), QStringLiteral("合成结果")};
    }
};
