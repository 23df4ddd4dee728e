#pragma once

#include "resize/FormAccess.h"

#include <QString>

#include <vector>

namespace torvane {

// Keeps a form's controls in proportion to its interior: records once where every control sits
// as fractions of the interior, and re-applies those fractions after each resize. No operation
// reports an error: whatever a control does not support is skipped.
class Resizer {
public:
    // Records the form's controls anew at their current geometry; earlier exemptions end.
    void resetForm();
    // Takes the form (not owned) and records its controls, which fixes the proportions kept.
    void setForm(FormAccess* frm);
    // Leaves the first recorded control of that name (any letter case) alone until the next recording.
    void exempt(const QString& itemName);
    // Read at the next recording (font ratios) and at every adjustment (font changes).
    void setResizeFonts(bool rsf);
    // Re-applies the recorded proportions to the form's current interior.
    void adjust();

private:
    struct ControlRecord {
        float topRatio = 0;
        float leftRatio = 0;
        float heightRatio = 0;   // -1: the control is only moved
        float widthRatio = 0;    // -1: the control is only moved
        QString Name;            // empty: matches no control
        float fontScale = 0;     // -1 or 0: the font is left alone
        // Which control of that name this was, counted in enumeration order, so that controls
        // sharing one name each keep their own place.
        int nth = 0;
    };

    void recordControls();
    static bool canResize(ControlAccess& control);
    static bool hasFont(ControlAccess& control);
    float fontRatio(ControlAccess& control) const;
    void apply(ControlAccess& control, const ControlRecord& record) const;

    FormAccess* form_ = nullptr;
    std::vector<ControlRecord> records_;
    float lastHeight_ = 0;
    float lastWidth_ = 0;
    bool recorded_ = false;
    bool resizeFonts_ = false;
};

} // namespace torvane
