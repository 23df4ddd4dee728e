#pragma once

#include "desktop/Twips.h"
#include "resize/FormAccess.h"

#include <QPointer>

class QWidget;

namespace torvane {

// A window's controls for the Resizer: every named QWidget below the interior widget (depth
// first, in creation order) and every named QTimer among them. Positions are relative to each
// widget's parent, and positions and sizes are in twips, 15 to a pixel; values written are
// rounded to whole pixels. A QFrame drawn as a horizontal or vertical line is a "line" with end
// points instead of a size. Names beginning with "qt_" belong to Qt's own parts of a widget and
// are left out.
class WidgetFormAccess final : public FormAccess {
public:
    // interior: the widget whose size is the form's interior, e.g. a QMainWindow's central widget.
    explicit WidgetFormAccess(QWidget* interior);

    ControlList controls() override;
    std::optional<double> interiorWidth() const override;
    std::optional<double> interiorHeight() const override;

private:
    QPointer<QWidget> interior_;
};

} // namespace torvane
