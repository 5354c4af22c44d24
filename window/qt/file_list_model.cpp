// SPDX-License-Identifier: MIT
#include "file_list_model.h"

namespace tavirel {

FileListModel::FileListModel(SortedFileList& list, QObject* parent)
    : QAbstractListModel(parent), list_(list) {
    list_.setObserver(this);
}

FileListModel::~FileListModel() {
    list_.setObserver(nullptr);
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_.count());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= list_.count()) return {};
    const auto row = static_cast<std::size_t>(index.row());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: {
            const std::u16string text = list_.text(row);
            return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
        }
        case Qt::CheckStateRole: return list_.isMarked(row) ? Qt::Checked : Qt::Unchecked;
        default: return {};
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    // Not user-checkable: a click anywhere on the row toggles the mark, exactly once.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren
                           : Qt::NoItemFlags;
}

void FileListModel::toggle(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= list_.count()) return;
    list_.setMarked(static_cast<std::size_t>(row), !list_.isMarked(static_cast<std::size_t>(row)));
}

void FileListModel::aboutToInsert(std::size_t row) {
    beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
}

void FileListModel::inserted() {
    endInsertRows();
}

void FileListModel::aboutToClear() {
    beginResetModel();
}

void FileListModel::cleared() {
    endResetModel();
}

void FileListModel::markChanged(std::size_t row) {
    const QModelIndex at = index(static_cast<int>(row));
    emit dataChanged(at, at, {Qt::CheckStateRole});
}

}  // namespace tavirel
