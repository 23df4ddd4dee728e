#pragma once

#include <QElapsedTimer>

namespace torvane {

// The one place where handlers let pending events run.
void letEventsRun();

// Coalesces repaints and event processing inside long loops to about one per 16 ms.
class EventThrottle {
public:
    EventThrottle();
    // True at most once per interval; the caller then repaints and lets events run.
    bool due();
    // letEventsRun() when due.
    void tick();

private:
    QElapsedTimer clock_;
};

} // namespace torvane
