#pragma once

#include <QString>

namespace torvane {

// What the rename window needs of the main window.
class RenameHost {
public:
    virtual ~RenameHost() = default;
    // line + CR LF + the old status text
    virtual void prependStatusLine(const QString& line) = 0;
    virtual void setTimerEnabled(bool on) = 0;
};

} // namespace torvane
