#include "TestSupport.h"

#include <QFileInfo>

namespace TestSupport {

QString sourceDir()
{
    return qEnvironmentVariable("LUMO_SOURCE_DIR");
}

QString binaryDir()
{
    return qEnvironmentVariable("LUMO_BINARY_DIR");
}

QString serverExecutable()
{
    return qEnvironmentVariable("LUMO_SERVER_BIN");
}

void clearWorkingFolder()
{
    QDir dir(QDir::currentPath());
    const auto entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entry.absoluteFilePath());
    }
}

} // namespace TestSupport
