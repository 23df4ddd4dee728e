#include "insight/ChangesWindow.h"

#include "desktop/Events.h"
#include "fs/Keys.h"
#include "scan/FolderNode.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <exception>

namespace torvane {

namespace {

enum Column { ChangeColumn, OldColumn, NewColumn, NameColumn, ColumnCount };
constexpr int kPathRole = Qt::UserRole;
constexpr int kGoneRole = Qt::UserRole + 1;
constexpr int kFilledRole = Qt::UserRole + 2;

QString sizeText(std::uint64_t bytes)
{
    return mbText(bytes) + QLatin1String(" MB");
}

QString changeText(const FolderChange& change)
{
    if (change.magnitude() == 0)
        return sizeText(0);
    return (change.newSize > change.oldSize ? QLatin1Char('+') : QLatin1Char('-')) + sizeText(change.magnitude());
}

QString timeText(const QDateTime& taken)
{
    return QLocale().toString(taken.toLocalTime(), QLocale::ShortFormat);
}

struct Compared {
    std::shared_ptr<const SnapshotComparison> comparison;
    QString reason;
};

} // namespace

ChangesWindow::ChangesWindow(SnapshotStore store, ChangesWindowHooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window), store_(std::move(store)), hooks_(std::move(hooks))
{
    setObjectName(QStringLiteral("changesWindow"));
    setWindowTitle(tr("Changes Since Last Scan"));
    resize(640, 480);

    choice_ = new QComboBox(this);
    choice_->setObjectName(QStringLiteral("snapshotChoice"));
    total_ = new QLabel(this);
    total_->setObjectName(QStringLiteral("changesTotal"));
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("changesMessage"));
    message_->setWordWrap(true);
    message_->setAlignment(Qt::AlignCenter);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("changesTree"));
    tree_->setColumnCount(ColumnCount);
    tree_->setHeaderLabels({tr("Change"), tr("Old Size"), tr("New Size"), tr("Name")});
    tree_->setUniformRowHeights(true);
    tree_->header()->setStretchLastSection(true);
    showInTree_ = new QPushButton(tr("Show in Tree"), this);
    showInTree_->setObjectName(QStringLiteral("showInTree"));
    openFolder_ = new QPushButton(tr("Open Folder"), this);
    openFolder_->setObjectName(QStringLiteral("openFolder"));

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Compared with the scan of"), this));
    top->addWidget(choice_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(showInTree_);
    buttons->addWidget(openFolder_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(total_);
    layout->addWidget(message_, 1);
    layout->addWidget(tree_, 1);
    layout->addLayout(buttons);

    showAction_ = new QAction(showInTree_->text(), tree_);
    openAction_ = new QAction(openFolder_->text(), tree_);
    tree_->addActions({showAction_, openAction_});
    tree_->setContextMenuPolicy(Qt::ActionsContextMenu);
    const auto show = [this] { runHook(hooks_.showInTree); };
    const auto open = [this] { runHook(hooks_.openFolder); };
    connect(showAction_, &QAction::triggered, this, show);
    connect(showInTree_, &QPushButton::clicked, this, show);
    connect(openAction_, &QAction::triggered, this, open);
    connect(openFolder_, &QPushButton::clicked, this, open);
    connect(tree_, &QTreeWidget::currentItemChanged, this, &ChangesWindow::updateActions);
    connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { fillChildren(item); });
    connect(choice_, &QComboBox::currentIndexChanged, this, &ChangesWindow::compareWithChoice);

    setCurrent(nullptr, QByteArray());
}

ChangesWindow::~ChangesWindow() = default;

void ChangesWindow::setCurrent(std::shared_ptr<const Snapshot> current, const QByteArray& mountPath)
{
    current_ = std::move(current);
    mountPath_ = mountPath;
    earlier_.clear();
    if (current_) {
        for (SnapshotEntry& entry : store_.list(current_->volumeId))
            if (entry.taken < current_->taken)
                earlier_.push_back(std::move(entry));
    }
    {
        const QSignalBlocker quiet(choice_);
        choice_->clear();
        for (const SnapshotEntry& entry : earlier_)
            choice_->addItem(timeText(entry.taken), entry.taken.toMSecsSinceEpoch());
    }
    choice_->setEnabled(!earlier_.empty());
    scheduleComparison();
    showMessage(current_ ? tr("Comparing...") : tr("No scan yet: run a scan, and the next one will show what changed."));
}

void ChangesWindow::setSizeKind(SizeKind kind)
{
    if (kind == kind_)
        return;
    kind_ = kind;
    scheduleComparison();
}

void ChangesWindow::scheduleComparison()
{
    // The caller may be in the middle of a handler of its own, and the comparison lets events
    // run; several changes in one go make one comparison.
    if (comparisonDue_)
        return;
    comparisonDue_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (comparisonDue_)
                compareWithChoice();
        },
        Qt::QueuedConnection);
}

