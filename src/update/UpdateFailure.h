#pragma once

#include "fs/PlatformError.h"

#include <QString>

#include <exception>

namespace torvane {

// The failure styles of the update routines, so each routine shows its style at its top.

// Runs `step`; an error it throws goes to `show(number, description)` and ends the step.
template <class Step, class Show>
void showOnFailure(Step&& step, Show&& show)
{
    try {
        step();
    } catch (const PlatformError& e) {
        show(e.number(), e.description());
    } catch (const std::exception& e) {
        show(0, QString::fromLocal8Bit(e.what()));
    }
}

// Runs `step`; an error it throws is passed over and the caller goes on.
template <class Step>
void skipOnFailure(Step&& step)
{
    try {
        step();
    } catch (const std::exception&) {
    }
}

} // namespace torvane
