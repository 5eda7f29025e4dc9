#include "ServiceProcess.h"

#include "ServiceWatchdog.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#ifndef Q_OS_WIN
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {
ServiceWatchdog *serviceWatchdog = nullptr;

#ifndef Q_OS_WIN
// Pids of every process whose executable is the service. Linux cuts the short
// process name to 15 characters, so the executable path is matched instead of
// the name; processes we may not inspect fall back to their first argument.
QList<pid_t> servicePids()
{
    const QString name = ServiceProcess::executableName();
    QList<pid_t> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        const pid_t pid = entry.toInt(&isPid);
        if (!isPid || pid == getpid())
            continue;

        QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(entry));
        exe.remove(QStringLiteral(" (deleted)"));
        if (exe.isEmpty()) {
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
            if (cmdline.open(QIODevice::ReadOnly))
                exe = QString::fromLocal8Bit(cmdline.readAll().split('\0').value(0));
        }
        if (!exe.isEmpty() && QFileInfo(exe).fileName() == name)
            pids.append(pid);
    }
    return pids;
}

bool isGone(pid_t pid)
{
    // A zombie has released everything and no longer runs.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) == "Z";
}
#endif
} // namespace

namespace ServiceProcess {

QString executableName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("Sayora_server_Tavrel.exe");
#else
    return QStringLiteral("Sayora_server_Tavrel");
#endif
}

QProcess *process()
{
    return serviceWatchdog ? serviceWatchdog->process() : nullptr;
}

ServiceWatchdog *watchdog()
{
    return serviceWatchdog;
}

void start(const QString &workDir)
{
    if (serviceWatchdog)
        return;
    serviceWatchdog = new ServiceWatchdog(workDir + QStringLiteral("server/") + executableName(), QStringList());
    serviceWatchdog->start();
}

void stop(int waitMs)
{
    if (serviceWatchdog) {
        // Watching stops first: the end of the process is no crash to mend.
        serviceWatchdog->stop();
        delete serviceWatchdog;
        serviceWatchdog = nullptr;
    }

#ifdef Q_OS_WIN
    QProcess taskkill;
    taskkill.start(QStringLiteral("taskkill /f /im Sayora_server_Tavrel.exe"), QIODevice::ReadWrite);
    taskkill.waitForFinished(waitMs);
#else
    const QList<pid_t> pids = servicePids();
    for (pid_t pid : pids)
        ::kill(pid, SIGKILL);

    QElapsedTimer clock;
    clock.start();
    for (pid_t pid : pids) {
        while (!isGone(pid) && clock.elapsed() < waitMs)
            QThread::msleep(10);
    }
#endif
}

} // namespace ServiceProcess
