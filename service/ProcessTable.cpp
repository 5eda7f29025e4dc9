#include "ProcessTable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

QByteArray readProcFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The state letter and parent pid from /proc/<pid>/stat; the name in
// parentheses may itself hold blanks and parentheses.
bool readStat(qint64 pid, char *state, qint64 *parent)
{
    const QByteArray line = readProcFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const int close = line.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    if (fields.size() < 2 || fields.at(0).isEmpty())
        return false;
    *state = fields.at(0).at(0);
    *parent = fields.at(1).toLongLong();
    return true;
}

#ifndef Q_OS_WIN
// The raw target of a link: Qt's symLinkTarget() would make "socket:[n]" a
// path below the link's folder.
QByteArray rawLinkTarget(const QByteArray &link)
{
    char target[256];
    const ssize_t length = ::readlink(link.constData(), target, sizeof target);
    return length > 0 ? QByteArray(target, int(length)) : QByteArray();
}
#endif

} // namespace

namespace ProcessTable {

std::optional<ProcessInfo> info(qint64 pid)
{
#ifdef Q_OS_WIN
    Q_UNUSED(pid);
    return std::nullopt;
#else
    char state = 0;
    ProcessInfo p;
    p.pid = pid;
    if (!readStat(pid, &state, &p.parentPid) || state == 'Z')
        return std::nullopt;

    QList<QByteArray> argv = readProcFile(QStringLiteral("/proc/%1/cmdline").arg(pid)).split('\0');
    if (!argv.isEmpty() && argv.constLast().isEmpty())
        argv.removeLast();
    p.executable = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    p.executable.remove(QStringLiteral(" (deleted)"));
    if (p.executable.isEmpty() && !argv.isEmpty())
        p.executable = QString::fromLocal8Bit(argv.constFirst());
    for (int i = 1; i < argv.size(); ++i)
        p.arguments.append(QString::fromLocal8Bit(argv.at(i)));
    const QString cwd = QFile::symLinkTarget(QStringLiteral("/proc/%1/cwd").arg(pid));
    if (!cwd.isEmpty())
        p.workingFolder = QDir::cleanPath(cwd);
    return p;
#endif
}

QList<ProcessInfo> all()
{
    QList<ProcessInfo> processes;
#ifndef Q_OS_WIN
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid || pid == getpid())
            continue;
        if (const std::optional<ProcessInfo> p = info(pid))
            processes.append(*p);
    }
#endif
    return processes;
}

QList<quint64> listeningInodes(const QByteArray &listing, quint16 port)
{
    // "  sl  local_address rem_address   st tx_queue:rx_queue tr:tm->when retrnsmt   uid  timeout inode"
    // "   0: 0100007F:1388 00000000:0000 0A 00000000:00000000 00:00000000 00000000     0        0 31337 ..."
    QList<quint64> inodes;
    const QList<QByteArray> lines = listing.split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 10)
            continue;
        const QByteArray &local = fields.at(1);
        const int colon = local.lastIndexOf(':');
        bool okPort = false;
        const uint localPort = local.mid(colon + 1).toUInt(&okPort, 16);
        const bool listening = fields.at(3) == "0A";
        bool okInode = false;
        const quint64 inode = fields.at(9).toULongLong(&okInode);
        if (colon > 0 && okPort && okInode && listening && localPort == port && inode != 0)
            inodes.append(inode);
    }
    return inodes;
}

std::optional<qint64> listenerOf(quint16 port)
{
#ifdef Q_OS_WIN
    Q_UNUSED(port);
    return std::nullopt;
#else
    QSet<QByteArray> sockets;
    for (const char *listing : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        const QList<quint64> inodes = listeningInodes(readProcFile(QString::fromLatin1(listing)), port);
        for (quint64 inode : inodes)
            sockets.insert("socket:[" + QByteArray::number(inode) + ']');
    }
    if (sockets.isEmpty())
        return std::nullopt;

    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        const QString fdDir = QStringLiteral("/proc/%1/fd").arg(entry);
        const QStringList fds = QDir(fdDir).entryList(QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : fds) {
            if (sockets.contains(rawLinkTarget(QFile::encodeName(fdDir + QLatin1Char('/') + fd))))
                return pid;
        }
    }
    return std::nullopt;
#endif
}

bool isGone(qint64 pid)
{
#ifdef Q_OS_WIN
    Q_UNUSED(pid);
    return true;
#else
    char state = 0;
    qint64 parent = 0;
    return !readStat(pid, &state, &parent) || state == 'Z';
#endif
}

bool killAndWait(const QList<qint64> &pids, int waitMs)
{
#ifdef Q_OS_WIN
    Q_UNUSED(pids);
    Q_UNUSED(waitMs);
    return true;
#else
    for (qint64 pid : pids)
        ::kill(pid_t(pid), SIGKILL);
    QElapsedTimer clock;
    clock.start();
    for (qint64 pid : pids) {
        while (!isGone(pid)) {
            if (clock.elapsed() >= waitMs)
                return false;
            QThread::msleep(10);
        }
    }
    return true;
#endif
}

} // namespace ProcessTable
