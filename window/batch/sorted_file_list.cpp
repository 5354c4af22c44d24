// SPDX-License-Identifier: MIT
#include "sorted_file_list.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "errors.h"
#include "lower_case.h"

namespace tavirel {
namespace {
constexpr std::size_t kMaxBlock = 512;

// a < b, as the texts' own operator says, four units at a time over the long prefix that the
// paths of one tree share.
bool keyLess(const std::u16string& a, const std::u16string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) break;
    }
    for (; i < n; ++i) {
        if (a[i] != b[i]) return a[i] < b[i];
    }
    return a.size() < b.size();
}
}  // namespace

void SortedFileList::AddItem(const std::u16string& text) {
    Entry added{toLower(text), text, false};
    if (!observer_) {
        // No one follows the rows: one sort when the list is read costs less than a move each.
        waiting_.push_back(std::move(added));
        ++count_;
        return;
    }
    // Watched, nothing waits: setObserver() settled the list.
    // The first block whose last entry sorts after the new one takes it; else the last block.
    auto block = std::upper_bound(
        blocks_.begin(), blocks_.end(), added.key,
        [](const std::u16string& key, const Block& b) { return keyLess(key, b.back().key); });
    if (block == blocks_.end()) {
        if (blocks_.empty()) blocks_.emplace_back();
        block = blocks_.end() - 1;
    }
    const auto at =
        std::upper_bound(block->begin(), block->end(), added.key,
                         [](const std::u16string& key, const Entry& e) { return keyLess(key, e.key); });
    std::size_t row = static_cast<std::size_t>(at - block->begin());
    for (auto b = blocks_.begin(); b != block; ++b) row += b->size();

    observer_->aboutToInsert(row);
    block->insert(at, std::move(added));
    if (block->size() > kMaxBlock) {
        Block upper(std::make_move_iterator(block->begin() + kMaxBlock / 2),
                    std::make_move_iterator(block->end()));
        block->resize(kMaxBlock / 2);
        blocks_.insert(block + 1, std::move(upper));
    }
    ++count_;
    cachedBlock_ = cachedStart_ = 0;
    observer_->inserted();
}

void SortedFileList::settle() const {
    if (waiting_.empty()) return;
    const auto byKey = [](const Entry& a, const Entry& b) { return keyLess(a.key, b.key); };
    std::stable_sort(waiting_.begin(), waiting_.end(), byKey);
    if (!blocks_.empty()) {
        // A merge keeps the entries already placed before the equal ones appended after them.
        std::vector<Entry> all;
        all.reserve(count_);
        for (Block& block : blocks_) std::move(block.begin(), block.end(), std::back_inserter(all));
        const auto placed = static_cast<std::ptrdiff_t>(all.size());
        std::move(waiting_.begin(), waiting_.end(), std::back_inserter(all));
        std::inplace_merge(all.begin(), all.begin() + placed, all.end(), byKey);
        waiting_ = std::move(all);
    }
    // One block: read in order it costs nothing more, and a view that comes to watch splits it.
    blocks_.clear();
    blocks_.push_back(std::move(waiting_));
    waiting_.clear();
    cachedBlock_ = cachedStart_ = 0;
}

void SortedFileList::setObserver(Observer* observer) {
    settle();
    std::vector<Block> split;
    for (Block& block : blocks_) {
        for (std::size_t at = 0; at < block.size(); at += kMaxBlock / 2) {
            const auto from = block.begin() + static_cast<std::ptrdiff_t>(at);
            const auto to =
                block.begin() + static_cast<std::ptrdiff_t>(std::min(block.size(), at + kMaxBlock / 2));
            split.emplace_back(std::make_move_iterator(from), std::make_move_iterator(to));
        }
    }
    blocks_ = std::move(split);
    cachedBlock_ = cachedStart_ = 0;
    observer_ = observer;
}

void SortedFileList::clear() {
    if (observer_) observer_->aboutToClear();
    waiting_.clear();
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
    settle();
    if (index < cachedStart_) cachedBlock_ = cachedStart_ = 0;
    while (index - cachedStart_ >= blocks_[cachedBlock_].size()) {
        cachedStart_ += blocks_[cachedBlock_].size();
        ++cachedBlock_;
    }
    return blocks_[cachedBlock_][index - cachedStart_];
}

}  // namespace tavirel
