// SPDX-License-Identifier: MIT
// List1's model: shows the toolkit-free sorted list, an entry per row with its mark as a check
// box, and follows every change of the list as it happens.
#pragma once

#include <QAbstractListModel>

#include "sorted_file_list.h"

namespace tavirel {

class FileListModel : public QAbstractListModel, private SortedFileList::Observer {
public:
    explicit FileListModel(SortedFileList& list, QObject* parent = nullptr);
    ~FileListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// Turns the mark of one entry over; no other mark changes.
    void toggle(int row);

private:
    void aboutToInsert(std::size_t row) override;
    void inserted() override;
    void aboutToClear() override;
    void cleared() override;
    void markChanged(std::size_t row) override;

    SortedFileList& list_;
};

}  // namespace tavirel
