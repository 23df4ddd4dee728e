#pragma once

#include <QByteArray>
#include <QHash>
#include <QIcon>
#include <QSet>
#include <QString>

#include <cstdint>

class QTreeWidget;
class QTreeWidgetItem;

namespace torvane {

// Bytes in megabytes, "#0.00": at least one integer digit, two decimals, no thousands separator,
// whatever the user's locale.
QString mbText(std::uint64_t bytes);

QString rootCaption(const QByteArray& driveKey, std::uint64_t totalBytes, std::uint64_t freeBytes);
QString folderCaption(std::uint64_t sizeBytes, const QByteArray& name);

// Ascending order of captions with the numbers in them compared by value (9.00 MB before 10.00 MB).
bool captionLess(const QString& a, const QString& b);

// The folder tree trvDir: nodes found by key (the folder's exact path; the drive key for the
// root). Handlers keep keys, never item pointers, across points where events run.
class FolderTree {
public:
    enum class Image { Drive, Folder };

    explicit FolderTree(QTreeWidget* view);

    QTreeWidget* view() const { return view_; }
    // The folder icon carries the "selfolder" picture as its Selected mode.
    void setImages(const QIcon& drive, const QIcon& folder);
    void clear();
    // Appends a node; throws PlatformError when the key exists already or the parent is gone.
    QTreeWidgetItem* add(const QByteArray& parentKey, const QByteArray& key, const QString& caption, Image image);
    QTreeWidgetItem* find(const QByteArray& key) const;
    static QByteArray keyOf(const QTreeWidgetItem* item);
    static bool tagged(const QTreeWidgetItem* item);
    static void setTagged(QTreeWidgetItem* item);
    // Puts the children of the node in caption order, once, after a batch of additions.
    void sortChildren(const QByteArray& key);
    QByteArray selectedKey() const;

private:
    QTreeWidget* view_;
    QHash<QByteArray, QTreeWidgetItem*> byKey_;
    QSet<QByteArray> openKeys_;   // expanded nodes, kept from the view's signals
    QIcon driveIcon_;
    QIcon folderIcon_;
};

} // namespace torvane
