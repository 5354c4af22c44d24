// The linear line cut and block removal against the literal versions, on random texts made
// mostly of the characters that form markers.
#include <gtest/gtest.h>

#include <random>

#include "event_yield.h"
#include "literal_strop.h"
#include "strop.h"
#include "test_support.h"

namespace tavirel {
namespace {

constexpr char16_t kAlphabet[] = {u'/', u'*', u';', u'\r', u'\n', u' ', u'a', u'b', u'/', u'*', u'中', 0xDC80};

std::u16string randomText(std::mt19937& rng, std::size_t maxLength) {
    std::uniform_int_distribution<std::size_t> length(0, maxLength);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kAlphabet) - 1);
    std::u16string text(length(rng), u' ');
    for (auto& c : text) c = kAlphabet[pick(rng)];
    return text;
}

// The batch's markers most of the time, then other, longer and overlapping ones.
std::pair<std::u16string, std::u16string> randomMarkers(std::mt19937& rng) {
    static const std::pair<const char16_t*, const char16_t*> fixed[] = {
        {u"/*", u"*/"}, {u"/*", u"*/"}, {u"/*", u"*/"}, {u"aa", u"aa"}, {u"a", u"aa"},
        {u"*/", u"/*"}, {u"/**", u"**/"}, {u"/", u"/"}, {u"", u"*/"},  {u"ab", u"ba"},
        {u"\r\n", u"*"}, {u"//", u";"},
    };
    std::uniform_int_distribution<std::size_t> which(0, std::size(fixed) + 3);
    const std::size_t w = which(rng);
    if (w < std::size(fixed)) return {fixed[w].first, fixed[w].second};
    return {randomText(rng, 3), randomText(rng, 3)};
}

TEST(StrOPTDifferentialTest, BlockRemovalMatchesTheLiteralVersion) {
    std::mt19937 rng(20261207);
    StrOPT opt;
    int yields = 0;
    ScopedYieldHook hook([&] { ++yields; });
    for (int i = 0; i < 40000; ++i) {
        const std::u16string text = randomText(rng, i % 10 == 0 ? 400 : 40);
        const auto [start, stop] = randomMarkers(rng);
        int literalYields = 0;
        const std::u16string expected = literal::deletStrMid(text, start, stop, literalYields);
        yields = 0;
        ASSERT_EQ(expected, opt.DeletStr_Mid(text, start, stop))
            << "text " << testing::U8(text) << " markers " << testing::U8(start) << " " << testing::U8(stop);
        ASSERT_EQ(literalYields, yields);
    }
}

TEST(StrOPTDifferentialTest, LineCutMatchesTheLiteralVersion) {
    std::mt19937 rng(7);
    StrOPT opt;
    int yields = 0;
    ScopedYieldHook hook([&] { ++yields; });
    for (int i = 0; i < 30000; ++i) {
        const std::u16string text = randomText(rng, i % 10 == 0 ? 400 : 40);
        const std::u16string marker = randomMarkers(rng).first;
        int literalYields = 0;
        const std::u16string expected = literal::deletStrRight(text, marker, literalYields);
        yields = 0;
        ASSERT_EQ(expected, opt.DeletStr_Right(text, marker)) << testing::U8(text);
        ASSERT_EQ(literalYields, yields);
    }
}

}  // namespace
}  // namespace tavirel
