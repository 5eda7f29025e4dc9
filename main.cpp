#include "MainWindow.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication app(argc, argv);
    app.setWindowIcon(QIcon(":/images/ico.png"));

    QFont font;
    font.setFamily("Microsoft YaHei");
    font.setPointSize(9);
    QApplication::setFont(font);

    MainWindow window;
    window.show();
    // The last run's script and settings, or the script named on the command line.
    window.openAtStart(app.arguments());
    return app.exec();
}
