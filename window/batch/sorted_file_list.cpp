// SPDX-License-Identifier: MIT
#include "sorted_file_list.h"

#include <algorithm>

#include "errors.h"
#include "lower_case.h"

namespace tavirel {
namespace {
constexpr std::size_t kMaxBlock = 512;
}

void SortedFileList::AddItem(const std::u16string& text) {
    Entry added{toLower(text), text, false};
    // The first block whose last entry sorts after the new one takes it; else the last block.
    auto block =
        std::upper_bound(blocks_.begin(), blocks_.end(), added.key,
                         [](const std::u16string& key, const Block& b) { return key < b.back().key; });
    if (block == blocks_.end()) {
        if (blocks_.empty()) blocks_.emplace_back();
        block = blocks_.end() - 1;
    }
    const auto at = std::upper_bound(block->begin(), block->end(), added.key,
                                     [](const std::u16string& key, const Entry& e) { return key < e.key; });
    std::size_t row = static_cast<std::size_t>(at - block->begin());
    for (auto b = blocks_.begin(); b != block; ++b) row += b->size();

    if (observer_) observer_->aboutToInsert(row);
    block->insert(at, std::move(added));
    if (block->size() > kMaxBlock) {
        Block upper(std::make_move_iterator(block->begin() + kMaxBlock / 2),
                    std::make_move_iterator(block->end()));
        block->resize(kMaxBlock / 2);
        blocks_.insert(block + 1, std::move(upper));
    }
    ++count_;
    cachedBlock_ = cachedStart_ = 0;
    if (observer_) observer_->inserted();
}

void SortedFileList::clear() {
    if (observer_) observer_->aboutToClear();
    blocks_.clear();
    count_ = 0;
    cachedBlock_ = cachedStart_ = 0;
    if (observer_) observer_->cleared();
}

void SortedFileList::setMarked(std::size_t index, bool on) {
    entry(index).marked = on;
    if (observer_) observer_->markChanged(index);
}

const SortedFileList::Entry& SortedFileList::entry(std::size_t index) const {
    if (index >= count_) throw Error("list index " + std::to_string(index) + " out of range");
    if (index < cachedStart_) cachedBlock_ = cachedStart_ = 0;
    while (index - cachedStart_ >= blocks_[cachedBlock_].size()) {
        cachedStart_ += blocks_[cachedBlock_].size();
        ++cachedBlock_;
    }
    return blocks_[cachedBlock_][index - cachedStart_];
}

}  // namespace tavirel
