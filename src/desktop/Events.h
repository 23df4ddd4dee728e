#pragma once

#include <QElapsedTimer>

#include <chrono>
#include <future>

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

// Runs work on a thread of its own while the caller's events keep running, and returns its
// result (or throws what it threw). For disk work a handler must not do on the user-interface
// thread; the work must not touch widgets.
template <class Work>
auto runWhileEventsRun(Work&& work)
{
    auto done = std::async(std::launch::async, std::forward<Work>(work));
    while (done.wait_for(std::chrono::milliseconds(16)) != std::future_status::ready)
        letEventsRun();
    return done.get();
}

} // namespace torvane
