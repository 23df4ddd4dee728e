// The main window's construction: its controls, their tab order, the drive list and the
// proportions kept on resizing. The menus are built in MainWindowMenus.cpp.

#include "mainwindow/MainWindow.h"

#include "mainwindow/Images.h"
#include "desktop/AppInfo.h"
#include "desktop/Events.h"
#include "desktop/Twips.h"
#include "fs/FileSystem.h"
#include "fs/Keys.h"
#include "resize/Resizer.h"
#include "resize/WidgetFormAccess.h"
#include "scan/DriveScan.h"
#include "scan/FolderNode.h"
#include "scan/StatusText.h"

#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>

namespace torvane {

namespace {

const QString kReportName = QStringLiteral("xmlOutput.xml");

template <typename W>
W* control(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(twipsRect(left, top, width, height));
    return w;
}

} // namespace

MainWindow::MainWindow(const Services& services, std::function<void()> endProgram, QWidget* parent)
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
    services_.fileSystem->watchVolumes([this] { volumesChanged(); });

    ScanControls controls;
    controls.tree = tree_.get();
    controls.status = status_.get();
    controls.progress = ProgressBar_;
    controls.currentDrive = [this] { return currentDrive(); };
    controls.setCurrentDrive = [this](const QByteArray& mount) { setCurrentDrive(mount); };
    controls.setTimerEnabled = [this](bool on) { setTimerEnabled(on); };
    scanner_ = std::make_unique<DriveScanner>(*services_.fileSystem, *services_.prompter, controls, reportPath());
    scanner_->setSizeOnDisk(sizeOnDisk_->isChecked());

    formAccess_ = std::make_unique<WidgetFormAccess>(client_);
    resizer_ = std::make_unique<Resizer>();
    resize(twipsToPixels(7590), twipsToPixels(5580) + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

MainWindow::~MainWindow()
{
    services_.fileSystem->watchVolumes({});
}

void MainWindow::createControls()
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
    txtStatus_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtStatus_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

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

    connect(cmdRun_, &QPushButton::clicked, this, &MainWindow::runClicked);
    connect(cmdOpen_, &QPushButton::clicked, this, &MainWindow::openClicked);
    connect(cmdDelete_, &QPushButton::clicked, this, &MainWindow::deleteClicked);
    connect(cmdRename_, &QPushButton::clicked, this, &MainWindow::renameClicked);
    connect(cmdExit_, &QPushButton::clicked, this, [this] { endProgram(); });
    connect(Timer_, &QTimer::timeout, this, [] { letEventsRun(); });
    connect(trvDir_, &QTreeWidget::itemExpanded, this, &MainWindow::folderExpanded);
    connect(trvDir_, &QTreeWidget::itemClicked, this, &MainWindow::folderClicked);
}

void MainWindow::setTabOrder()
{
    // The focusable controls in their tab order: File1, trvDir, drvHDs, txtStatus, cmdRun,
    // cmdExit, cmdRename, cmdDelete, cmdOpen.
    const QList<QWidget*> order{File1_, trvDir_, drvHDs_, txtStatus_, cmdRun_, cmdExit_, cmdRename_, cmdDelete_, cmdOpen_};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

// ---- drive list -----------------------------------------------------------------------------

void MainWindow::fillDriveList()
{
    for (const Volume& v : services_.fileSystem->volumes()) {
        drvHDs_->addItem(displayName(v.mountPath) + QStringLiteral("   (") + displayName(v.device) + QStringLiteral(", ")
                             + displayName(v.fsType) + QLatin1Char(')'),
                         v.mountPath);
    }
}

// A volume mounted or unmounted while the program runs: the list follows, and the chosen volume
// stays chosen while it is mounted (else the first, the home volume, is).
void MainWindow::volumesChanged()
{
    const QByteArray chosen = currentDrive();
    const QSignalBlocker quiet(drvHDs_);
    drvHDs_->clear();
    fillDriveList();
    drvHDs_->setCurrentIndex(std::max(0, drvHDs_->findData(chosen)));
}

QByteArray MainWindow::currentDrive() const
{
    return drvHDs_->currentIndex() < 0 ? QByteArray("/") : drvHDs_->currentData().toByteArray();
}

void MainWindow::setCurrentDrive(const QByteArray& mount)
{
    int index = drvHDs_->findData(mount);
    if (index < 0) {
        drvHDs_->addItem(displayName(mount), mount);
        index = drvHDs_->count() - 1;
    }
    drvHDs_->setCurrentIndex(index);
}

std::vector<QByteArray> MainWindow::volumeMounts() const
{
    std::vector<QByteArray> mounts;
    for (int i = 0; i < drvHDs_->count(); ++i)
        mounts.push_back(drvHDs_->itemData(i).toByteArray());
    return mounts;
}

QString MainWindow::reportPath() const
{
    return services_.appInfo->appFolder() + QLatin1Char('/') + kReportName;
}

// ---- timer, status and start controls -------------------------------------------------------

void MainWindow::setTimerEnabled(bool on)
{
    if (on)
        Timer_->start();
    else
        Timer_->stop();
}

void MainWindow::prependStatusLine(const QString& line)
{
    status_->prependLine(line);
}

void MainWindow::setStartControlsEnabled(bool on)
{
    for (QWidget* w : {static_cast<QWidget*>(cmdOpen_), static_cast<QWidget*>(cmdRename_),
                       static_cast<QWidget*>(cmdDelete_), static_cast<QWidget*>(drvHDs_), static_cast<QWidget*>(cmdRun_)})
        w->setEnabled(on);
}

// ---- resizing -------------------------------------------------------------------------------

// Failure style: skip the failing step. The drive list and the Run button are fixed up after
// the proportions, and win over them.
void MainWindow::windowResized()
{
    resizer_->adjust();
    resizer_->setResizeFonts(false);
    const int width = txtStatus_->width() - cmdRun_->width() - twipsToPixels(100);
    if (width > 0)
        drvHDs_->resize(width, drvHDs_->height());
    cmdRun_->resize(cmdRun_->width(), drvHDs_->height());
}

} // namespace torvane
