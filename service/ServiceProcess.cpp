#include "ServiceProcess.h"

#include "ServiceContract.h"
#include "ServiceWatchdog.h"

#include <QProcess>

#ifndef Q_OS_WIN
#include "ServiceOwnership.h"

#include <QDir>
#endif

namespace {
ServiceWatchdog *serviceWatchdog = nullptr;
QString serviceFolder; // the working folder the service was started in
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

void clearPort(const QString &workDir)
{
#ifdef Q_OS_WIN
    Q_UNUSED(workDir);
#else
    if (!serviceWatchdog)
        ServiceOwnership::endLeftoverOnPort(contract::process::defaultPort, workDir, 3000);
#endif
}

void start(const QString &workDir)
{
    if (serviceWatchdog)
        return;
    serviceFolder = workDir;
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
    // Only what is ours: a service another window or a command-line render
    // started is tied to its own program and left alone.
    ServiceOwnership::endLeftovers(serviceFolder.isEmpty() ? QDir::currentPath() : serviceFolder, waitMs);
#endif
}

} // namespace ServiceProcess
