// The floor any such program pays: an empty QMainWindow with four tabs, shown
// by the same Qt. Prints the moment of its first paint and leaves.
//
// Built twice. With LUMO_STARTUP_FLOOR it also links the Qt libraries the
// program cannot start without (Multimedia for the player, Network for the
// service, Sql for the voice cache) and uses none of them: what loading them
// costs before main() is the part of the program's start-up that no change to
// its own code can remove.
#include "FirstPaint.h"

#include <QApplication>
#include <QMainWindow>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

#ifdef LUMO_STARTUP_FLOOR
#include <QMediaPlayer>
#include <QNetworkAccessManager>
#include <QSqlDatabase>

// One address from each library, so that the linker keeps all three.
extern const void *const programLibraries[];
const void *const programLibraries[] = {&QMediaPlayer::staticMetaObject, &QNetworkAccessManager::staticMetaObject,
                                        reinterpret_cast<const void *>(&QSqlDatabase::drivers)};
#endif

int main(int argc, char *argv[])
{
    const long long entryNs = monotonicNs();
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication app(argc, argv);
    FirstPaint paint("QMainWindow");
    app.installEventFilter(&paint);

    QMainWindow window;
    auto *tabs = new QTabWidget;
    for (const char *title : {"语音合成", "关于软件", "更新日志", "打赏一下"})
        tabs->addTab(new QWidget, QString::fromUtf8(title));
    window.setCentralWidget(tabs);
    window.resize(800, 600);
    window.show();

    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (paint.painted) {
            std::printf("%lld %lld\n", entryNs, monotonicNs());
            std::fflush(stdout);
            _exit(0);
        }
    });
    poll.start(1);
    return app.exec();
}
