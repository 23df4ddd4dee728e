#pragma once

// Private to src/mainwindow: the failure styles that the main window's handlers share.
// A handler runs its failing steps through one of these, so its style shows
// at its top. They catch PlatformError, the one type platform calls throw. The status-line style
// is used by the folder commands alone and lives in MainWindowCommands.cpp.

#include "fs/PlatformError.h"

#include <QKeySequence>
#include <QString>

#include <utility>

class QAction;
class QMenu;

namespace torvane {

// A menu entry with its object name and shortcut (window-wide).
QAction* menuEntry(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut = {});

// Skip the failing step: an error the step throws is passed over and the caller goes on.
template <class Step>
void skipStepOnFailure(Step&& step)
{
    try {
        std::forward<Step>(step)();
    } catch (const PlatformError&) {
    }
}

// Stop silently: the step is the rest of the handler; an error it throws ends it unseen.
template <class Step>
void stopSilentlyOnFailure(Step&& step)
{
    skipStepOnFailure(std::forward<Step>(step));
}

} // namespace torvane
