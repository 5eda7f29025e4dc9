#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

#include <ctime>

// Both start-up executables report CLOCK_MONOTONIC nanoseconds: the clock is
// system-wide, so the driver can subtract the moment it spawned them.
inline long long monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Installed on the application: notes the first paint of any widget of a
// top-level window whose class is `windowClass`.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(const char *windowClass)
        : windowClass(windowClass)
    {
    }
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!painted && event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->window()->inherits(windowClass))
            painted = true;
        return QObject::eventFilter(watched, event);
    }

private:
    const char *windowClass;
};
