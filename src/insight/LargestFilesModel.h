#pragma once

#include "fs/FileSystem.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <vector>

namespace torvane {

// The folder that holds a file, keyed as the tree keys it: the volume's root by its drive key,
// any other folder by its exact path.
QByteArray containingFolder(const QByteArray& filePath, const QByteArray& mountPath);

// The rows of the Largest Files window, one per file, in the order the walk gave them.
class LargestFilesModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { SizeColumn, NameColumn, FolderColumn, ModifiedColumn, ColumnCount };
    // Values that sort by meaning: bytes and dates, not their text.
    static constexpr int SortRole = Qt::UserRole;
    static constexpr int PathRole = Qt::UserRole + 1;     // the file's path bytes
    static constexpr int FolderRole = Qt::UserRole + 2;   // containingFolder() of the file

    using QAbstractTableModel::QAbstractTableModel;

    void setFiles(std::vector<LargeFile> files, const QByteArray& mountPath);
    // On: the size column shows and sorts by allocated bytes, what deleting would free.
    void setSizeOnDisk(bool on);
    void removeFile(const QByteArray& path);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Row {
        LargeFile file;
        QByteArray folder;
        QString nameText;
        QString folderText;
        QString modifiedText;
    };

    std::uint64_t shownSize(const Row& row) const;
    QVariant displayData(const Row& row, int column) const;

    std::vector<Row> rows_;
    bool sizeOnDisk_ = false;
};

// Rows whose name holds the pattern in any case; a pattern starting with '.' is an extension
// and matches names ending with it.
class LargestFilesFilter : public QSortFilterProxyModel {
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setPattern(const QString& pattern);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString pattern_;
};

} // namespace torvane
