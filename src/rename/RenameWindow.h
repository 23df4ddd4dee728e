#pragma once

#include "rename/RenameHost.h"

#include <QByteArray>

class QWidget;

namespace torvane {

class Prompter;

// The opening handler of cmdRename and mRename. file1 is the key the main window keeps in File1:
// nothing happens when it is shorter than 2 bytes; a folder that is gone gets a box and no window;
// otherwise the rename window runs modally on that folder.
void openRenameWindow(QWidget* parent, Prompter& prompter, RenameHost& host, const QByteArray& file1);

} // namespace torvane
