#include "insight/LargestFilesModel.h"

#include "fs/Keys.h"
#include "scan/FolderNode.h"

#include <QLocale>

#include <algorithm>

namespace torvane {

QByteArray containingFolder(const QByteArray& filePath, const QByteArray& mountPath)
{
    QByteArray folder = filePath.chopped(lastComponent(filePath).size());
    // The root keeps its separator: that is its key in the tree, and it is a folder path too.
    if (folder == driveKey(mountPath) || folder.size() <= 1)
        return folder;
    folder.chop(1);
    return folder;
}

void LargestFilesModel::setFiles(std::vector<LargeFile> files, const QByteArray& mountPath)
{
    beginResetModel();
    rows_.clear();
    rows_.reserve(files.size());
    // The texts are made once here: sorting and filtering ask for them many times over.
    const QLocale locale;
    for (LargeFile& file : files) {
        Row row;
        row.folder = containingFolder(file.path, mountPath);
        row.nameText = displayName(lastComponent(file.path));
        row.folderText = displayName(row.folder);
        if (file.modified.isValid())
            row.modifiedText = locale.toString(file.modified.toLocalTime(), QLocale::ShortFormat);
        row.file = std::move(file);
        rows_.push_back(std::move(row));
    }
    endResetModel();
}

void LargestFilesModel::setSizeOnDisk(bool on)
{
    if (on == sizeOnDisk_)
        return;
    sizeOnDisk_ = on;
    emit headerDataChanged(Qt::Horizontal, SizeColumn, SizeColumn);
    if (!rows_.empty())
        emit dataChanged(index(0, SizeColumn), index(rowCount() - 1, SizeColumn));
}

void LargestFilesModel::removeFile(const QByteArray& path)
{
    const auto found = std::find_if(rows_.begin(), rows_.end(), [&](const Row& row) { return row.file.path == path; });
    if (found == rows_.end())
        return;
    const int row = int(found - rows_.begin());
    beginRemoveRows({}, row, row);
    rows_.erase(found);
    endRemoveRows();
}

int LargestFilesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int LargestFilesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

std::uint64_t LargestFilesModel::shownSize(const Row& row) const
{
    return sizeOnDisk_ ? row.file.allocated : row.file.apparent;
}

QVariant LargestFilesModel::displayData(const Row& row, int column) const
{
    switch (column) {
    case SizeColumn: return QString(mbText(shownSize(row)) + QStringLiteral(" MB"));
    case NameColumn: return row.nameText;
    case FolderColumn: return row.folderText;
    case ModifiedColumn: return row.modifiedText;
    }
    return {};
}

QVariant LargestFilesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = rows_[std::size_t(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return displayData(row, column);
    case SortRole:
        if (column == SizeColumn)
            return QVariant::fromValue<qulonglong>(shownSize(row));
        if (column == ModifiedColumn)
            return row.file.modified;
        return displayData(row, column);
    case Qt::ToolTipRole:
        // Two decimals of a megabyte hide the difference between files of nearly one size.
        if (column == SizeColumn)
            return tr("%L1 bytes").arg(qulonglong(shownSize(row)));
        return column == ModifiedColumn ? QVariant() : QVariant(displayName(row.file.path));
    case Qt::TextAlignmentRole:
        return column == SizeColumn ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    case PathRole:
        return row.file.path;
    case FolderRole:
        return row.folder;
    }
    return {};
}

QVariant LargestFilesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case SizeColumn: return sizeOnDisk_ ? tr("Size on Disk") : tr("Size");
    case NameColumn: return tr("Name");
    case FolderColumn: return tr("Folder");
    case ModifiedColumn: return tr("Modified");
    }
    return {};
}

void LargestFilesFilter::setPattern(const QString& pattern)
{
    const QString trimmed = pattern.trimmed();
    if (trimmed == pattern_)
        return;
    pattern_ = trimmed;
    invalidateFilter();
}

bool LargestFilesFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (pattern_.isEmpty())
        return true;
    const QString name = sourceModel()->index(sourceRow, LargestFilesModel::NameColumn, sourceParent).data().toString();
    if (pattern_.startsWith(QLatin1Char('.')))
        return name.endsWith(pattern_, Qt::CaseInsensitive);
    return name.contains(pattern_, Qt::CaseInsensitive);
}

} // namespace torvane
