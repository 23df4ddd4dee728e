// The main window's folder commands (open, delete, properties, empty trash), the report and the
// log, and the windows it opens (rename, update check).

#include "mainwindow/MainWindow.h"

#include "mainwindow/MainWindowPrivate.h"
#include "mainwindow/ReportWindow.h"
#include "mainwindow/TreeLogic.h"
#include "desktop/AppInfo.h"
#include "desktop/BusyCursor.h"
#include "desktop/Events.h"
#include "desktop/Prompter.h"
#include "desktop/Shell.h"
#include "fs/FileSystem.h"
#include "fs/Keys.h"
#include "fs/PlatformError.h"
#include "rename/RenameWindow.h"
#include "scan/FolderNode.h"
#include "scan/StatusText.h"
#include "update/UpdateCheck.h"

#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTreeWidget>
#include <QUrl>

#include <cerrno>
#include <cstdint>
#include <optional>

namespace torvane {

namespace {

const QString kLogName = QStringLiteral("torvane.log");

// Stop with a status line: an error the step throws goes on top of the status text as
// line(error) and ends the step.
template <class Step>
void statusLineOnFailure(StatusBox& status, QString (*line)(const PlatformError&), Step&& step)
{
    try {
        std::forward<Step>(step)();
    } catch (const PlatformError& e) {
        status.prependLine(line(e));
    }
}

QString descriptionLine(const PlatformError& e)
{
    return e.description();
}

QString numberedErrorLine(const PlatformError& e)
{
    return QStringLiteral("Error: ") + QString::number(e.number()) + QStringLiteral(" : ") + e.description();
}

// Marks a trash command as running for as long as its handler runs: the handler lets events run
// while the disk work goes on elsewhere, and a second trash command must not start meanwhile.
struct TrashBusy {
    explicit TrashBusy(bool& flag) : flag_(flag) { flag_ = true; }
    ~TrashBusy() { flag_ = false; }
    TrashBusy(const TrashBusy&) = delete;
    TrashBusy& operator=(const TrashBusy&) = delete;
    bool& flag_;
};

void requireSelection(const QByteArray& key)
{
    if (key.isEmpty())
        throw PlatformError(ENOENT, QStringLiteral("No folder is selected."));
}

// Writes the log whole or not at all; returns why it could not, or nothing.
std::optional<QString> saveLog(const QString& path, const QString& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write((text + QStringLiteral("\r\n")).toUtf8()) < 0 || !file.commit())
        return file.errorString();
    return std::nullopt;
}

} // namespace

// ---- folder commands ------------------------------------------------------------------------

// Failure style: the error's description on top of the status text.
void MainWindow::openClicked()
{
    const QByteArray key = tree_->selectedKey();
    statusLineOnFailure(*status_, descriptionLine, [&] {
        requireSelection(key);
        services_.shell->openFolder(key);
    });
}

// Failure style: "Error: " line on top of the status text; a volume's root gets a box. The tree
// shows the outcome unless nothing was selected or the root was refused.
void MainWindow::deleteClicked()
{
    const QByteArray key = tree_->selectedKey();
    if (key.isEmpty())
        statusLineOnFailure(*status_, numberedErrorLine, [&] { requireSelection(key); });
    else
        trashFolder(key);
}

// Delete of one folder: the root refusal, the question, the move and the tree's outcome. True
// when the folder is gone.
bool MainWindow::trashFolder(const QByteArray& key)
{
    if (trashBusy_)
        return false;
    const TrashBusy guard(trashBusy_);
    if (refuseVolumeRoot(key))
        return false;
    statusLineOnFailure(*status_, numberedErrorLine, [&] {
        if (confirmDelete(key)) {
            // The move measures the folder for the trash's size list: a large one takes a while.
            BusyCursor busy;
            Shell& shell = *services_.shell;
            runWhileEventsRun([&shell, key] { shell.moveToTrash(key); });
        }
    });
    showDeleteOutcome(key);
    return !services_.fileSystem->folderExists(key);
}

bool MainWindow::trashItem(const QByteArray& path)
{
    return services_.fileSystem->folderExists(path) ? trashFolder(path) : trashFile(path);
}

// The largest files' Move to Trash: Delete's question, trash code and error line, for one file.
// True when the file is gone.
bool MainWindow::trashFile(const QByteArray& path)
{
    if (trashBusy_)
        return false;
    const TrashBusy guard(trashBusy_);
    if (services_.prompter->ask(QStringLiteral("Move the file \"") + displayName(path) + QStringLiteral("\" to the trash?"),
                                BoxIcon::None, BoxButtons::YesNo, QStringLiteral("Delete File"))
        != BoxAnswer::Yes)
        return false;
    bool moved = false;
    statusLineOnFailure(*status_, numberedErrorLine, [&] {
        BusyCursor busy;
        Shell& shell = *services_.shell;
        runWhileEventsRun([&shell, path] { shell.moveToTrash(path); });
        moved = true;
    });
    return moved;
}

