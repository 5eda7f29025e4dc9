#pragma once

#include "RestartBudget.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;

// Keeps the speech service running: when its process ends while it is being
// watched (it crashed, was killed, or quit), it is started again, at most
// three times a minute; after that it is left down and gaveUp() is emitted,
// once. A program that cannot be started at all is not retried: there is
// nothing a restart could change.
class ServiceWatchdog : public QObject
{
    Q_OBJECT

public:
    ServiceWatchdog(const QString &program, const QStringList &arguments, QObject *parent = nullptr);
    // Stops the process it started, without a restart.
    ~ServiceWatchdog() override;

    // Starts the program and watches it.
    void start();
    // Watches no more, then closes the process (ends it and waits for it).
    void stop();

    QProcess *process() const { return m_process; }
    int restartCount() const { return m_restarts; }

    // Pause between the end of the process and the restart.
    static constexpr int restartDelayMs = 100;

signals:
    void restarted();
    void gaveUp();

private:
    void launch();
    void onFinished();

    QString m_program;
    QStringList m_arguments;
    QProcess *m_process = nullptr;
    RestartBudget m_budget;
    QElapsedTimer m_clock;
    bool m_watching = false;
    bool m_gaveUp = false;
    int m_restarts = 0;
};
