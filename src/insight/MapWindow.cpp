#include "insight/MapWindow.h"

#include "fs/Keys.h"
#include "insight/MapPaint.h"
#include "insight/MapView.h"
#include "scan/FolderNode.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace torvane {

namespace {

QLabel* plainLabel(QWidget* parent, const QString& objectName)
{
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    // Names may hold anything, '<' included: never let a label read them as rich text.
    label->setTextFormat(Qt::PlainText);
    return label;
}

QWidget* makeLegend(QWidget* parent)
{
    auto* legend = new QWidget(parent);
    legend->setObjectName(QStringLiteral("mapLegend"));
    auto* grid = new QGridLayout(legend);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    std::vector<std::pair<QColor, QString>> entries{{mapFolderColor(1), QStringLiteral("Folders")}};
    for (int k = 0; k < mapFileKindCount; ++k)
        entries.emplace_back(mapFileKindColor(MapFileKind(k)), mapFileKindName(MapFileKind(k)));
    entries.emplace_back(mapOtherFilesColor(), QStringLiteral("Other files"));
    entries.emplace_back(mapSmallItemsColor(), QStringLiteral("Small items"));
    const int columns = 5;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        QPixmap swatch(12, 12);
        swatch.fill(entries[i].first);
        QPainter painter(&swatch);
        painter.setPen(entries[i].first.darker(160));
        painter.drawRect(0, 0, 11, 11);
        painter.end();
        auto* box = new QLabel(legend);
        box->setPixmap(swatch);
        auto* text = new QLabel(entries[i].second, legend);
        const int row = int(i) / columns, column = int(i) % columns;
        grid->addWidget(box, row, 2 * column);
        grid->addWidget(text, row, 2 * column + 1);
    }
    grid->setColumnStretch(2 * columns - 1, 1);
    return legend;
}

} // namespace

MapWindow::MapWindow(MapActions actions, QWidget* parent) : QWidget(parent, Qt::Window), actions_(std::move(actions))
{
    setObjectName(QStringLiteral("mapWindow"));
    setWindowTitle(QStringLiteral("Map"));
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    upButton_ = new QPushButton(QStringLiteral("Up"), this);
    upButton_->setObjectName(QStringLiteral("mapUp"));
    upButton_->setEnabled(false);
    note_ = plainLabel(this, QStringLiteral("mapNote"));
    note_->setWordWrap(true);
    bar->addWidget(upButton_);
    bar->addWidget(note_, 1);
    layout->addLayout(bar);
    view_ = new MapView(this);
    view_->setMessage(QStringLiteral("No scan yet."));
    layout->addWidget(view_, 1);
    status_ = plainLabel(this, QStringLiteral("mapStatus"));
    // A long path must not widen the window.
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(status_);
    layout->addWidget(makeLegend(this));
    resize(900, 640);

    connect(upButton_, &QPushButton::clicked, this, &MapWindow::up);
    connect(view_, &MapView::hovered, this, &MapWindow::showStatus);
    connect(view_, &MapView::clicked, this, &MapWindow::tileClicked);
    connect(view_, &MapView::doubleClicked, this, &MapWindow::tileDoubleClicked);
    connect(view_, &MapView::contextMenuWanted, this, &MapWindow::showMenu);
    showNotes();
}

MapWindow::~MapWindow() = default;

void MapWindow::setScan(const QByteArray& mountPath, const std::vector<IndexedFolder>& folders,
                        const std::vector<LargeFile>& files, bool allocated, const QString& note)
{
    const QByteArray oldTop = topFolder();
    tree_ = MapTree(mountPath, folders, files, allocated);
    scanned_ = true;
    scanNote_ = note;
    folderNote_.clear();
    const int kept = oldTop.isEmpty() ? -1 : tree_.find(oldTop);
    const int top = kept >= 0 && tree_.node(kept).kind == MapTree::Kind::Folder ? kept : tree_.root();
    view_->setMessage(tree_.empty() ? QStringLiteral("The scan found no folders.") : QStringLiteral("Nothing here takes any space."));
    view_->setTree(&tree_, top);
    setTop(top);
    showNotes();
}

