#pragma once

#include "RestartBudget.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// Keeps the speech service running: when its process ends while it is being
// watched (it crashed, was killed, or quit), it is started again, at most
// three times a minute; after that it is left down and gaveUp() is emitted,
// once. A program that cannot be started at all is not retried: there is
// nothing a restart could change.
//
// The service is started tied to this program (it ends when the program
// ends, however that happens). When it cannot listen because its port is
// held, a leftover service of the same working folder holding it is ended
// and the service started again, once; anything else holding the port is
// reported by portTaken(), and no restart is tried.
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
    // The port the service listens on: its "--port" argument, else the default.
    quint16 port() const { return m_port; }

    // Pause between the end of the process and the restart.
    static constexpr int restartDelayMs = 100;

signals:
    void restarted();
    void gaveUp();
    // Another process holds the port; the service is left down.
    void portTaken(quint16 port);

private:
    void launch();
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onPortTaken();
    bool replaceLeftover();

    QString m_program;
    QStringList m_arguments;
    QProcess *m_process = nullptr;
    RestartBudget m_budget;
    QElapsedTimer m_clock;
    bool m_watching = false;
    bool m_gaveUp = false;
    bool m_replacedLeftover = false;
    int m_restarts = 0;
    quint16 m_port = 0;
};
