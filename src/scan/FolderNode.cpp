#include "scan/FolderNode.h"

#include "fs/Keys.h"
#include "fs/PlatformError.h"

#include <QIcon>
#include <QSignalBlocker>
#include <QTreeWidget>

#include <algorithm>
#include <vector>

namespace torvane {

namespace {

constexpr int kKeyRole = Qt::UserRole + 1;
constexpr int kTagRole = Qt::UserRole + 2;
constexpr int kImageRole = Qt::UserRole + 3;

// Children are ordered by caption through this item type; sortChildren() is called once per
// batch, never per insertion.
class FolderItem final : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override
    {
        return captionLess(text(0), other.text(0));
    }
};

} // namespace

QString mbText(std::uint64_t bytes)
{
    const double mb = double(bytes) / 1024.0 / 1024.0;
    return QString::number(mb, 'f', 2);   // 'C' formatting: no group separator, '.' as the point
}

QString rootCaption(const QByteArray& driveKey, std::uint64_t totalBytes, std::uint64_t freeBytes)
{
    return displayName(driveKey) + QStringLiteral("  [") + mbText(totalBytes) + QStringLiteral(" MB  -  Free Space: ")
        + mbText(freeBytes) + QStringLiteral("]");
}

QString folderCaption(std::uint64_t sizeBytes, const QByteArray& name)
{
    return QStringLiteral(" [") + mbText(sizeBytes) + QStringLiteral(" MB] ") + displayName(name);
}

bool captionLess(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const QChar ca = a.at(i), cb = b.at(j);
        if (ca.isDigit() && cb.isDigit() && ca.unicode() < 128 && cb.unicode() < 128) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a.at(ei).unicode() >= '0' && a.at(ei).unicode() <= '9')
                ++ei;
            while (ej < b.size() && b.at(ej).unicode() >= '0' && b.at(ej).unicode() <= '9')
                ++ej;
            qsizetype si = i, sj = j;   // skip leading zeros, then the longer run is the bigger number
            while (si + 1 < ei && a.at(si) == QLatin1Char('0'))
                ++si;
            while (sj + 1 < ej && b.at(sj) == QLatin1Char('0'))
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            const int c = QStringView(a).mid(si, ei - si).compare(QStringView(b).mid(sj, ej - sj));
            if (c != 0)
                return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (ca != cb)
            return ca.unicode() < cb.unicode();
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b;   // same by value ("1.0" against "01.0"): fall back to plain order for stability
}

FolderTree::FolderTree(QTreeWidget* view) : view_(view)
{
    QObject::connect(view_, &QTreeWidget::itemExpanded, view_, [this](QTreeWidgetItem* item) { openKeys_.insert(keyOf(item)); });
    QObject::connect(view_, &QTreeWidget::itemCollapsed, view_, [this](QTreeWidgetItem* item) { openKeys_.remove(keyOf(item)); });
}

void FolderTree::setImages(const QIcon& drive, const QIcon& folder)
{
    driveIcon_ = drive;
    folderIcon_ = folder;
}

void FolderTree::clear()
{
    byKey_.clear();
    openKeys_.clear();
    view_->clear();
}

QTreeWidgetItem* FolderTree::add(const QByteArray& parentKey, const QByteArray& key, const QString& caption, Image image)
{
    if (byKey_.contains(key))
        throw PlatformError(35, QStringLiteral("Key is not unique in collection"));
    QTreeWidgetItem* item = nullptr;
    if (parentKey.isNull()) {
        item = new FolderItem(view_);
    } else {
        QTreeWidgetItem* parent = find(parentKey);
        if (!parent)
            throw PlatformError(35601, QStringLiteral("Element not found"));
        item = new FolderItem(parent);
    }
    item->setText(0, caption);
    item->setData(0, kKeyRole, key);
    item->setData(0, kImageRole, int(image));
    item->setIcon(0, image == Image::Drive ? driveIcon_ : folderIcon_);
    byKey_.insert(key, item);
    return item;
}

QTreeWidgetItem* FolderTree::find(const QByteArray& key) const
{
    return byKey_.value(key, nullptr);
}

QByteArray FolderTree::keyOf(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kKeyRole).toByteArray() : QByteArray();
}

bool FolderTree::tagged(const QTreeWidgetItem* item)
{
    return item && item->data(0, kTagRole).toInt() == 1;
}

void FolderTree::setTagged(QTreeWidgetItem* item)
{
    item->setData(0, kTagRole, 1);
}

void FolderTree::sortChildren(const QByteArray& key)
{
    QTreeWidgetItem* parent = find(key);
    if (!parent || parent->childCount() < 2)
        return;
    // Taken out, sorted on their captions and put back in two model operations: the view then
    // lays the family out once, however large it is.
    const bool wasExpanded = parent->isExpanded();
    QTreeWidgetItem* current = view_->currentItem();
    // Taking items out of the view forgets which of them, and of their descendants, were open.
    // Asking each item would cost a search of its family per item; the open ones are known.
    QList<QByteArray> reopen;
    for (const QByteArray& open : openKeys_) {
        for (const QTreeWidgetItem* up = find(open); up; up = up->parent()) {
            if (up->parent() == parent) {
                reopen.append(open);
                break;
            }
        }
    }
    QList<QTreeWidgetItem*> children = parent->takeChildren();
    std::vector<std::pair<QString, QTreeWidgetItem*>> byCaption;
    byCaption.reserve(children.size());
    for (QTreeWidgetItem* child : children)
        byCaption.emplace_back(child->text(0), child);
    std::stable_sort(byCaption.begin(), byCaption.end(),
                     [](const auto& a, const auto& b) { return captionLess(a.first, b.first); });
    for (qsizetype i = 0; i < children.size(); ++i)
        children[i] = byCaption[size_t(i)].second;
    parent->addChildren(children);
    // Restoring the view's state is no expansion by the user: no handler may run for it.
    const QSignalBlocker quiet(view_);
    if (wasExpanded && !parent->isExpanded())
        parent->setExpanded(true);
    for (const QByteArray& open : reopen) {
        if (QTreeWidgetItem* item = find(open))
            item->setExpanded(true);
    }
    if (current && view_->currentItem() != current)
        view_->setCurrentItem(current);
}

QByteArray FolderTree::selectedKey() const
{
    return keyOf(view_->currentItem());
}

} // namespace torvane
