#pragma once

#include "JobPlan.h"
#include "SpeechClient.h"

#include <QObject>
#include <QString>
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
// Signals, in the order they come:
//   refused(title, text)         the plan cannot go ahead; nothing was started
//                                or cleared, and nothing else follows but finished()
//   passageFinished(number, ok)  once per passage, in the order they finish
//   warning(title, text)         something the user must be told: passages
//                                that failed (before the join), a failed join
//   joining()                    every passage has reported; the join is next
//   joined(ok)                   the service answered the join
//   delivered()                  output.mp3 is there; the plan's mode says
//                                what to do with it
//   finished()                   the job is over, whatever the outcome
class SynthesisJob : public QObject
{
    Q_OBJECT

public:
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

    bool isRunning() const { return m_state == State::Running; }
    bool isDelivered() const { return m_state == State::Delivered; }
    const JobPlan &plan() const { return m_plan; }
    // The trail for the next job: the one given, updated by what this job did.
    JobTrail trail() const { return m_trail; }
    // The passages that failed, by number.
    QVector<Failure> failures() const;

signals:
    void refused(const QString &title, const QString &text);
    void passageFinished(int number, bool succeeded);
    void warning(const QString &title, const QString &text);
    void joining();
    void joined(bool succeeded);
    void delivered();
    void finished();

private:
    enum class State { Ready, Refused, Running, Delivered, Failed };

    bool refuse(const QString &title, const QString &text);
    void report(int index, bool succeeded, const QString &text, const QString &title);
    void joinAndDeliver();

    JobPlan m_plan;
    SpeechClient &m_client;
    JobTrail m_trail;
    State m_state = State::Ready;
    QVector<PassageTask *> m_tasks;
    QVector<bool> m_reported;
    int m_reportCount = 0;
    QVector<Failure> m_failures;
};
