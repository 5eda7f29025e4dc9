#pragma once

#include <QStringList>

namespace CommandLine {

// Does what the arguments (the program's name first) ask, without a window:
// starts the speech service from the working folder, lists its voices or
// renders a script the way the page does, stops the service, and returns the
// exit code. Needs a QCoreApplication; messages and progress go to stderr,
// the result (the MP3's path, the voice list) to stdout.
int run(const QStringList &arguments);

} // namespace CommandLine
