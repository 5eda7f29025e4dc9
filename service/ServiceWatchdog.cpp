#include "ServiceWatchdog.h"

#include <QLoggingCategory>
#include <QProcess>
#include <QTimer>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {
Q_LOGGING_CATEGORY(watchdogLog, "lumo.service")
}

ServiceWatchdog::ServiceWatchdog(const QString &program, const QStringList &arguments, QObject *parent)
    : QObject(parent)
    , m_program(program)
    , m_arguments(arguments)
    , m_process(new QProcess(this))
{
#ifdef Q_OS_WIN
    // A console of its own, with the standard streams left to that console, so
    // that the service's messages stay readable for the user.
    m_process->setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *args) {
        args->flags |= CREATE_NEW_CONSOLE;
        args->startupInfo->dwFlags &= ~STARTF_USESTDHANDLES;
    });
#else
    // No console here: the service writes into the program's own output.
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
#endif
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &ServiceWatchdog::onFinished);
    m_clock.start();
}

ServiceWatchdog::~ServiceWatchdog()
{
    stop();
}

void ServiceWatchdog::start()
{
    m_watching = true;
    launch();
}

void ServiceWatchdog::stop()
{
    m_watching = false;
    if (m_process->state() != QProcess::NotRunning)
        m_process->close();
}

void ServiceWatchdog::launch()
{
    if (!m_watching || m_process->state() != QProcess::NotRunning)
        return;
    m_process->start(m_program, m_arguments, QIODevice::ReadWrite);
}

void ServiceWatchdog::onFinished()
{
    if (!m_watching)
        return;
    if (!m_budget.allow(m_clock.elapsed())) {
        qCWarning(watchdogLog, "the speech service keeps ending; not starting it again");
        m_watching = false;
        if (!m_gaveUp) {
            m_gaveUp = true;
            emit gaveUp();
        }
        return;
    }
    qCWarning(watchdogLog, "the speech service ended (exit code %d); starting it again", m_process->exitCode());
    ++m_restarts;
    // Not from inside the process object's own signal.
    QTimer::singleShot(restartDelayMs, this, [this] {
        launch();
        if (m_watching)
            emit restarted();
    });
}
