#include "mainwindow/frmDir.h"

#include "mainwindow/Images.h"
#include "mainwindow/ReportWindow.h"
#include "mainwindow/TreeLogic.h"
#include "platform/AppInfo.h"
#include "platform/BusyCursor.h"
#include "platform/Events.h"
#include "platform/FileSystem.h"
#include "platform/Keys.h"
#include "platform/PlatformError.h"
#include "platform/Prompter.h"
#include "platform/Shell.h"
#include "platform/Trash.h"
#include "platform/Twips.h"
#include "rename/RenameWindow.h"
#include "resize/Resizer.h"
#include "resize/WidgetFormAccess.h"
#include "scan/DriveScan.h"
#include "scan/FolderNode.h"
#include "scan/StatusText.h"
#include "update/UpdateCheck.h"

#include <QApplication>
#include <QComboBox>
#include <QCloseEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

namespace torvane {

namespace {

const QString kLogName = QStringLiteral("torvane.log");
const QString kReportName = QStringLiteral("xmlOutput.xml");


template <typename W>
W* control(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(twipsRect(left, top, width, height));
    return w;
}

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

} // namespace

frmDir::frmDir(const Services& services, std::function<void()> endProgram, QWidget* parent)
    : QMainWindow(parent), services_(services), endProgram_(std::move(endProgram))
{
    setObjectName(QStringLiteral("frmDir"));
    setWindowTitle(QStringLiteral("Ostrel - Torvane v2.0"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("torvane"), imgIcons().value(QStringLiteral("drive"))));
    setFont(sansFont(8.25, false));
    createControls();
    createMenus();
    setTabOrder();
    fillDriveList();

    ScanControls controls;
    controls.tree = tree_.get();
    controls.status = status_.get();
    controls.progress = ProgressBar_;
    controls.currentDrive = [this] { return currentDrive(); };
    controls.setCurrentDrive = [this](const QByteArray& mount) { setCurrentDrive(mount); };
    controls.setTimerEnabled = [this](bool on) { setTimerEnabled(on); };
    scanner_ = std::make_unique<DriveScanner>(*services_.fileSystem, *services_.prompter, controls, reportPath());

    formAccess_ = std::make_unique<WidgetFormAccess>(client_);
    resizer_ = std::make_unique<resizer>();
    resize(twipsToPixels(7590), twipsToPixels(5580) + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

frmDir::~frmDir() = default;

void frmDir::createControls()
{
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);

    Frame1_ = control<QGroupBox>(client_, "Frame1", 120, 0, 7335, 735);
    Frame1_->setTitle(QStringLiteral(" Drive  "));
    Frame1_->setFont(sansFont(9, true));
    drvHDs_ = control<QComboBox>(Frame1_, "drvHDs", 120, 285, 5985, 330);
    drvHDs_->setFont(font());
    cmdRun_ = control<QPushButton>(Frame1_, "cmdRun", 6240, 285, 975, 300);
    cmdRun_->setText(QStringLiteral("Run"));
    cmdRun_->setFont(sansFont(9.75, true));

    frmMain_ = control<QGroupBox>(client_, "frmMain", 120, 840, 7335, 2895);
    frmMain_->setTitle(QStringLiteral(" Folders  "));
    frmMain_->setFont(sansFont(9, true));
    File1_ = control<QLineEdit>(frmMain_, "File1", 240, 1320, 4335, 375);
    File1_->setFont(sansFont(8.25, false));
    File1_->setVisible(false);
    trvDir_ = control<QTreeWidget>(frmMain_, "trvDir", 125, 240, 7100, 2220);
    trvDir_->setFont(font());
    trvDir_->setHeaderHidden(true);
    trvDir_->setUniformRowHeights(true);
    trvDir_->setContextMenuPolicy(Qt::NoContextMenu);
    cmdOpen_ = control<QPushButton>(frmMain_, "cmdOpen", 120, 2520, 1695, 255);
    cmdOpen_->setText(QStringLiteral("Open"));
    cmdDelete_ = control<QPushButton>(frmMain_, "cmdDelete", 1920, 2520, 1695, 255);
    cmdDelete_->setText(QStringLiteral("Delete"));
    cmdRename_ = control<QPushButton>(frmMain_, "cmdRename", 3720, 2520, 1695, 255);
    cmdRename_->setText(QStringLiteral("Rename"));
    cmdExit_ = control<QPushButton>(frmMain_, "cmdExit", 5520, 2520, 1695, 255);
    cmdExit_->setText(QStringLiteral("Exit"));
    for (QPushButton* b : {cmdOpen_, cmdDelete_, cmdRename_, cmdExit_})
        b->setFont(font());

    ProgressBar_ = control<QProgressBar>(client_, "ProgressBar", 120, 3720, 7335, 135);
    ProgressBar_->setRange(0, 999);
    ProgressBar_->setValue(0);
    ProgressBar_->setTextVisible(false);

    frameStatus_ = control<QGroupBox>(client_, "frameStatus", 120, 3840, 7335, 1575);
    frameStatus_->setTitle(QStringLiteral(" Status  (double click to view or print)"));
    frameStatus_->setFont(sansFont(9, true));
    frameStatus_->setAcceptDrops(true);
    txtStatus_ = control<QPlainTextEdit>(frameStatus_, "txtStatus", 120, 240, 7095, 1200);
    txtStatus_->setFont(sansFont(9, false));
    txtStatus_->setReadOnly(true);
    txtStatus_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtStatus_->setLineWrapMode(QPlainTextEdit::NoWrap);

    lblVersion_ = control<QLabel>(client_, "lblVersion", 240, 5280, 5565, 195);
    lblVersion_->setBackgroundRole(QPalette::Window);
    lblVersion_->setForegroundRole(QPalette::WindowText);

    Timer_ = new QTimer(this);
    Timer_->setObjectName(QStringLiteral("Timer"));
    Timer_->setInterval(500);

    const QMap<QString, QIcon> images = imgIcons();
    tree_ = std::make_unique<FolderTree>(trvDir_);
    tree_->setImages(images.value(QStringLiteral("drive")), folderNodeIcon(images));
    status_ = std::make_unique<StatusBox>(txtStatus_);

    // Last: the filter reads the controls above.
    for (QObject* watched : {static_cast<QObject*>(trvDir_), static_cast<QObject*>(trvDir_->viewport()),
                             static_cast<QObject*>(frameStatus_), static_cast<QObject*>(txtStatus_->viewport()),
                             static_cast<QObject*>(client_)})
        watched->installEventFilter(this);

    connect(cmdRun_, &QPushButton::clicked, this, &frmDir::cmdRun_Click);
    connect(cmdOpen_, &QPushButton::clicked, this, &frmDir::Open);
    connect(cmdDelete_, &QPushButton::clicked, this, &frmDir::Delete);
    connect(cmdRename_, &QPushButton::clicked, this, &frmDir::Rename);
    connect(cmdExit_, &QPushButton::clicked, this, [this] { endProgram_(); });
    connect(Timer_, &QTimer::timeout, this, [] { letEventsRun(); });
    connect(trvDir_, &QTreeWidget::itemExpanded, this, &frmDir::trvDir_Expand);
    connect(trvDir_, &QTreeWidget::itemClicked, this, &frmDir::trvDir_NodeClick);
}

void frmDir::createMenus()
{
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    connect(menuEntry(mnuFile, "mProcess", QStringLiteral("Process Drive")), &QAction::triggered, this,
            &frmDir::mProcess_Click);
    mnuFile->addSeparator();
    connect(menuEntry(mnuFile, "mOpenXML", QStringLiteral("Open XML Output"), QKeySequence(Qt::CTRL | Qt::Key_M)),
            &QAction::triggered, this, &frmDir::OpenXmlOutput);
    mnuFile->addSeparator();
    connect(menuEntry(mnuFile, "mExit", QStringLiteral("Exit This Application"), QKeySequence(Qt::CTRL | Qt::Key_X)),
            &QAction::triggered, this, [this] { endProgram_(); });

    mnuDir2_ = menuBar()->addMenu(QStringLiteral("&Edit"));
    mnuDir2_->setObjectName(QStringLiteral("mnuDir2"));
    connect(menuEntry(mnuDir2_, "mRefresh1", QStringLiteral("Refresh"), QKeySequence(Qt::CTRL | Qt::Key_R)),
            &QAction::triggered, this, &frmDir::Refresh);
    mnuDir2_->addSeparator();
    connect(menuEntry(mnuDir2_, "mOpen2", QStringLiteral("Open"), QKeySequence(Qt::CTRL | Qt::Key_O)),
            &QAction::triggered, this, &frmDir::Open);
    mnuDir2_->addSeparator();
    connect(menuEntry(mnuDir2_, "mDelete1", QStringLiteral("Delete"), QKeySequence(Qt::Key_Delete)),
            &QAction::triggered, this, &frmDir::Delete);
    mnuDir2_->addSeparator();
    connect(menuEntry(mnuDir2_, "mProperties1", QStringLiteral("Properties"), QKeySequence(Qt::CTRL | Qt::Key_I)),
            &QAction::triggered, this, &frmDir::Properties);
    mnuDir2_->addSeparator();
    connect(menuEntry(mnuDir2_, "mRename", QStringLiteral("Rename Files"), QKeySequence(Qt::CTRL | Qt::Key_L)),
            &QAction::triggered, this, &frmDir::Rename);
    mnuDir2_->addSeparator();
    connect(menuEntry(mnuDir2_, "mnuDirRecycle", QStringLiteral("Empty Trash"), QKeySequence(Qt::CTRL | Qt::Key_T)),
            &QAction::triggered, this, &frmDir::EmptyTrash);

    // Popup only: never added to the menu bar.
    mnuDir3_ = new QMenu(QStringLiteral("Admin"), this);
    mnuDir3_->setObjectName(QStringLiteral("mnuDir3"));
    connect(menuEntry(mnuDir3_, "mTrash", QStringLiteral("Empty Trash")), &QAction::triggered, this,
            &frmDir::EmptyTrash);
    mnuDir3_->addSeparator();
    connect(menuEntry(mnuDir3_, "mProperties", QStringLiteral("Properties")), &QAction::triggered, this,
            &frmDir::Properties);

    QMenu* mHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mHelp->setObjectName(QStringLiteral("mHelp"));
    connect(menuEntry(mHelp, "mUpdates", QStringLiteral("Check For Updates")), &QAction::triggered, this,
            &frmDir::CheckUpdates);
}

void frmDir::setTabOrder()
{
    // The focusable controls in their tab order: File1, trvDir, drvHDs, txtStatus, cmdRun,
    // cmdExit, cmdRename, cmdDelete, cmdOpen.
    const QList<QWidget*> order{File1_, trvDir_, drvHDs_, txtStatus_, cmdRun_, cmdExit_, cmdRename_, cmdDelete_, cmdOpen_};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void frmDir::fillDriveList()
{
    for (const Volume& v : services_.fileSystem->volumes()) {
        drvHDs_->addItem(displayName(v.mountPath) + QStringLiteral("   (") + displayName(v.device) + QStringLiteral(", ")
                             + displayName(v.fsType) + QLatin1Char(')'),
                         v.mountPath);
    }
}

QByteArray frmDir::currentDrive() const
{
    return drvHDs_->currentIndex() < 0 ? QByteArray("/") : drvHDs_->currentData().toByteArray();
}

void frmDir::setCurrentDrive(const QByteArray& mount)
{
    int index = drvHDs_->findData(mount);
    if (index < 0) {
        drvHDs_->addItem(displayName(mount), mount);
        index = drvHDs_->count() - 1;
    }
    drvHDs_->setCurrentIndex(index);
}

std::vector<QByteArray> frmDir::volumeMounts() const
{
    std::vector<QByteArray> mounts;
    for (int i = 0; i < drvHDs_->count(); ++i)
        mounts.push_back(drvHDs_->itemData(i).toByteArray());
    return mounts;
}

QString frmDir::reportPath() const
{
    return services_.appInfo->appFolder() + QLatin1Char('/') + kReportName;
}

void frmDir::setTimerEnabled(bool on)
{
    if (on)
        Timer_->start();
    else
        Timer_->stop();
}

void frmDir::prependStatusLine(const QString& line)
{
    status_->prependLine(line);
}

void frmDir::setStartControlsEnabled(bool on)
{
    for (QWidget* w : {static_cast<QWidget*>(cmdOpen_), static_cast<QWidget*>(cmdRename_),
                       static_cast<QWidget*>(cmdDelete_), static_cast<QWidget*>(drvHDs_), static_cast<QWidget*>(cmdRun_)})
        w->setEnabled(on);
}

void frmDir::startUp()
{
    const QString version = services_.appInfo->version();
    lblVersion_->setText(version);
    status_->setText(QStringLiteral("Ostrel Torvane Version:") + version);
    resizer_->ResizeFonts(false);
    resizer_->frmToSize(formAccess_.get());
}

// ---- scans ----------------------------------------------------------------------------------

void frmDir::cmdRun_Click()
{
    if (busy())
        return;
    setStartControlsEnabled(false);
    {
        BusyCursor busy;
        setTimerEnabled(true);
        status_->setText(QString());
        scanner_->ScanDrive();
        setTimerEnabled(false);
    }
    setStartControlsEnabled(true);
}

void frmDir::mProcess_Click()
{
    if (busy())
        return;
    BusyCursor busy;
    setTimerEnabled(true);
    scanner_->ScanDrive();
    setTimerEnabled(false);
}

// ---- tree -----------------------------------------------------------------------------------

// Failure style: skip the failing step. Lists the children of each child so that every child
// shows an expand mark exactly when it has subfolders; a folder made after the scan gets its node
// here. While a fill runs no scan starts, so the keys it goes on with stay those of this tree.
void frmDir::trvDir_Expand(QTreeWidgetItem* item)
{
    const QByteArray key = FolderTree::keyOf(item);
    if (FolderTree::tagged(item) || filling_.contains(key))
        return;
    filling_.insert(key);
    std::vector<Folder> children;
    try {
        children = services_.fileSystem->subfolders(key);
    } catch (const PlatformError&) {
    }
    BusyCursor busy;
    EventThrottle throttle;
    bool added = false;
    for (const Folder& child : children) {
        const QByteArray childKey = folderKey(child.path);
        if (!tree_->find(childKey) && tree_->find(key))
            added |= scanner_->AddFolderNode(key, child);
        if (tree_->find(childKey))
            scanner_->ListChildFolders(childKey);
        throttle.tick();
    }
    if (added)
        tree_->sortChildren(key);
    if (QTreeWidgetItem* again = tree_->find(key))
        FolderTree::setTagged(again);
    filling_.remove(key);
}

bool frmDir::busy() const
{
    return scanner_->scanning() || !filling_.isEmpty();
}

void frmDir::trvDir_NodeClick(QTreeWidgetItem* item)
{
    file1Key_ = FolderTree::keyOf(item);
    File1_->setText(displayName(file1Key_));
}

// Failure style: stop silently.
void frmDir::Refresh()
{
    const QByteArray key = tree_->selectedKey();
    if (key.isEmpty() || busy())
        return;
    refreshKey_ = key;
    const QByteArray oldRoot = trvDir_->topLevelItemCount() ? FolderTree::keyOf(trvDir_->topLevelItem(0)) : QByteArray();
    try {
        scanner_->ScanDrive();
        reselect(refreshKey_, oldRoot);
    } catch (const PlatformError&) {
    }
}

// Finds the folder again under the rebuilt root, one component at a time, expanding (and so
// filling) each level on the way; missing components are skipped.
void frmDir::reselect(const QByteArray& refreshKey, const QByteArray& oldDriveKey)
{
    if (!services_.fileSystem->folderExists(refreshKey))
        return;
    QByteArray current = tree_->selectedKey();
    for (const QByteArray& component : componentsBelow(refreshKey, oldDriveKey)) {
        current = joinPath(current, component);
        selectKey(current);
        letEventsRun();
    }
    if (QTreeWidgetItem* selected = trvDir_->currentItem())
        trvDir_->scrollToItem(selected);
}

// Selecting a node expands its collapsed ancestors first, top down, each filling its children.
void frmDir::selectKey(const QByteArray& key)
{
    QTreeWidgetItem* item = tree_->find(key);
    if (!item)
        return;
    QByteArrayList ancestors;
    for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        ancestors.prepend(FolderTree::keyOf(p));
    for (const QByteArray& a : ancestors) {
        if (QTreeWidgetItem* node = tree_->find(a); node && !node->isExpanded())
            node->setExpanded(true);
    }
    if (QTreeWidgetItem* again = tree_->find(key))
        trvDir_->setCurrentItem(again);
}

void frmDir::trvDir_MouseUp(const QPoint& pos)
{
    if (!trvDir_->itemAt(pos))
        return;
    const QByteArray key = tree_->selectedKey();
    lastPopup_ = isTrashFolder(key, homeTrashPath()) ? mnuDir3_ : mnuDir2_;
    lastPopup_->popup(trvDir_->viewport()->mapToGlobal(pos));
}

// ---- folder commands ------------------------------------------------------------------------

// Failure style: the error's description on top of the status text.
void frmDir::Open()
{
    const QByteArray key = tree_->selectedKey();
    try {
        if (key.isEmpty())
            throw PlatformError(ENOENT, QStringLiteral("No folder is selected."));
        services_.shell->openFolder(key);
    } catch (const PlatformError& e) {
        status_->prependLine(e.description());
    }
}

// Failure style: "Error: " line on top of the status text; a volume's root gets a box.
void frmDir::Delete()
{
    const QByteArray key = tree_->selectedKey();
    try {
        if (key.isEmpty())
            throw PlatformError(ENOENT, QStringLiteral("No folder is selected."));
        if (isVolumeRoot(key, volumeMounts())) {
            services_.prompter->ask(QStringLiteral("You cannot delete\r\na root drive"), BoxIcon::Critical, BoxButtons::Ok);
            return;
        }
        if (confirmDelete(key)) {
            BusyCursor busy;
            services_.shell->moveToTrash(key);
        }
    } catch (const PlatformError& e) {
        status_->prependLine(QStringLiteral("Error: ") + QString::number(e.number()) + QStringLiteral(" : ") + e.description());
        if (key.isEmpty())
            return;
    }
    if (QTreeWidgetItem* node = tree_->find(key))
        node->setExpanded(true);
    if (services_.fileSystem->folderExists(key))
        return;   // declined, or the move failed
    QTreeWidgetItem* node = tree_->find(key);
    if (!node)
        return;
    node->setText(0, QStringLiteral("$$Deleted Folder$$"));
    if (QTreeWidgetItem* parent = node->parent()) {
        trvDir_->setCurrentItem(parent);
        parent->setExpanded(true);
    }
}

// Our own question before a move to the trash, naming the folder and its size. A folder that is
// already gone is not asked about: the move reports it.
bool frmDir::confirmDelete(const QByteArray& key)
{
    if (!services_.fileSystem->folderExists(key))
        return true;
    std::optional<std::uint64_t> size;
    try {
        size = services_.fileSystem->folderSize(key);
    } catch (const PlatformError&) {
    }
    const QString sizeText = size ? QStringLiteral(" (") + mbText(*size) + QStringLiteral(" MB)") : QString();
    return services_.prompter->ask(QStringLiteral("Move the folder \"") + displayName(key) + QLatin1Char('"') + sizeText
                                       + QStringLiteral(" and everything in it to the trash?"),
                                   BoxIcon::None, BoxButtons::YesNo, QStringLiteral("Delete Folder"))
        == BoxAnswer::Yes;
}

void frmDir::Properties()
{
    const QByteArray key = tree_->selectedKey();
    if (key.isEmpty())
        return;
    services_.shell->showProperties(key, this);
}

// Failure style: stop silently.
void frmDir::EmptyTrash()
{
    try {
        const std::vector<QByteArray> mounts = volumeMounts();
        const TrashContents contents = services_.shell->trashContents(mounts);
        const QString text = QStringLiteral("Permanently delete the %1 item(s) in the trash (%2 MB)?")
                                 .arg(contents.items)
                                 .arg(mbText(contents.bytes));
        if (services_.prompter->ask(text, BoxIcon::None, BoxButtons::YesNo, QStringLiteral("Empty Trash")) != BoxAnswer::Yes)
            return;
        BusyCursor busy;
        services_.shell->emptyTrash(mounts);
    } catch (const PlatformError&) {
    }
}

// ---- report and log -------------------------------------------------------------------------

void frmDir::OpenXmlOutput()
{
    status_->setText(QStringLiteral("Opening ") + services_.appInfo->appFolder() + QLatin1Char('/') + kReportName
                     + QStringLiteral("\r\nThis may take a few minutes, but once\r\nit is loaded navigation is very fast."));
    status_->repaint();
    BusyCursor busy;
    showReportWindow(reportPath(), this);
}

// Failure style: a box that says why the log could not be saved; no older log is opened.
void frmDir::SaveAndShowLog()
{
    if (!cmdRun_->isEnabled())
        return;
    const QString path = services_.appInfo->appFolder() + QLatin1Char('/') + kLogName;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write((status_->text() + QStringLiteral("\r\n")).toUtf8()) < 0
        || !file.commit()) {
        services_.prompter->ask(QStringLiteral("The log could not be saved to ") + path + QStringLiteral(":\r\n")
                                    + file.errorString(),
                                BoxIcon::Critical, BoxButtons::Ok);
        return;
    }
    try {
        services_.shell->openFile(path);
    } catch (const PlatformError&) {
    }
}

// ---- other windows --------------------------------------------------------------------------

void frmDir::Rename()
{
    openRenameWindow(this, *services_.prompter, *this, file1Key_);
}

void frmDir::CheckUpdates()
{
    if (!services_.http)
        return;
    CheckForUpdates(this, *services_.http, *services_.prompter, *services_.shell, services_.appInfo->appFolder(),
                    lblVersion_->text(), QUrl(QString::fromLatin1(kUpdateBaseUrl)), endProgram_);
}

// ---- events ---------------------------------------------------------------------------------

// Closing the window during a scan ends the program where it stands, like Exit: unwinding a
// scan that waits inside nested event processing would outlive the window it writes to.
void frmDir::closeEvent(QCloseEvent* event)
{
    if (scanner_->scanning())
        endProgram_();
    QMainWindow::closeEvent(event);
}

bool frmDir::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == trvDir_ && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F5) {
        Refresh();
        return true;
    }
    if (watched == trvDir_->viewport()) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            // A right press leaves the selection as it was; the menu acts on the selected node.
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
                return true;
        }
        if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            trvDir_MouseUp(static_cast<QMouseEvent*>(event)->position().toPoint());
            return true;
        }
    }
    if (watched == txtStatus_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        SaveAndShowLog();
        return true;
    }
    if (watched == frameStatus_) {
        if (event->type() == QEvent::DragEnter) {
            static_cast<QDragEnterEvent*>(event)->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            static_cast<QDropEvent*>(event)->acceptProposedAction();
            SaveAndShowLog();
            return true;
        }
    }
    if (watched == client_ && event->type() == QEvent::Resize)
        Form_Resize();
    return QMainWindow::eventFilter(watched, event);
}

// Failure style: skip the failing step. The drive list and the Run button are fixed up after
// the proportions, and win over them.
void frmDir::Form_Resize()
{
    resizer_->AdjustSize();
    resizer_->ResizeFonts(false);
    const int width = txtStatus_->width() - cmdRun_->width() - twipsToPixels(100);
    if (width > 0)
        drvHDs_->resize(width, drvHDs_->height());
    cmdRun_->resize(cmdRun_->width(), drvHDs_->height());
}

} // namespace torvane
