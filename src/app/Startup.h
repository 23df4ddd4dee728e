#pragma once

namespace torvane {

// Runs the program: single instance, leftover installer, main window. Returns the exit code.
int runTorvane(int argc, char** argv);

} // namespace torvane
