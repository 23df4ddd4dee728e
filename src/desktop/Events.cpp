#include "desktop/Events.h"

#include <QCoreApplication>

namespace torvane {

namespace {
constexpr qint64 kIntervalMs = 16;
}

void letEventsRun()
{
    QCoreApplication::processEvents();
}

EventThrottle::EventThrottle()
{
    clock_.start();
}

bool EventThrottle::due()
{
    if (clock_.elapsed() < kIntervalMs)
        return false;
    clock_.restart();
    return true;
}

void EventThrottle::tick()
{
    if (due())
        letEventsRun();
}

} // namespace torvane
