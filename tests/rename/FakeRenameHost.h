#pragma once

#include "rename/RenameHost.h"

#include <QList>
#include <QStringList>

namespace torvane::test {

// Records the status lines and the timer switches the rename code asks the main window for.
class FakeRenameHost final : public RenameHost {
public:
    void prependStatusLine(const QString& line) override { lines.prepend(line); }
    void setTimerEnabled(bool on) override { timerSwitches.append(on); }

    QStringList lines;   // newest first, as the status text holds them
    QList<bool> timerSwitches;
};

} // namespace torvane::test
