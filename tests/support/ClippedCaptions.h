#pragma once

#include <QStringList>

class QWidget;

namespace torvane::test {

// The captions of `window` that do not fit the room their control draws them in, at the
// control's own font as this machine renders it: one line per control, with its object name,
// its text and both sizes. Push buttons, labels, radio buttons, check boxes and group box titles
// are measured, as the program's windows have them: buttons without icons, labels of one line of
// plain text without a frame, margin or indent, titles of boxes that cannot be checked. Controls
// hidden on purpose are left out. Empty when every caption fits.
QStringList clippedCaptions(const QWidget* window);

} // namespace torvane::test
