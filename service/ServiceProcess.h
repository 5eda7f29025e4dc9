#pragma once

#include <QString>

class QProcess;
class ServiceWatchdog;

// The local speech service process: started once when the main window is
// built, restarted by its watchdog if it ends while the program runs, and
// every process of its executable name stopped when the window closes.
namespace ServiceProcess {

// Name of the service's executable below "<working folder>/server/".
QString executableName();

// The one process object of the program; null until started and after stop.
QProcess *process();
// What keeps that process running; null when process() is.
ServiceWatchdog *watchdog();

// Starts "<workDir>server/<executable>" with no arguments, unless it has been
// started already. A missing executable is not reported here: the first
// request to the service fails instead.
void start(const QString &workDir);

// Stops watching and closes the process object, then ends every process of
// the service's executable name (whoever started it) and waits for them at
// most waitMs.
void stop(int waitMs = 30000);

} // namespace ServiceProcess
