#include "resize/WidgetFormAccess.h"

#include <QFrame>
#include <QLineF>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace torvane {

namespace {

using P = ControlProperty;

constexpr double kTwips = kTwipsPerPixel;

double toTwips(double pixels)
{
    return pixels * kTwips;
}

int toPixels(double twips)
{
    return static_cast<int>(std::lround(twips / kTwips));
}

// "QPushButton" -> "pushbutton", "torvane::DriveList" -> "drivelist".
QString typeNameOf(const QObject& object)
{
    QString name = QString::fromLatin1(object.metaObject()->className());
    name = name.mid(name.lastIndexOf(QLatin1String("::")) + 1).remove(QLatin1Char(':'));
    if (name.size() > 1 && name.front() == QLatin1Char('Q') && name.at(1).isUpper())
        name.remove(0, 1);
    return name.toLower();
}

class WidgetControl : public ControlAccess {
public:
    explicit WidgetControl(QWidget* widget) : widget_(widget), name_(widget->objectName()) {}

    QString name() const override { return name_; }
    QString typeName() const override { return widget_ ? typeNameOf(*widget_) : QString(); }

    std::optional<double> get(P property) const override
    {
        if (!widget_)
            return std::nullopt;
        switch (property) {
        case P::Left: return toTwips(widget_->x());
        case P::Top: return toTwips(widget_->y());
        case P::Width: return toTwips(widget_->width());
        case P::Height: return toTwips(widget_->height());
        case P::FontSize: {
            // A font sized in pixels has no point size to scale.
            const double points = widget_->font().pointSizeF();
            return points > 0 ? std::optional<double>(points) : std::nullopt;
        }
        default: return std::nullopt;
        }
    }

    bool set(P property, float value) override
    {
        if (!widget_ || !std::isfinite(value))
            return false;
        const int pixels = toPixels(value);
        switch (property) {
        case P::Left: widget_->move(pixels, widget_->y()); return true;
        case P::Top: widget_->move(widget_->x(), pixels); return true;
        // A negative size is refused, as a window refuses it, so the control keeps its size;
        // a size the widget's own limits clamp counts as refused too.
        case P::Width:
            if (value < 0)
                return false;
            widget_->resize(pixels, widget_->height());
            return widget_->width() == pixels;
        case P::Height:
            if (value < 0)
                return false;
            widget_->resize(widget_->width(), pixels);
            return widget_->height() == pixels;
        case P::FontSize: {
            if (value <= 0)
                return false;
            QFont font = widget_->font();
            // Writing back the same size must not pin the font: the widget keeps following its parent's font.
            if (font.pointSizeF() == static_cast<double>(value))
                return true;
            font.setPointSizeF(value);
            widget_->setFont(font);
            return true;
        }
        default: return false;
        }
    }

protected:
    QPointer<QWidget> widget_;

private:
    QString name_;
};

bool isLine(const QWidget& widget)
{
    const auto* frame = qobject_cast<const QFrame*>(&widget);
    return frame && (frame->frameShape() == QFrame::HLine || frame->frameShape() == QFrame::VLine);
}

// A QFrame drawn as a line, seen through its end points. Qt draws such a frame across its whole
// length and centred in its thickness, so the end points follow from the geometry. The end points
// last written are kept on the widget as long as its geometry is the one they gave: a line
// cannot tell its ends apart from its geometry alone, and each end point is written on its own.
class LineControl final : public WidgetControl {
public:
    explicit LineControl(QFrame* frame) : WidgetControl(frame), vertical_(frame->frameShape() == QFrame::VLine) {}

    QString typeName() const override { return QStringLiteral("line"); }

    std::optional<double> get(P property) const override
    {
        if (!widget_)
            return std::nullopt;
        const QLineF ends = endPoints();
        switch (property) {
        case P::X1: return ends.x1();
        case P::Y1: return ends.y1();
        case P::X2: return ends.x2();
        case P::Y2: return ends.y2();
        default: return std::nullopt;   // a line has no box and no text
        }
    }

