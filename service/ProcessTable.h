#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What the system tells of its running processes: enough to find who holds a
// port and which service processes were left behind. Read from /proc on
// Linux; elsewhere the lists are empty and nothing is ever found.
struct ProcessInfo {
    qint64 pid = 0;
    qint64 parentPid = 0;
    QString executable;    // absolute path, or the first argument when the link cannot be read
    QString workingFolder; // absolute, without a trailing "/"; empty when it cannot be read
    QStringList arguments; // without the program itself
};

namespace ProcessTable {

// Every live process but this one (zombies left out).
QList<ProcessInfo> all();
std::optional<ProcessInfo> info(qint64 pid);

// The process that listens on TCP `port` of any local address, if one is seen.
std::optional<qint64> listenerOf(quint16 port);

// The socket inodes in a /proc/net/tcp or tcp6 listing that listen on `port`.
QList<quint64> listeningInodes(const QByteArray &listing, quint16 port);

// True once the process has ended (or is a zombie that no longer runs).
bool isGone(qint64 pid);

// Kills every process of `pids` at once and waits until all are gone, at
// most waitMs. True when all are gone.
bool killAndWait(const QList<qint64> &pids, int waitMs);

} // namespace ProcessTable
