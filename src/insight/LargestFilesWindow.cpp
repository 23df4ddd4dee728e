#include "insight/LargestFilesWindow.h"

#include "fs/Keys.h"
#include "insight/LargestFilesModel.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace torvane {

namespace {

QToolButton* actionButton(QAction* action, const QString& objectName, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

} // namespace

LargestFilesWindow::LargestFilesWindow(LargestFilesActions actions, QWidget* parent)
    : QWidget(parent, Qt::Window), actions_(std::move(actions)), model_(new LargestFilesModel(this)),
      filter_(new LargestFilesFilter(this))
{
    setObjectName(QStringLiteral("largestFilesWindow"));
    setWindowTitle(tr("Largest Files"));
    filter_->setSourceModel(model_);
    filter_->setSortRole(LargestFilesModel::SortRole);
    filter_->setSortLocaleAware(true);

    openFolder_ = new QAction(tr("Open Folder"), this);
    showInTree_ = new QAction(tr("Show in Tree"), this);
    moveToTrash_ = new QAction(tr("Move to Trash"), this);
    moveToTrash_->setShortcut(QKeySequence::Delete);
    moveToTrash_->setShortcutContext(Qt::WidgetShortcut);   // the table's own key, not the filter field's
    connect(openFolder_, &QAction::triggered, this, &LargestFilesWindow::openFolderTriggered);
    connect(showInTree_, &QAction::triggered, this, &LargestFilesWindow::showInTreeTriggered);
    connect(moveToTrash_, &QAction::triggered, this, &LargestFilesWindow::moveToTrashTriggered);

    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("largestMessage"));
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    message_->setTextFormat(Qt::PlainText);   // mount paths are not markup

    pages_ = new QStackedWidget(this);
    pages_->addWidget(message_);
    pages_->addWidget(makeTablePage());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);

    resize(760, 440);
    updateActions();
    showFittingPage();
}

QWidget* LargestFilesWindow::makeTablePage()
{
    tablePage_ = new QWidget(this);
    auto* filterField = new QLineEdit(tablePage_);
    filterField->setObjectName(QStringLiteral("largestFilter"));
    filterField->setPlaceholderText(tr("Filter by part of the name, or by an extension such as .iso"));
    filterField->setClearButtonEnabled(true);
    connect(filterField, &QLineEdit::textChanged, filter_, &LargestFilesFilter::setPattern);

    table_ = new QTableView(tablePage_);
    table_->setObjectName(QStringLiteral("largestTable"));
    table_->setModel(filter_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(LargestFilesModel::FolderColumn, QHeaderView::Stretch);
    table_->setColumnWidth(LargestFilesModel::NameColumn, 220);
    table_->setSortingEnabled(true);
    table_->sortByColumn(LargestFilesModel::SizeColumn, Qt::DescendingOrder);
    table_->addAction(moveToTrash_);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table_, &QWidget::customContextMenuRequested, this, &LargestFilesWindow::showContextMenu);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &LargestFilesWindow::updateActions);
    // Not every way a row leaves the selection (a reset, a new filter) reports a selection change.
    connect(filter_, &QAbstractItemModel::layoutChanged, this, &LargestFilesWindow::updateActions);
    connect(filter_, &QAbstractItemModel::modelReset, this, &LargestFilesWindow::updateActions);
    connect(filter_, &QAbstractItemModel::rowsRemoved, this, &LargestFilesWindow::updateActions);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(actionButton(openFolder_, QStringLiteral("largestOpenFolder"), tablePage_));
    buttons->addWidget(actionButton(showInTree_, QStringLiteral("largestShowInTree"), tablePage_));
    buttons->addWidget(actionButton(moveToTrash_, QStringLiteral("largestMoveToTrash"), tablePage_));
    buttons->addStretch();

    auto* layout = new QVBoxLayout(tablePage_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(filterField);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    return tablePage_;
}

void LargestFilesWindow::setFiles(std::vector<LargeFile> files, const QByteArray& mountPath)
{
    model_->setFiles(std::move(files), mountPath);
    scanned_ = true;
    listVolume_ = mountPath;
    showFittingPage();
}

void LargestFilesWindow::setChosenVolume(const QByteArray& mountPath)
{
    chosenVolume_ = mountPath;
    showFittingPage();
}

void LargestFilesWindow::setSizeOnDisk(bool on)
{
    model_->setSizeOnDisk(on);
}

// An empty table would read as "this volume has no files"; say instead why there is nothing.
void LargestFilesWindow::showFittingPage()
{
    QString message;
    if (!scanned_)
        message = tr("No scan yet.");
    else if (!chosenVolume_.isEmpty() && driveKey(chosenVolume_) != driveKey(listVolume_))
        message = tr("The list shows %1; scan %2 to see its largest files.")
                      .arg(displayName(listVolume_), displayName(chosenVolume_));
    message_->setText(message);
    pages_->setCurrentWidget(message.isEmpty() ? tablePage_ : static_cast<QWidget*>(message_));
}

void LargestFilesWindow::updateActions()
{
    const bool any = table_->selectionModel()->hasSelection();
    openFolder_->setEnabled(any);
    showInTree_->setEnabled(any);
    moveToTrash_->setEnabled(any);
}

void LargestFilesWindow::showContextMenu(const QPoint& position)
{
    if (!table_->indexAt(position).isValid())
        return;
    QMenu menu(this);
    menu.addAction(openFolder_);
    menu.addAction(showInTree_);
    menu.addSeparator();
    menu.addAction(moveToTrash_);
    menu.exec(table_->viewport()->mapToGlobal(position));
}

std::vector<int> LargestFilesWindow::selectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

QByteArray LargestFilesWindow::rowData(int row, int role) const
{
    return filter_->index(row, 0).data(role).toByteArray();
}

void LargestFilesWindow::openFolderTriggered()
{
    const std::vector<int> rows = selectedRows();
    if (!rows.empty() && actions_.openFolder)
        actions_.openFolder(rowData(rows.front(), LargestFilesModel::FolderRole));
}

void LargestFilesWindow::showInTreeTriggered()
{
    const std::vector<int> rows = selectedRows();
    if (!rows.empty() && actions_.showInTree)
        actions_.showInTree(rowData(rows.front(), LargestFilesModel::FolderRole));
}

// The callback asks and may let events run, and a new scan may replace the list meanwhile: the
// files are kept by path, never by row. One refusal stops only that file.
void LargestFilesWindow::moveToTrashTriggered()
{
    const auto moveToTrash = actions_.moveToTrash;   // a copy: the window may be deleted while it runs
    if (!moveToTrash)
        return;
    std::vector<QByteArray> paths;
    for (const int row : selectedRows())
        paths.push_back(rowData(row, LargestFilesModel::PathRole));
    const QPointer<LargestFilesWindow> self(this);
    for (const QByteArray& path : paths) {
        const bool gone = moveToTrash(path);
        if (!self)
            return;
        if (gone)
            model_->removeFile(path);
    }
}

} // namespace torvane
