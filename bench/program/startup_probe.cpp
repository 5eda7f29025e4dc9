// Sayora_Lumo itself (its entry point, linked in under another name), watched
// from inside: prints the moment at which both choosers hold items and the
// window has been painted, then leaves at once. Leaving with _exit skips the
// loader thread, which may still be waiting for a service that is not there.
#include "FirstPaint.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

int lumoProgramMain(int argc, char *argv[]);

namespace {
long long entryNs = 0;

bool filled(const QWidget *window)
{
    const auto *locales = window->findChild<QComboBox *>(QStringLiteral("localeSelect"));
    const auto *voices = window->findChild<QComboBox *>(QStringLiteral("voicesSelect"));
    return locales && voices && locales->count() > 0 && voices->count() > 0;
}

// Runs while the application object is being built, before the window exists.
void watch()
{
    auto *paint = new FirstPaint("MainWindow");
    paint->setParent(qApp);
    qApp->installEventFilter(paint);

    auto *poll = new QTimer(qApp);
    poll->setTimerType(Qt::PreciseTimer);
    QObject::connect(poll, &QTimer::timeout, [paint] {
        if (!paint->painted)
            return;
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (const QWidget *window : windows) {
            if (window->inherits("MainWindow") && filled(window)) {
                std::printf("%lld %lld\n", entryNs, monotonicNs());
                std::fflush(stdout);
                _exit(0);
            }
        }
    });
    poll->start(1);
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(watch)

int main(int argc, char *argv[])
{
    entryNs = monotonicNs();
    return lumoProgramMain(argc, argv);
}
