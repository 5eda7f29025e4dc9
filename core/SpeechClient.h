#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

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
    // How long to wait for the service's answer; 0: no bound.
    int timeoutMs = 0;
    // Asked now and then while the join waits; true gives it up at once.
    std::function<bool()> cancelled;
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
};
