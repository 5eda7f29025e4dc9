#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

namespace TestSupport {

// Paths handed to every test by CTest.
QString sourceDir();
QString binaryDir();
// The built speech service executable.
QString serverExecutable();

// Empties the current working folder (each test runs in one of its own).
void clearWorkingFolder();

} // namespace TestSupport
