// SPDX-License-Identifier: MIT
// The read-ahead on its own, over items that only count themselves: what it holds at once, and a
// failure met while it holds items ahead.
#include "batch_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <utility>

#include "sorted_file_list.h"

namespace tavirel {
namespace {

// Items alive at once, the most seen, and how often each entry was prepared.
std::atomic<int> alive{0}, mostAlive{0};

struct Counted {
    explicit Counted(std::u16string p) : path(std::move(p)), live(true) { noteOneMore(); }
    Counted(Counted&& other) noexcept
        : path(std::move(other.path)),
          live(std::exchange(other.live, false)),
          preparedAtTurn(other.preparedAtTurn) {}
    Counted& operator=(Counted&& other) noexcept {
        if (live) --alive;
        path = std::move(other.path);
        live = std::exchange(other.live, false);
        preparedAtTurn = other.preparedAtTurn;
        return *this;
    }
    ~Counted() {
        if (live) --alive;
    }
    static void noteOneMore() {
        const int now = ++alive;
        for (int most = mostAlive; now > most && !mostAlive.compare_exchange_weak(most, now);) {
        }
    }
    std::u16string path;
    bool live;
    bool preparedAtTurn = false;
};

std::u16string entry(int i) {
    const std::string digits = std::to_string(100000 + i);
    return u"/t/" + std::u16string(digits.begin(), digits.end()) + u".c";
}

class PreparePipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        alive = 0;
        mostAlive = 0;
        for (int i = 0; i < 2000; ++i) {
            list.AddItem(entry(i));
            list.setMarked(static_cast<std::size_t>(i), i % 7 != 3);
        }
    }
    // Takes every marked entry in list order, as a run does, and says which it got.
    std::vector<std::u16string> runThrough(PreparePipeline<Counted>& pipeline) {
        std::vector<std::u16string> taken;
        for (std::size_t i = 0; i < list.count(); ++i) {
            if (!list.isMarked(i)) continue;
            pipeline.topUp(i);
            Counted item = pipeline.take(i, list.text(i));
            taken.push_back(item.path);
            pipeline.retire(std::move(item));
        }
        return taken;
    }
    std::vector<std::u16string> marked() const {
        std::vector<std::u16string> m;
        for (std::size_t i = 0; i < list.count(); ++i)
            if (list.isMarked(i)) m.push_back(list.text(i));
        return m;
    }

    SortedFileList list;
    StrOPT stripper;
};

TEST_F(PreparePipelineTest, ItHoldsABoundedNumberOfItemsWhateverTheListsLength) {
    {
        PreparePipeline<Counted> pipeline(
            list, 2, list.count(), stripper,
            [](StrOPT&, NewFileDefaults&, const std::u16string& path, std::size_t) { return Counted(path); },
            [](const Counted&) { return true; });
        EXPECT_EQ(marked(), runThrough(pipeline));
    }
    // Ahead: at most 32 prepared and 32 waiting to be let go, the one taken, one per worker.
    EXPECT_LE(mostAlive, 32 + 32 + 1 + 2);
    EXPECT_EQ(0, alive);
}

TEST_F(PreparePipelineTest, WhatFailsWhileItemsAreHeldIsTriedAgainWithNoneHeld) {
    // Like descriptors running out: preparing fails while more than four items are alive.
    std::atomic<int> failures{0};
    PreparePipeline<Counted> pipeline(
        list, 2, list.count(), stripper,
        [&](StrOPT&, NewFileDefaults&, const std::u16string& path, std::size_t) {
            if (alive >= 4) {
                ++failures;
                throw std::runtime_error("Too many open files");
            }
            return Counted(path);
        },
        [](const Counted&) { return true; });
    EXPECT_EQ(marked(), runThrough(pipeline));
    EXPECT_GT(failures, 0);

    // A failure with nothing held is the entry's own: it reaches the run.
    PreparePipeline<Counted> failing(
        list, 2, list.count(), stripper,
        [](StrOPT&, NewFileDefaults&, const std::u16string& path, std::size_t) -> Counted {
            if (path == entry(11)) throw std::runtime_error("Permission denied");
            return Counted(path);
        },
        [](const Counted&) { return true; });
    EXPECT_THROW(runThrough(failing), std::runtime_error);
}

TEST_F(PreparePipelineTest, AnItemNoLongerCurrentAtItsTurnIsPreparedAgainThen) {
    // Entry 20 changes whenever it is looked at: what the run takes must be prepared at its turn.
    std::atomic<bool> atTurn{false};
    PreparePipeline<Counted> pipeline(
        list, 2, list.count(), stripper,
        [&](StrOPT&, NewFileDefaults&, const std::u16string& path, std::size_t) {
            Counted item(path);
            item.preparedAtTurn = atTurn;
            return item;
        },
        [&](const Counted& item) { return item.path != entry(20); });
    for (std::size_t i = 0; i < 40; ++i) {
        if (!list.isMarked(i)) continue;
        pipeline.topUp(i);
        atTurn = i == 20;
        Counted item = pipeline.take(i, list.text(i));
        if (i == 20) {
            EXPECT_TRUE(item.preparedAtTurn);
        }
        pipeline.retire(std::move(item));
    }
}

}  // namespace
}  // namespace tavirel
