#pragma once

#include <QObject>

namespace torvane::test {

class WidgetFormAccessTest : public QObject {
    Q_OBJECT
private slots:
    void enumeratesNamedWidgetsAndTimers();
    void keepsAWidgetTreeInProportion();
    void refusesWhatAWidgetCannotTake();
};

} // namespace torvane::test
