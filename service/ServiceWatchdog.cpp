#include "ServiceWatchdog.h"

#include "ServiceContract.h"
#include "ServiceOwnership.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QProcess>
#include <QTimer>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {
Q_LOGGING_CATEGORY(watchdogLog, "lumo.service")

// How long a leftover service may take to end before its port is given up.
constexpr int leftoverWaitMs = 3000;

quint16 portOf(const QStringList &arguments)
{
    const int at = arguments.indexOf(QStringLiteral("--port"));
    bool ok = false;
    const uint port = at >= 0 ? arguments.value(at + 1).toUInt(&ok) : 0;
    return ok && port <= 65535 ? quint16(port) : quint16(contract::process::defaultPort);
}
} // namespace

ServiceWatchdog::ServiceWatchdog(const QString &program, const QStringList &arguments, QObject *parent)
    : QObject(parent)
    , m_program(program)
    , m_arguments(arguments)
    , m_process(new QProcess(this))
    , m_port(portOf(arguments))
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
    // Before the first try, so that nobody talks to the leftover meanwhile.
    replaceLeftover();
    launch();
}

bool ServiceWatchdog::replaceLeftover()
{
    if (m_replacedLeftover)
        return false;
    const QString folder =
        m_process->workingDirectory().isEmpty() ? QDir::currentPath() : m_process->workingDirectory();
    if (!ServiceOwnership::endLeftoverOnPort(m_port, folder, leftoverWaitMs))
        return false;
    qCWarning(watchdogLog, "a speech service left behind held port %u; it was ended", unsigned(m_port));
    m_replacedLeftover = true;
    return true;
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
    m_process->start(m_program, m_arguments + ServiceOwnership::parentArguments(QCoreApplication::applicationPid()),
                     QIODevice::ReadWrite);
}

void ServiceWatchdog::onFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!m_watching)
        return;
    if (status == QProcess::NormalExit && exitCode == contract::process::exitPortTaken) {
        onPortTaken();
        return;
    }
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

void ServiceWatchdog::onPortTaken()
{
    // A leftover that took the port after the start, once.
    if (replaceLeftover()) {
        QTimer::singleShot(restartDelayMs, this, [this] { launch(); });
        return;
    }
    qCWarning(watchdogLog, "port %u is held by another process; the speech service cannot listen", unsigned(m_port));
    m_watching = false;
    emit portTaken(m_port);
}
