#pragma once

#include <QStringList>

class QWidget;

namespace torvane::test {

// The captions of `window` too big for the room their control draws them in, at its own font as
// this machine renders it: one line per control, its object name first, then its text and both
// sizes. Measured as the program's windows have them: buttons without icons, labels of one plain
// line without frame, margin or indent, group boxes that cannot be checked. Hidden controls are
// left out.
QStringList clippedCaptions(const QWidget* window);

} // namespace torvane::test
