#include "scan/FolderNode.h"

#include "fs/Keys.h"
#include "fs/PlatformError.h"

#include <QIcon>
#include <QSignalBlocker>

#include <string>
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

namespace {
bool asciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}
// A key whose code-unit order is the caption order up to its last tie-break: each run of digits
// becomes '0' (against any other character every digit compares alike), the run's length without
// leading zeros, and those digits. A family is sorted on keys made once per caption.
std::u16string captionSortKey(const QString& caption)
{
    const char16_t* p = reinterpret_cast<const char16_t*>(caption.constData());
    const qsizetype n = caption.size();
    std::u16string key;
    key.reserve(std::size_t(n) + 8);
    for (qsizetype i = 0; i < n;) {
        if (!asciiDigit(p[i])) {
            key.push_back(p[i++]);
            continue;
        }
        qsizetype end = i;
        while (end < n && asciiDigit(p[end]))
            ++end;
        while (i + 1 < end && p[i] == u'0')
            ++i;
        key.push_back(u'0');
        key.push_back(char16_t(end - i));
        key.append(p + i, std::size_t(end - i));
        i = end;
    }
    return key;
}

} // namespace

// Runs of ASCII digits compare by their value, everything else by UTF-16 code unit; captions equal
// by value ("1.0" against "01.0") fall back to plain order, so the order never depends on the run.
bool captionLess(const QString& a, const QString& b)
{
    const std::u16string ka = captionSortKey(a);
    const std::u16string kb = captionSortKey(b);
    return ka != kb ? ka < kb : a < b;
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
    // Sorted on keys made once per caption: comparing raw captions costs far more per comparison.
    std::vector<std::pair<std::u16string, QTreeWidgetItem*>> byKey;
    byKey.reserve(children.size());
    for (QTreeWidgetItem* child : children)
        byKey.emplace_back(captionSortKey(child->text(0)), child);
    std::stable_sort(byKey.begin(), byKey.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first)
            return a.first < b.first;
        return a.second->text(0) < b.second->text(0);
    });
    for (qsizetype i = 0; i < children.size(); ++i)
        children[i] = byKey[size_t(i)].second;
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
