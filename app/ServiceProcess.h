#pragma once

#include <QString>

class QProcess;

// The local speech service process: started once when the main window is
// built, and every process of its executable name stopped when it closes.
namespace ServiceProcess {

// Name of the service's executable below "<working folder>/server/".
QString executableName();

// The one process object of the program; null until started and after stop.
QProcess *process();

// Starts "<workDir>server/<executable>" with no arguments, unless it has been
// started already. A missing executable is not reported here: the first
// request to the service fails instead.
void start(const QString &workDir);

// Closes the process object, then ends every process of the service's
// executable name (whoever started it) and waits for them at most waitMs.
void stop(int waitMs = 30000);

} // namespace ServiceProcess
