// The main window's start-up and the routing of its watched controls' events to the handlers.
// The rest of the class: MainWindowControls.cpp, MainWindowMenus.cpp, MainWindowTree.cpp and
// MainWindowCommands.cpp.

#include "mainwindow/MainWindow.h"

#include "desktop/AppInfo.h"
#include "resize/Resizer.h"
#include "resize/WidgetFormAccess.h"
#include "scan/DriveScan.h"
#include "scan/StatusText.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTreeWidget>

namespace torvane {

void MainWindow::startUp()
{
    const QString version = services_.appInfo->version();
    lblVersion_->setText(version);
    status_->setText(QStringLiteral("Ostrel Torvane Version:") + version);
    resizer_->setResizeFonts(false);
    resizer_->setForm(formAccess_.get());
}

// Closing the window during a scan ends the program where it stands, like Exit: unwinding a
// scan that waits inside nested event processing would outlive the window it writes to.
void MainWindow::closeEvent(QCloseEvent* event)
{
    if (scanner_->scanning())
        endProgram();
    QMainWindow::closeEvent(event);
}

// F5 on the tree refreshes; a right click on a node opens its pop-up menu; a double click in the
// status box or a drop on its frame saves and shows the log; the client area's resize keeps the
// proportions.
bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == trvDir_ && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F5) {
        refreshTriggered();
        return true;
    }
    if (watched == trvDir_->viewport()) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            // A right press leaves the selection as it was; the menu acts on the selected node.
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
                return true;
        }
        if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            treeMouseReleased(static_cast<QMouseEvent*>(event)->position().toPoint());
            return true;
        }
    }
    if (watched == txtStatus_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        saveAndShowLog();
        return true;
    }
    if (watched == frameStatus_) {
        if (event->type() == QEvent::DragEnter) {
            static_cast<QDragEnterEvent*>(event)->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            static_cast<QDropEvent*>(event)->acceptProposedAction();
            saveAndShowLog();
            return true;
        }
    }
    if (watched == client_ && event->type() == QEvent::Resize)
        windowResized();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::endProgram()
{
    scanner_->abandon();
    endProgram_();
}

} // namespace torvane
