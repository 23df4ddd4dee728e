#include "resize/Resizer.h"

#include "desktop/Events.h"

#include <QHash>

#include <cmath>

namespace torvane {

namespace {

using P = ControlProperty;

// Divides in double and keeps a float; a property that cannot be read leaves the ratio as it was.
void storeRatio(float& ratio, std::optional<double> value, float divisor)
{
    if (value && divisor != 0)
        ratio = static_cast<float>(*value / static_cast<double>(divisor));
}

// The value handed to a property: unrounded, the platform converts it to its own units.
float scaled(float ratio, float extent)
{
    return static_cast<float>(static_cast<double>(ratio) * static_cast<double>(extent));
}

} // namespace

void Resizer::resetForm()
{
    recordControls();
}

void Resizer::setForm(FormAccess* frm)
{
    form_ = frm;
    recordControls();
}

void Resizer::exempt(const QString& itemName)
{
    if (!recorded_)
        return;
    const QString wanted = itemName.toLower();
    for (ControlRecord& record : records_) {
        if (record.Name.toLower() == wanted) {
            record.Name.clear();
            return;
        }
    }
}

void Resizer::setResizeFonts(bool rsf)
{
    resizeFonts_ = rsf;
}

bool Resizer::canResize(ControlAccess& control)
{
    // Writing back what was just read leaves a control that supports sizing as it was.
    for (P property : {P::Width, P::Height}) {
        const std::optional<double> value = control.get(property);
        if (!value || !control.set(property, static_cast<float>(*value)))
            return false;
    }
    return true;
}

bool Resizer::hasFont(ControlAccess& control)
{
    const std::optional<double> size = control.get(P::FontSize);
    return size && control.set(P::FontSize, static_cast<float>(*size));
}

float Resizer::fontRatio(ControlAccess& control) const
{
    if (!resizeFonts_ || !hasFont(control))
        return -1;
    float ratio = 0;
    storeRatio(ratio, control.get(P::FontSize), lastHeight_);
    return ratio;
}

void Resizer::recordControls()
{
    if (!form_)
        return;
    const ControlList controls = form_->controls();
    if (controls.empty())
        return;
    // An interior that is empty or unreadable has no proportions to give: every ratio would be
    // lost to a division by zero (or taken against a stale size) and the next adjustment would
    // pile all controls into the top left corner. The earlier recording, if any, stays in force.
    const std::optional<double> height = form_->interiorHeight();
    const std::optional<double> width = form_->interiorWidth();
    if (!height || !width || *height <= 0 || *width <= 0)
        return;
    lastHeight_ = static_cast<float>(*height);
    lastWidth_ = static_cast<float>(*width);

    records_.assign(controls.size(), ControlRecord{});
    std::size_t index = 0;
    QHash<QString, int> seen;
    for (const auto& control : controls) {
        const QString name = control->name();
        const int occurrence = seen[name]++;
        ControlRecord& record = records_[index];

        if (canResize(*control)) {
            record.Name = name;
            record.nth = occurrence;
            storeRatio(record.heightRatio, control->get(P::Height), lastHeight_);
            storeRatio(record.leftRatio, control->get(P::Left), lastWidth_);
            storeRatio(record.topRatio, control->get(P::Top), lastHeight_);
            storeRatio(record.widthRatio, control->get(P::Width), lastWidth_);
            record.fontScale = fontRatio(*control);
            ++index;
            continue;
        }

        const QString type = control->typeName().toLower();
        if (type == QLatin1String("timer")) {
            // Recording a large form takes a while; a timer is where the form lets the user in.
            letEventsRun();
            continue;
        }
        record.Name = name;
        record.nth = occurrence;
        if (type == QLatin1String("line")) {
            storeRatio(record.leftRatio, control->get(P::X1), lastWidth_);
            storeRatio(record.widthRatio, control->get(P::X2), lastWidth_);
            storeRatio(record.topRatio, control->get(P::Y1), lastHeight_);
            storeRatio(record.heightRatio, control->get(P::Y2), lastHeight_);
        } else {
            // Placed but not sized, or not placed at all: only moved, where it can be.
            storeRatio(record.leftRatio, control->get(P::Left), lastWidth_);
            storeRatio(record.topRatio, control->get(P::Top), lastHeight_);
            record.widthRatio = -1;
            record.heightRatio = -1;
        }
        record.fontScale = fontRatio(*control);
        ++index;
    }
    recorded_ = true;
}

void Resizer::apply(ControlAccess& control, const ControlRecord& record) const
{
    const float width = lastWidth_;
    const float height = lastHeight_;
    if (control.typeName().toLower() == QLatin1String("line")) {
        control.set(P::X1, scaled(record.leftRatio, width));
        control.set(P::X2, scaled(record.widthRatio, width));
        control.set(P::Y1, scaled(record.topRatio, height));
        control.set(P::Y2, scaled(record.heightRatio, height));
    } else {
        control.set(P::Left, scaled(record.leftRatio, width));
        control.set(P::Top, scaled(record.topRatio, height));
        if (record.heightRatio > 0) {
            control.set(P::Width, scaled(record.widthRatio, width));
            control.set(P::Height, scaled(record.heightRatio, height));
        }
    }
    if (record.fontScale > 0 && resizeFonts_) {
        // Whole points only; a font that would shrink below one point keeps its size.
        const double points = std::floor(static_cast<double>(record.fontScale) * static_cast<double>(height));
        if (points != 0)
            control.set(P::FontSize, static_cast<float>(points));
    }
}

void Resizer::adjust()
{
    if (!recorded_ || !form_)
        return;
    const ControlList controls = form_->controls();
    if (controls.empty())
        return;
    if (const std::optional<double> height = form_->interiorHeight())
        lastHeight_ = static_cast<float>(*height);
    if (const std::optional<double> width = form_->interiorWidth())
        lastWidth_ = static_cast<float>(*width);

    // Looked up by name rather than compared control by entry, so a large form stays cheap.
    QHash<QString, std::vector<std::size_t>> entriesByName;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        if (!records_[i].Name.isEmpty())
            entriesByName[records_[i].Name].push_back(i);
    }

    QHash<QString, int> seen;
    for (const auto& control : controls) {
        const QString name = control->name();
        const int occurrence = seen[name]++;
        const auto found = entriesByName.constFind(name);
        if (found == entriesByName.cend())
            continue;
        for (std::size_t i : *found) {
            if (records_[i].nth == occurrence)
                apply(*control, records_[i]);
        }
    }
}

} // namespace torvane
