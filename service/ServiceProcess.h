#pragma once

#include <QString>

class QProcess;
class ServiceWatchdog;

// The local speech service process: started once when the main window is
// built, restarted by its watchdog if it ends while the program runs, and
// stopped when the window closes, together with services left behind in the
// same working folder (on Windows: every process of its executable name).
namespace ServiceProcess {

// Name of the service's executable below "<working folder>/server/".
QString executableName();

// The one process object of the program; null until started and after stop.
QProcess *process();
// What keeps that process running; null when process() is.
ServiceWatchdog *watchdog();

// Ends a leftover service of workDir that holds the service's port, so that
// nothing talks to it before the program's own service listens there.
void clearPort(const QString &workDir);

// Starts "<workDir>server/<executable>" with no arguments, unless it has been
// started already. A missing executable is not reported here: the first
// request to the service fails instead.
void start(const QString &workDir);

// Stops watching and closes the process object, then ends the services left
// behind in the working folder it was started in (on Windows every process of
// the service's executable name, whoever started it) and waits for them at
// most waitMs.
void stop(int waitMs = 30000);

} // namespace ServiceProcess
