#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace torvane {

// The properties the Resizer reads and writes, by name. Positions and sizes are in the form's
// scale units (twips for our windows); X1..Y2 are the end points of a line; FontSize is in points.
enum class ControlProperty { Left, Top, Width, Height, X1, Y1, X2, Y2, FontSize };

// One control of a form as the Resizer sees it. Any property may be missing or refuse a value:
// get() then answers nothing and set() answers false, and the Resizer skips that step.
class ControlAccess {
public:
    virtual ~ControlAccess() = default;
    virtual QString name() const = 0;
    // The kind of control ("pushbutton", "line", "timer", ...); compared in lower case.
    virtual QString typeName() const = 0;
    virtual std::optional<double> get(ControlProperty property) const = 0;
    virtual bool set(ControlProperty property, float value) = 0;
};

using ControlList = std::vector<std::shared_ptr<ControlAccess>>;

// A form: its controls and the size of its interior. The Resizer does not own it.
class FormAccess {
public:
    virtual ~FormAccess() = default;
    // Every control in the form's enumeration order. The list is the caller's own, so it stays
    // usable when events run in between and the form enumerates again.
    virtual ControlList controls() = 0;
    virtual std::optional<double> interiorWidth() const = 0;
    virtual std::optional<double> interiorHeight() const = 0;
};

} // namespace torvane
