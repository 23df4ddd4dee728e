#pragma once

#include "resize/FormAccess.h"

#include <map>
#include <set>

namespace torvane::test {

// A control whose properties are exactly those the test gives it.
class FakeControl final : public ControlAccess {
public:
    FakeControl(QString name, QString type) : name_(std::move(name)), type_(std::move(type)) {}

    QString name() const override { return name_; }
    QString typeName() const override { return type_; }

    std::optional<double> get(ControlProperty property) const override
    {
        const auto found = values.find(property);
        if (found == values.end())
            return std::nullopt;
        return found->second;
    }

    bool set(ControlProperty property, float value) override
    {
        ++attempts[property];
        if (!values.count(property) || refused.count(property))
            return false;
        values[property] = value;
        return true;
    }

    double value(ControlProperty property) const { return values.at(property); }
    int attemptsOn(ControlProperty property) const
    {
        const auto found = attempts.find(property);
        return found == attempts.end() ? 0 : found->second;
    }
    int allAttempts() const
    {
        int total = 0;
        for (const auto& [property, count] : attempts)
            total += count;
        return total;
    }

    // A property missing here cannot be read or written.
    std::map<ControlProperty, double> values;
    // Readable, but every write fails.
    std::set<ControlProperty> refused;
    std::map<ControlProperty, int> attempts;

private:
    QString name_;
    QString type_;
};

class FakeForm final : public FormAccess {
public:
    FakeForm(double width, double height) : width(width), height(height) {}

    ControlList controls() override { return {list.begin(), list.end()}; }
    std::optional<double> interiorWidth() const override { return width; }
    std::optional<double> interiorHeight() const override { return height; }

    FakeControl& add(const QString& name, const QString& type)
    {
        list.push_back(std::make_shared<FakeControl>(name, type));
        return *list.back();
    }
    // A sizeable control, like a button.
    FakeControl& box(const QString& name, double left, double top, double w, double h)
    {
        FakeControl& c = add(name, QStringLiteral("commandbutton"));
        c.values = {{ControlProperty::Left, left}, {ControlProperty::Top, top},
                    {ControlProperty::Width, w}, {ControlProperty::Height, h}};
        return c;
    }
    FakeControl& line(const QString& name, double x1, double y1, double x2, double y2)
    {
        FakeControl& c = add(name, QStringLiteral("Line"));
        c.values = {{ControlProperty::X1, x1}, {ControlProperty::Y1, y1},
                    {ControlProperty::X2, x2}, {ControlProperty::Y2, y2}};
        return c;
    }

    std::optional<double> width;
    std::optional<double> height;
    std::vector<std::shared_ptr<FakeControl>> list;
};

} // namespace torvane::test