void MapWindow::showFolder(const QByteArray& absoluteFolder)
{
    if (!scanned_ || tree_.empty())
        return;
    int node = tree_.nearestFolder(absoluteFolder);
    if (node < 0) {
        folderNote_ = QStringLiteral("%1 is not on the scanned volume %2.").arg(displayName(absoluteFolder), displayName(tree_.mountPath()));
        node = tree_.root();
    } else if (tree_.find(absoluteFolder) != node) {
        folderNote_ = QStringLiteral("%1 is not in the last scan; the map shows %2.")
                          .arg(displayName(absoluteFolder), displayName(tree_.absolutePath(node)));
    } else {
        folderNote_.clear();
    }
    setTop(node);
    showNotes();
}

QByteArray MapWindow::topFolder() const
{
    return view_->top() >= 0 && !tree_.empty() ? tree_.absolutePath(view_->top()) : QByteArray();
}

void MapWindow::up()
{
    const int top = view_->top();
    if (top <= 0)
        return;
    setTop(tree_.node(top).parent);
    folderNote_.clear();
    showNotes();
}

void MapWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier) {
        up();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MapWindow::setTop(int node)
{
    view_->setTop(node);
    setWindowTitle(node >= 0 ? QStringLiteral("Map - ") + displayName(tree_.absolutePath(node)) : QStringLiteral("Map"));
    upButton_->setEnabled(node > 0);
    status_->clear();
}

void MapWindow::showNotes()
{
    QStringList lines;
    if (!scanned_)
        lines << QStringLiteral("No scan yet.");
    for (const QString& note : {scanNote_, folderNote_}) {
        if (!note.isEmpty())
            lines << note;
    }
    note_->setText(lines.join(QLatin1Char('\n')));
    note_->setVisible(!lines.isEmpty());
}

void MapWindow::showStatus(int tile)
{
    if (tile < 0) {
        status_->clear();
        return;
    }
    const MapTile& t = view_->currentLayout().tiles[std::size_t(tile)];
    QString text = displayName(tree_.absolutePath(t.node));
    if (t.kind == MapTileKind::OtherFiles)
        text += QStringLiteral(" (other files)");
    else if (t.kind == MapTileKind::SmallItems)
        text += QStringLiteral(" (small items)");
    status_->setText(text + QStringLiteral("  [") + mbText(t.size) + QStringLiteral(" MB]"));
}

void MapWindow::tileClicked(int tile)
{
    const int folder = tree_.folderOf(view_->currentLayout().tiles[std::size_t(tile)].node);
    if (actions_.showInTree)
        actions_.showInTree(tree_.absolutePath(folder));
}

void MapWindow::tileDoubleClicked(int tile)
{
    const int folder = tree_.folderOf(view_->currentLayout().tiles[std::size_t(tile)].node);
    if (folder == view_->top())
        return;
    setTop(folder);
    folderNote_.clear();
    showNotes();
}

void MapWindow::showMenu(int tile, const QPoint& globalPos)
{
    // The actions keep paths, not tile or node numbers: a scan may replace the tree while the
    // menu is open.
    const MapTile t = view_->currentLayout().tiles[std::size_t(tile)];
    const QByteArray folder = tree_.absolutePath(tree_.folderOf(t.node));
    const bool oneItem = (t.kind == MapTileKind::Folder || t.kind == MapTileKind::File) && t.node != tree_.root();
    const QByteArray item = oneItem ? tree_.absolutePath(t.node) : QByteArray();

    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("mapMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Open Folder"), this, [this, folder] {
        if (actions_.openFolder)
            actions_.openFolder(folder);
    });
    menu->addAction(QStringLiteral("Show in Tree"), this, [this, folder] {
        if (actions_.showInTree)
            actions_.showInTree(folder);
    });
    QAction* trashAction = menu->addAction(QStringLiteral("Move to Trash"), this, [this, item] { trash(item); });
    // "Other files" and "small items" are many items: no one path to move.
    trashAction->setEnabled(oneItem && actions_.moveToTrash);
    menu->popup(globalPos);
}

void MapWindow::trash(const QByteArray& path)
{
    if (path.isEmpty() || !actions_.moveToTrash || !actions_.moveToTrash(path))
        return;
    // The move may have let events run: find the item again rather than trusting a number.
    const int node = tree_.find(path);
    if (node > 0) {
        const int top = view_->top();
        const int parent = tree_.node(node).parent;
        const bool topGoes = tree_.isAncestor(node, top);
        tree_.remove(node);
        if (topGoes)
            setTop(tree_.folderOf(parent));
    }
    view_->treeChanged();
    status_->clear();
}

} // namespace torvane
