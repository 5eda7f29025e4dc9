#include "CommandLine.h"
#include "CommandLineRun.h"
#include "MainWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QIcon>

int main(int argc, char *argv[])
{
    // The command line is decided before any application object is made: it
    // runs on Qt Core alone, with no display and no platform plugin.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (CommandLine::isRequested(arguments)) {
        QCoreApplication app(argc, argv);
        return CommandLine::run(app.arguments());
    }

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication app(argc, argv);
    app.setWindowIcon(QIcon(":/images/ico.png"));

    QFont font;
    font.setFamily("Microsoft YaHei");
    font.setPointSize(9);
    QApplication::setFont(font);

    MainWindow window;
    window.show();
    // The last run's script and settings, or the script named on the command
    // line (a subtitle file named there is imported as cue lines).
    window.openAtStart(app.arguments());
    return app.exec();
}
