#pragma once

#include "JobPlan.h"
#include "SpeechClient.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

// What one job leaves to the next. The folder of a try-listen job that was
// played is cleared when the next job starts; a result job's folder is the
// user's and is never touched again.
struct JobTrail {
    // The mode of the last job whose output was delivered.
    JobMode lastDelivered = JobMode::Result;
    // The folder of the last job that got as far as naming one.
    QString lastFolder;
};

// One synthesis job: every passage of the plan rendered at once, then joined
// in script order with the plan's pause into the job folder's output.mp3.
// It runs in the thread it lives in (the GUI thread on the page); only the
// passages' requests run elsewhere, and their reports arrive queued.
//
// Every wait is bounded (JobLimits): a passage whose report does not come in
// time counts as not answered, and the join gives up after its own bound. A
// passage that failed because the service could not be reached or did not
// answer is tried once more before it counts as failed.
//
// Signals, in the order they come:
//   refused(title, text)         the plan cannot go ahead; nothing was started
//                                or cleared, and nothing else follows but finished()
//   stateChanged(state)          on every change of state()
//   progress(done, total)        0 of N once started, then as passages report,
//                                at most every JobLimits::progressIntervalMs,
//                                and always N of N before the join
//   passageFinished(number, ok)  once per passage, in the order they finish
//   warning(title, text)         something the user must be told: passages
//                                that failed (before the join), a failed join
//   joining()                    every passage has reported; the join is next
//   joined(ok)                   the service answered the join
//   adjusted(title, text)        a timeline job that sped up or shifted cues,
//                                or skipped lines it could not use: which and
//                                by how much, for the user (before delivered())
//   delivered()                  output.mp3 is there; the plan's mode says
//                                what to do with it
//   cancelled()                  cancel() ended the job; nothing is told or delivered
//   finished()                   the job is over, whatever the outcome
class SynthesisJob : public QObject
{
    Q_OBJECT

public:
    enum class State { Ready, Refused, Rendering, Joining, Delivered, Failed, Cancelled };
    Q_ENUM(State)

    // What the timeline did to one cue so that it fits before the next.
    struct CueAdjustment {
        int cue = 0;        // the passage's cue number
        int rate = 0;       // the rate it was spoken at, percent
        bool spedUp = false; // rendered again faster than the plan's rate
        qint64 shiftMs = 0;  // how much later than its time it starts
    };

    struct Failure {
        int passage = 0; // the passage's number
        QString text;
        QString title;
    };

    SynthesisJob(const JobPlan &plan, SpeechClient &client, const JobTrail &trail = JobTrail(),
                 QObject *parent = nullptr);
    ~SynthesisJob() override;

    // Refuses the plan or starts every passage; true when it started.
    bool start();
    // Ends a running job at once: the passages still at work are given up,
    // no join is started (one in flight is aborted), the job's folder and
    // every file in it are removed (and again a little later: the service may
    // still finish a passage it had taken). Nothing is told: the user asked for it.
    // False when there was nothing to cancel.
    bool cancel();

    // Deletes the files of a job folder, hidden ones too, and then the folder
    // if that left it empty; subfolders are neither entered nor removed.
    // Failures are not reported.
    static void clearFolder(const QString &path);

    State state() const { return m_state; }
    // From start() until finished(). A join that was cancelled while in
    // flight still counts until it has returned, a moment later.
    bool isRunning() const;
    bool isDelivered() const { return m_state == State::Delivered; }
    const JobPlan &plan() const { return m_plan; }
    // The trail for the next job: the one given, updated by what this job did.
    JobTrail trail() const { return m_trail; }
    // The passages that failed, by number.
    QVector<Failure> failures() const;
    // The cues a delivered timeline job sped up or shifted, by cue number.
    QVector<CueAdjustment> adjustments() const { return m_adjustments; }
    // Passages that have reported for good (a retry pending does not count).
    int passagesDone() const { return m_reportCount; }

signals:
    void refused(const QString &title, const QString &text);
    void stateChanged(SynthesisJob::State state);
    void progress(int done, int total);
    void passageFinished(int number, bool succeeded);
    void warning(const QString &title, const QString &text);
    void joining();
    void joined(bool succeeded);
    void adjusted(const QString &title, const QString &text);
    void delivered();
    void cancelled();
    void finished();

private:
    bool refuse(const QString &title, const QString &text);
    void setState(State state);
    void launch(int index);
    // Lets go of a passage's task: waits for a task that has reported, gives
    // up one that has not.
    void releaseTask(int index, bool reported);
    void report(int index, int attempt, bool succeeded, const QString &text, const QString &title, bool retryable,
                bool fromTask);
    void renderingDone();
    // Renders again faster the cues whose speech overruns their slot; false
    // when none needs it (or two rounds have been tried).
    bool startFitRound();
    void fitReported(int index, bool succeeded);
    QString attemptMedia(int index) const;
    QString attemptSubtitles(int index) const;
    void checkDeadlines();
    void updateProgress();
    void showProgress();
    void joinAndDeliver();
    // Tells the user what the timeline moved; `moves` by placing order.
    void tellAdjustments(const QVector<TimelineMove> &moves);
    void endCancelled();

    JobPlan m_plan;
    SpeechClient &m_client;
    JobTrail m_trail;
    State m_state = State::Ready;
    QVector<PassageTask *> m_tasks;
    QVector<bool> m_reported;
    QVector<int> m_attempts;
    QVector<qint64> m_deadlines; // on m_clock, for the current attempt
    int m_reportCount = 0;
    QVector<Failure> m_failures;
    QVector<int> m_failedIndexes; // beside m_failures
    QElapsedTimer m_clock;
    qint64 m_progressShownAt = 0;
    QTimer m_progressTimer;
    QTimer m_deadlineTimer;
    bool m_inJoin = false;
    QVector<CueAdjustment> m_adjustments;
    // The timeline: the plan's rate, each passage's rate (of its file and of
    // the rendering in flight), the placing order (by cue time, script order
    // among equals) and the fitting rounds.
    int m_planRate = 0;
    QVector<int> m_rates;
    QVector<int> m_tryRates;
    QVector<bool> m_noFit; // not to be rendered faster: it failed, or a faster rendering did
    QVector<int> m_order;
    int m_fitRound = 0;
    int m_fitPending = 0;
};
