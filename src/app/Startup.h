#pragma once

#include <QByteArray>
#include <QString>

namespace torvane {

// Runs the program: single instance, leftover installer, main window. Returns the exit code.
int runTorvane(int argc, char** argv);

// Deletes an installer an earlier update left in the folder ("update.exe" in any letter case).
// Returns the number of files deleted.
int deleteLeftoverInstaller(const QString& appFolder);

// The folder named on the command line, absolute (relative to currentFolder), bytes as given;
// empty when none was named.
QByteArray startFolder(const QByteArray& argument, const QByteArray& currentFolder);

// The text of the box shown when start-up fails.
QString startupErrorText(const QString& description, const QString& supportAddress);

} // namespace torvane
