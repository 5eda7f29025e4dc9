#pragma once

#include "ProcessTable.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Which service processes belong to whom. A program starts its service with
// "--parent-pid <its own pid>", and the service ends with it; a service that
// carries no such mark, or whose marked parent is no longer its parent, and
// that runs in a program's working folder, is a leftover of that folder
// (from an older version, or started by hand) that nobody will stop.
namespace ServiceOwnership {

// The arguments that tie a service to the program with this pid.
QStringList parentArguments(qint64 pid);

bool isService(const ProcessInfo &process);
// Still watched by the program that started it.
bool isWatched(const ProcessInfo &process);
// A service left behind in workDir.
bool isLeftover(const ProcessInfo &process, const QString &workDir);

// The process listening on `port`, when it can be seen.
std::optional<ProcessInfo> portHolder(quint16 port);

// What the user is told when the service cannot listen on `port` because
// `holder` (when known) holds it.
QString portTakenMessage(quint16 port, const std::optional<ProcessInfo> &holder);

// Ends the leftovers of workDir and waits for them, at most waitMs. Returns
// how many there were.
int endLeftovers(const QString &workDir, int waitMs);

// When the process listening on `port` is a leftover of workDir, ends it;
// true when it is gone, so the port can be taken again.
bool endLeftoverOnPort(quint16 port, const QString &workDir, int waitMs);

} // namespace ServiceOwnership
