#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace torvane {

// The hourglass for the length of one routine. Inside a routine that shows it already, it costs
// nothing: a fill calls a lister per child, and each cursor change goes to every window.
class BusyCursor {
public:
    BusyCursor()
    {
        const QCursor* current = QGuiApplication::overrideCursor();
        pushed_ = !current || current->shape() != Qt::WaitCursor;
        if (pushed_)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~BusyCursor()
    {
        if (pushed_)
            QGuiApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    bool pushed_ = false;
};

} // namespace torvane
