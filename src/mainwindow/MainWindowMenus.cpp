// The main window's menus: File, Edit, View and Help on the menu bar, and the pop-up only Admin
// menu. View's entries live with their handlers in MainWindowView.cpp.
// Edit (mnuDir2) is also the tree's pop-up menu for an ordinary folder.

#include "mainwindow/MainWindow.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace torvane {

QAction* menuEntry(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut = {})
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        a->setShortcutContext(Qt::WindowShortcut);
    }
    return a;
}

void MainWindow::createMenus()
{
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    connect(menuEntry(mnuFile, "mProcess", QStringLiteral("Process Drive")), &QAction::triggered, this,
            &MainWindow::processDriveTriggered);
    mnuFile->addSeparator();
    connect(menuEntry(mnuFile, "mOpenXML", QStringLiteral("Open XML Output"), QKeySequence(Qt::CTRL | Qt::Key_M)),
            &QAction::triggered, this, &MainWindow::openXmlOutputTriggered);
    mnuFile->addSeparator();
    connect(menuEntry(mnuFile, "mExit", QStringLiteral("Exit This Application"), QKeySequence(Qt::CTRL | Qt::Key_X)),
            &QAction::triggered, this, [this] { endProgram(); });

    mnuDir2_ = menuBar()->addMenu(QStringLiteral("&Edit"));
    mnuDir2_->setObjectName(QStringLiteral("mnuDir2"));
    connect(menuEntry(mnuDir2_, "mRefresh1", QStringLiteral("Refresh"), QKeySequence(Qt::CTRL | Qt::Key_R)),
            &QAction::triggered, this, &MainWindow::refreshTriggered);
    mnuDir2_->addSeparator();
    connect(menuEntry(mnuDir2_, "mOpen2", QStringLiteral("Open"), QKeySequence(Qt::CTRL | Qt::Key_O)),
            &QAction::triggered, this, &MainWindow::openClicked);
    mnuDir2_->addSeparator();
    connect(menuEntry(mnuDir2_, "mDelete1", QStringLiteral("Delete"), QKeySequence(Qt::Key_Delete)),
            &QAction::triggered, this, &MainWindow::deleteClicked);
    mnuDir2_->addSeparator();
    connect(menuEntry(mnuDir2_, "mProperties1", QStringLiteral("Properties"), QKeySequence(Qt::CTRL | Qt::Key_I)),
            &QAction::triggered, this, &MainWindow::propertiesTriggered);
    mnuDir2_->addSeparator();
    connect(menuEntry(mnuDir2_, "mRename", QStringLiteral("Rename Files"), QKeySequence(Qt::CTRL | Qt::Key_L)),
            &QAction::triggered, this, &MainWindow::renameClicked);
    mnuDir2_->addSeparator();
    connect(menuEntry(mnuDir2_, "mnuDirRecycle", QStringLiteral("Empty Trash"), QKeySequence(Qt::CTRL | Qt::Key_T)),
            &QAction::triggered, this, &MainWindow::emptyTrashTriggered);

    // Popup only: never added to the menu bar.
    mnuDir3_ = new QMenu(QStringLiteral("Admin"), this);
    mnuDir3_->setObjectName(QStringLiteral("mnuDir3"));
    connect(menuEntry(mnuDir3_, "mTrash", QStringLiteral("Empty Trash")), &QAction::triggered, this,
            &MainWindow::emptyTrashTriggered);
    mnuDir3_->addSeparator();
    connect(menuEntry(mnuDir3_, "mProperties", QStringLiteral("Properties")), &QAction::triggered, this,
            &MainWindow::propertiesTriggered);

    createViewMenu();

    QMenu* mHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mHelp->setObjectName(QStringLiteral("mHelp"));
    connect(menuEntry(mHelp, "mUpdates", QStringLiteral("Check For Updates")), &QAction::triggered, this,
            &MainWindow::checkForUpdatesTriggered);
}

} // namespace torvane
