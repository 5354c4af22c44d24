// SPDX-License-Identifier: MIT
// The file list without a toolkit: entries kept in ascending order of their text with letter
// case ignored, each with a mark. Watched, an append goes straight to its sorted place: the
// entries live in blocks of a few hundred, so an append costs a search and a short move however
// long the list grows; the Qt window shows this list through a model. Unwatched (the batch), the
// appends wait and are sorted in one go when the list is next read.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "batch_interfaces.h"

namespace tavirel {

class SortedFileList : public FileList {
public:
    /// Told of every change, so that a view can follow; calls come in pairs around the change.
    class Observer {
    public:
        virtual ~Observer() = default;
        virtual void aboutToInsert(std::size_t row) = 0;
        virtual void inserted() = 0;
        virtual void aboutToClear() = 0;
        virtual void cleared() = 0;
        virtual void markChanged(std::size_t row) = 0;
    };

    void setObserver(Observer* observer);

    /// Inserts after every entry that sorts before or equal to `text`; the new entry is unmarked.
    void AddItem(const std::u16string& text) override;
    void clear() override;
    std::size_t count() const override { return count_; }
    std::u16string text(std::size_t index) const override { return entry(index).text; }
    bool isMarked(std::size_t index) const override { return entry(index).marked; }
    void setMarked(std::size_t index, bool on) override;

private:
    struct Entry {
        std::u16string key;  // the text lower-cased: the sort key
        std::u16string text;
        bool marked = false;
    };
    using Block = std::vector<Entry>;

    const Entry& entry(std::size_t index) const;
    Entry& entry(std::size_t index) { return const_cast<Entry&>(std::as_const(*this).entry(index)); }
    // Puts the waiting appends in their places.
    void settle() const;

    mutable std::vector<Block> blocks_;
    mutable std::vector<Entry> waiting_;  // appends not yet in place, in their order
    std::size_t count_ = 0;
    Observer* observer_ = nullptr;
    // The block of the last lookup, so that walking the list in order costs O(1) per entry.
    mutable std::size_t cachedBlock_ = 0;
    mutable std::size_t cachedStart_ = 0;
};

}  // namespace tavirel