// A volume's root is never deleted: a box says so, and true.
bool MainWindow::refuseVolumeRoot(const QByteArray& key)
{
    if (!isVolumeRoot(key, volumeMounts()))
        return false;
    services_.prompter->ask(QStringLiteral("You cannot delete\r\na root drive"), BoxIcon::Critical, BoxButtons::Ok);
    return true;
}

// Our own question before a move to the trash, naming the folder and its size. A folder that is
// already gone is not asked about: the move reports it. Failure style: a size that cannot be
// read is left out of the question.
bool MainWindow::confirmDelete(const QByteArray& key)
{
    if (!services_.fileSystem->folderExists(key))
        return true;
    std::optional<std::uint64_t> size;
    skipStepOnFailure([&] { size = services_.fileSystem->folderSize(key); });
    const QString sizeText = size ? QStringLiteral(" (") + mbText(*size) + QStringLiteral(" MB)") : QString();
    return services_.prompter->ask(QStringLiteral("Move the folder \"") + displayName(key) + QLatin1Char('"') + sizeText
                                       + QStringLiteral(" and everything in it to the trash?"),
                                   BoxIcon::None, BoxButtons::YesNo, QStringLiteral("Delete Folder"))
        == BoxAnswer::Yes;
}

// The tree after a delete: the node is expanded; a folder that is gone is marked deleted and its
// parent selected. Expanding lets events run, so the node is looked up again.
void MainWindow::showDeleteOutcome(const QByteArray& key)
{
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

// Failure style: none needed; nothing selected, or a folder that is gone, shows no window.
void MainWindow::propertiesTriggered()
{
    const QByteArray key = tree_->selectedKey();
    if (key.isEmpty())
        return;
    services_.shell->showProperties(key, this);
}

// Failure style: stop silently. Asks first, naming how much the trash holds. Measuring and
// emptying walk whole trees, so they run off the user-interface thread while events run.
void MainWindow::emptyTrashTriggered()
{
    if (trashBusy_)
        return;
    const TrashBusy guard(trashBusy_);
    stopSilentlyOnFailure([&] {
        const std::vector<QByteArray> mounts = volumeMounts();
        Shell& shell = *services_.shell;
        TrashContents contents;
        {
            BusyCursor busy;
            contents = runWhileEventsRun([&shell, mounts] { return shell.trashContents(mounts); });
        }
        const QString text = QStringLiteral("Permanently delete the %1 item(s) in the trash (%2 MB)?")
                                 .arg(contents.items)
                                 .arg(mbText(contents.bytes));
        if (services_.prompter->ask(text, BoxIcon::None, BoxButtons::YesNo, QStringLiteral("Empty Trash")) != BoxAnswer::Yes)
            return;
        BusyCursor busy;
        runWhileEventsRun([&shell, mounts] { shell.emptyTrash(mounts); });
    });
}

// ---- report and log -------------------------------------------------------------------------

// Failure style: none needed; the report window shows a missing or broken report as such.
void MainWindow::openXmlOutputTriggered()
{
    status_->setText(QStringLiteral("Opening ") + reportPath()
                     + QStringLiteral("\r\nThis may take a few minutes, but once\r\nit is loaded navigation is very fast."));
    status_->repaint();
    BusyCursor busy;
    showReportWindow(reportPath(), this);
}

// Failure style: a box that says why the log could not be saved; no older log is opened. A saved
// log that no program opens is skipped.
void MainWindow::saveAndShowLog()
{
    if (!cmdRun_->isEnabled())
        return;
    const QString path = services_.appInfo->appFolder() + QLatin1Char('/') + kLogName;
    if (const std::optional<QString> failure = saveLog(path, status_->text())) {
        services_.prompter->ask(QStringLiteral("The log could not be saved to ") + path + QStringLiteral(":\r\n") + *failure,
                                BoxIcon::Critical, BoxButtons::Ok);
        return;
    }
    skipStepOnFailure([&] { services_.shell->openFile(path); });
}

// ---- other windows --------------------------------------------------------------------------

// Failure style: the rename window's own (a box when the folder is gone, and no window).
void MainWindow::renameClicked()
{
    openRenameWindow(this, *services_.prompter, *this, file1Key_);
}

// Failure style: the update check's own (a failed step is skipped). Nothing without HTTP.
void MainWindow::checkForUpdatesTriggered()
{
    if (!services_.http)
        return;
    checkForUpdates(this, *services_.http, *services_.prompter, *services_.shell, services_.appInfo->appFolder(),
                    lblVersion_->text(), QUrl(QString::fromLatin1(kUpdateBaseUrl)), endProgram_);
}

} // namespace torvane
