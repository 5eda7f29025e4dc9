#include "ServiceOwnership.h"

#include "ServiceContract.h"
#include "ServiceProcess.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString sameFolderKey(const QString &folder)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(folder));
}

} // namespace

namespace ServiceOwnership {

QStringList parentArguments(qint64 pid)
{
#ifdef Q_OS_WIN
    // The service runs in a console of its own and is stopped by name.
    Q_UNUSED(pid);
    return {};
#else
    return {QString::fromLatin1(contract::process::parentPidOption), QString::number(pid)};
#endif
}

bool isService(const ProcessInfo &process)
{
    return QFileInfo(process.executable).fileName() == ServiceProcess::executableName();
}

bool isWatched(const ProcessInfo &process)
{
    const int at = process.arguments.lastIndexOf(QString::fromLatin1(contract::process::parentPidOption));
    if (at < 0 || at + 1 >= process.arguments.size())
        return false;
    bool ok = false;
    const qint64 parent = process.arguments.at(at + 1).toLongLong(&ok);
    return ok && parent == process.parentPid;
}

bool isLeftover(const ProcessInfo &process, const QString &workDir)
{
    return isService(process) && !process.workingFolder.isEmpty() &&
           sameFolderKey(process.workingFolder) == sameFolderKey(workDir) && !isWatched(process);
}

std::optional<ProcessInfo> portHolder(quint16 port)
{
    const std::optional<qint64> pid = ProcessTable::listenerOf(port);
    return pid ? ProcessTable::info(*pid) : std::nullopt;
}

QString portTakenMessage(quint16 port, const std::optional<ProcessInfo> &holder)
{
    if (!holder) {
        return QStringLiteral("端口 %1 已被其他程序占用，语音服务无法启动。请关闭占用该端口的程序，然后重新启动本软件。")
            .arg(port);
    }
    if (isService(*holder)) {
        return QStringLiteral("端口 %1 已被另一个语音服务占用（进程 %2，工作文件夹 %3），"
                              "多半是另一个打开着的窗口或命令行在使用它。请先关闭它，然后重新启动本软件。")
            .arg(port)
            .arg(holder->pid)
            .arg(QDir::toNativeSeparators(holder->workingFolder));
    }
    return QStringLiteral("端口 %1 已被其他程序占用（%2，进程 %3），语音服务无法启动。请关闭该程序，然后重新启动本软件。")
        .arg(port)
        .arg(QFileInfo(holder->executable).fileName())
        .arg(holder->pid);
}

int endLeftovers(const QString &workDir, int waitMs)
{
    QList<qint64> pids;
    const QList<ProcessInfo> processes = ProcessTable::all();
    for (const ProcessInfo &process : processes) {
        if (isLeftover(process, workDir))
            pids.append(process.pid);
    }
    ProcessTable::killAndWait(pids, waitMs);
    return pids.size();
}

bool endLeftoverOnPort(quint16 port, const QString &workDir, int waitMs)
{
    const std::optional<ProcessInfo> holder = portHolder(port);
    if (!holder || !isLeftover(*holder, workDir))
        return false;
    return ProcessTable::killAndWait({holder->pid}, waitMs);
}

} // namespace ServiceOwnership