    bool set(P property, float value) override
    {
        if (!widget_ || !std::isfinite(value))
            return false;
        QLineF ends = endPoints();
        switch (property) {
        case P::X1: ends.setP1({value, ends.y1()}); break;
        case P::Y1: ends.setP1({ends.x1(), value}); break;
        case P::X2: ends.setP2({value, ends.y2()}); break;
        case P::Y2: ends.setP2({ends.x2(), value}); break;
        default: return false;
        }
        place(ends);
        return true;
    }

private:
    static constexpr const char* kEnds = "torvaneLineEnds";
    static constexpr const char* kPlaced = "torvaneLinePlaced";

    QLineF endPoints() const
    {
        const QVariant placed = widget_->property(kPlaced);
        if (placed.isValid() && placed.toRect() == widget_->geometry())
            return widget_->property(kEnds).toLineF();
        const QRectF box = widget_->geometry();
        const QLineF pixels = vertical_ ? QLineF(box.center().x(), box.y(), box.center().x(), box.y() + box.height())
                                        : QLineF(box.x(), box.center().y(), box.x() + box.width(), box.center().y());
        return {toTwips(pixels.x1()), toTwips(pixels.y1()), toTwips(pixels.x2()), toTwips(pixels.y2())};
    }

    void place(const QLineF& ends)
    {
        QRect box = widget_->geometry();
        if (vertical_) {
            const int top = toPixels(std::min(ends.y1(), ends.y2()));
            const int bottom = toPixels(std::max(ends.y1(), ends.y2()));
            const double centre = (ends.x1() + ends.x2()) / 2 / kTwips;
            box = QRect(static_cast<int>(std::lround(centre - box.width() / 2.0)), top, box.width(), bottom - top);
        } else {
            const int left = toPixels(std::min(ends.x1(), ends.x2()));
            const int right = toPixels(std::max(ends.x1(), ends.x2()));
            const double centre = (ends.y1() + ends.y2()) / 2 / kTwips;
            box = QRect(left, static_cast<int>(std::lround(centre - box.height() / 2.0)), right - left, box.height());
        }
        widget_->setGeometry(box);
        widget_->setProperty(kEnds, ends);
        widget_->setProperty(kPlaced, widget_->geometry());
    }

    bool vertical_;
};

// A timer is enumerated with the controls but has no place on the form.
class TimerControl final : public ControlAccess {
public:
    explicit TimerControl(const QTimer& timer) : name_(timer.objectName()) {}
    QString name() const override { return name_; }
    QString typeName() const override { return QStringLiteral("timer"); }
    std::optional<double> get(P) const override { return std::nullopt; }
    bool set(P, float) override { return false; }

private:
    QString name_;
};

bool isNamed(const QObject& object)
{
    const QString name = object.objectName();
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
}

void collect(const QObject& parent, ControlList& out)
{
    for (QObject* child : parent.children()) {
        if (auto* widget = qobject_cast<QWidget*>(child)) {
            if (widget->isWindow())
                continue;   // a dialog or popup parented here is a form of its own
            if (isNamed(*widget)) {
                if (isLine(*widget))
                    out.push_back(std::make_shared<LineControl>(static_cast<QFrame*>(widget)));
                else
                    out.push_back(std::make_shared<WidgetControl>(widget));
            }
            collect(*widget, out);
        } else if (auto* timer = qobject_cast<QTimer*>(child); timer && isNamed(*timer)) {
            out.push_back(std::make_shared<TimerControl>(*timer));
        }
    }
}

} // namespace

WidgetFormAccess::WidgetFormAccess(QWidget* interior) : interior_(interior) {}

ControlList WidgetFormAccess::controls()
{
    ControlList out;
    if (interior_)
        collect(*interior_, out);
    return out;
}

std::optional<double> WidgetFormAccess::interiorWidth() const
{
    if (!interior_)
        return std::nullopt;
    return toTwips(interior_->width());
}

std::optional<double> WidgetFormAccess::interiorHeight() const
{
    if (!interior_)
        return std::nullopt;
    return toTwips(interior_->height());
}

} // namespace torvane
