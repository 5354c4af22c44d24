// SPDX-License-Identifier: MIT
#include "sorted_file_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "errors.h"
#include "lower_case.h"

namespace tavirel {
namespace {

std::vector<std::u16string> texts(const SortedFileList& list) {
    std::vector<std::u16string> out;
    for (std::size_t i = 0; i < list.count(); ++i) out.push_back(list.text(i));
    return out;
}

TEST(SortedFileListTest, AppendsGoToTheirPlaceIgnoringCase) {
    SortedFileList list;
    list.AddItem(u"/src/B.c");
    list.AddItem(u"/src/a.h");  // later, but sorts first: an order by code would put B first
    list.AddItem(u"/src/A.H");  // equal ignoring case: after the one already there
    list.AddItem(u"/src/b.C");
    EXPECT_EQ((std::vector<std::u16string>{u"/src/a.h", u"/src/A.H", u"/src/B.c", u"/src/b.C"}), texts(list));
    EXPECT_FALSE(list.isMarked(0));
    list.setMarked(2, true);
    EXPECT_TRUE(list.isMarked(2));
    EXPECT_THROW(list.text(4), Error);
    EXPECT_THROW(list.setMarked(4, true), Error);
    list.clear();
    EXPECT_EQ(0u, list.count());
}

TEST(SortedFileListTest, ManyAppendsMatchAStableSortAndReportTheirRows) {
    struct Rows : SortedFileList::Observer {
        void aboutToInsert(std::size_t row) override { rows.push_back(row); }
        void inserted() override {}
        void aboutToClear() override {}
        void cleared() override {}
        void markChanged(std::size_t) override {}
        std::vector<std::size_t> rows;
    } observer;
    SortedFileList list;
    list.setObserver(&observer);
    SortedFileList unwatched;  // sorted when read: here halfway, and at the end
    std::mt19937 rng(3);
    std::vector<std::pair<std::u16string, std::u16string>> reference;  // key, text
    for (int i = 0; i < 20000; ++i) {
        std::u16string text = u"/t/";
        for (int k = 0; k < 3; ++k) text += static_cast<char16_t>(u"aAbB/."[rng() % 6]);
        text += std::u16string(1, static_cast<char16_t>(u'0' + rng() % 10));
        list.AddItem(text);
        unwatched.AddItem(text);
        if (i == 10000) {
            ASSERT_EQ(texts(list), texts(unwatched));
        }
        const std::u16string key = toLower(text);
        const auto at = std::upper_bound(reference.begin(), reference.end(), key,
                                         [](const std::u16string& k, const auto& e) { return k < e.first; });
        ASSERT_EQ(static_cast<std::size_t>(at - reference.begin()), observer.rows.back());
        reference.insert(at, {key, text});
    }
    std::vector<std::u16string> expected;
    for (const auto& e : reference) expected.push_back(e.second);
    EXPECT_EQ(expected, texts(list));
    EXPECT_EQ(expected, texts(unwatched));
    EXPECT_EQ(expected[12345], list.text(12345));  // out-of-order access after a walk
    EXPECT_EQ(expected[7], list.text(7));
}

}  // namespace
}  // namespace tavirel