void ChangesWindow::compareWithChoice()
{
    comparisonDue_ = false;
    const int mine = ++request_;
    total_->clear();
    tree_->clear();
    tree_->invisibleRootItem()->setData(0, kFilledRole, false);
    // The old comparison is let go on the worker: freeing its folders is not the window's time.
    std::shared_ptr<const SnapshotComparison> old = std::move(comparison_);
    if (!current_) {
        showMessage(tr("No scan yet: run a scan, and the next one will show what changed."));
        return;
    }
    const int index = choice_->currentIndex();
    if (index < 0 || std::size_t(index) >= earlier_.size()) {
        showMessage(tr("No earlier scan of this volume is saved yet; the next scan will be compared with this one."));
        return;
    }
    const SnapshotEntry entry = earlier_[std::size_t(index)];
    showMessage(tr("Comparing with the scan of %1...").arg(timeText(entry.taken)));

    QPointer<ChangesWindow> self(this);
    Compared result;
    try {
        result = runWhileEventsRun([store = store_, entry, current = current_, kind = kind_, old = std::move(old)]() mutable {
            old.reset();
            SnapshotRead read = store.load(entry, current->volumeId);
            if (!read.snapshot)
                return Compared{nullptr, read.reason};
            return Compared{std::make_shared<const SnapshotComparison>(*read.snapshot, *current, kind), QString()};
        });
    } catch (const std::exception& e) {
        result.reason = QString::fromLocal8Bit(e.what());
    }
    if (!self || mine != request_)
        return;
    if (!result.comparison) {
        const QString line = tr("The snapshot of %1 was skipped: %2").arg(timeText(entry.taken), result.reason);
        showMessage(line);
        if (hooks_.statusLine)
            hooks_.statusLine(line);
        return;
    }
    comparison_ = std::move(result.comparison);
    showComparison();
}

void ChangesWindow::showMessage(const QString& text)
{
    message_->setText(text);
    message_->show();
    tree_->hide();
    updateActions();
}

void ChangesWindow::showComparison()
{
    const FolderChange total = comparison_->total();
    total_->setText(tr("Total change: %1 (from %2 to %3)")
                        .arg(changeText(total), sizeText(total.oldSize), sizeText(total.newSize)));
    if (comparison_->listedCount() == 0) {
        showMessage(tr("No folder changed."));
        return;
    }
    message_->hide();
    tree_->show();
    fillChildren(tree_->invisibleRootItem());
    updateActions();
}

void ChangesWindow::fillChildren(QTreeWidgetItem* parent)
{
    if (!comparison_ || parent->data(0, kFilledRole).toBool())
        return;
    parent->setData(0, kFilledRole, true);
    const QByteArray path = parent == tree_->invisibleRootItem() ? QByteArray() : parent->data(0, kPathRole).toByteArray();
    QList<QTreeWidgetItem*> items;
    for (const FolderChange& change : comparison_->children(path)) {
        auto* item = new QTreeWidgetItem;
        item->setText(ChangeColumn, changeText(change));
        item->setText(OldColumn, change.kind == FolderChange::Kind::New ? tr("(new)") : sizeText(change.oldSize));
        item->setText(NewColumn, change.kind == FolderChange::Kind::Gone ? tr("(gone)") : sizeText(change.newSize));
        item->setText(NameColumn, displayName(change.name));
        item->setData(0, kPathRole, change.path);
        item->setData(0, kGoneRole, change.kind == FolderChange::Kind::Gone);
        item->setChildIndicatorPolicy(change.hasChangedChildren ? QTreeWidgetItem::ShowIndicator
                                                                : QTreeWidgetItem::DontShowIndicator);
        items.append(item);
    }
    parent->addChildren(items);
}

QTreeWidgetItem* ChangesWindow::chosenFolder() const
{
    // A gone folder can be neither shown nor opened.
    QTreeWidgetItem* item = tree_->isHidden() ? nullptr : tree_->currentItem();
    return item && !item->data(0, kGoneRole).toBool() ? item : nullptr;
}

QByteArray ChangesWindow::absolutePath(const QByteArray& path) const
{
    return path.isEmpty() ? mountPath_ : joinPath(mountPath_, path);
}

void ChangesWindow::updateActions()
{
    const bool folder = chosenFolder() != nullptr;
    for (QWidget* button : {static_cast<QWidget*>(showInTree_), static_cast<QWidget*>(openFolder_)})
        button->setEnabled(folder);
    showAction_->setEnabled(folder);
    openAction_->setEnabled(folder);
}

void ChangesWindow::runHook(const std::function<void(const QByteArray&)>& hook)
{
    QTreeWidgetItem* item = chosenFolder();
    if (item && hook)
        hook(absolutePath(item->data(0, kPathRole).toByteArray()));
}

} // namespace torvane
