#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

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
};

struct JoinRequest {
    QStringList media; // the passages' MP3 files, in script order
    QString folder;    // where output.mp3 goes, ending in "/"
    int pauseMs = 0;
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

signals:
    void succeeded();
    void failed(const QString &text, const QString &title);
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
