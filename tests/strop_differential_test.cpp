// The linear line cut and block removal against the literal versions, on random texts made
// mostly of the characters that form markers.
#include <gtest/gtest.h>

#include <random>

#include "code_page.h"
#include "event_yield.h"
#include "literal_strop.h"
#include "strop.h"
#include "test_support.h"
#include "trace.h"

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

// Every kept unit is traced to a unit of the source that holds the same character, in order.
void expectTracedFrom(const TracedText& traced, std::u16string_view source) {
    ASSERT_EQ(traced.text.size(), traced.from.size());
    std::uint32_t last = 0;
    bool any = false;
    for (std::size_t k = 0; k < traced.text.size(); ++k) {
        if (traced.from[k] == kAdded) {
            ASSERT_TRUE(traced.text[k] == u'\r' || traced.text[k] == u'\n');
            continue;
        }
        ASSERT_LT(traced.from[k], source.size());
        ASSERT_EQ(source[traced.from[k]], traced.text[k]);
        if (any) {
            ASSERT_LT(last, traced.from[k]);
        }
        last = traced.from[k];
        any = true;
    }
}

TEST(StrOPTDifferentialTest, TracedConversionMatchesTheLiteralVersionsAndTheEngine) {
    std::mt19937 rng(99);
    const CodePage utf8("UTF-8");
    for (int i = 0; i < 20000; ++i) {
        const std::u16string fileText = randomText(rng, i % 10 == 0 ? 400 : 40);
        const std::u16string marker = i % 2 ? u"//" : u";";
        const LineEnds ends = fileText.find(u'\r') == std::u16string::npos ? LineEnds::Lf : LineEnds::Classic;
        const TracedConversion traced = traceConversion(fileText, ends, marker);

        ASSERT_EQ(textOfFile(fileText, ends), traced.loaded.text);
        int yields = 0;
        const std::u16string expected =
            literal::deletStrMid(literal::deletStrRight(traced.loaded.text, marker, yields), u"/*", u"*/", yields);
        ASSERT_EQ(expected, traced.stripped.text) << testing::U8(fileText);
        ASSERT_EQ(fileTextOf(expected, ends), traced.newFile.text);
        expectTracedFrom(traced.loaded, fileText);
        expectTracedFrom(traced.stripped, traced.loaded.text);
        expectTracedFrom(traced.newFile, fileText);

        StrOPT opt;
        const std::string bytes = utf8.encode(fileText);
        const SourceConversion engine = convertBytes(opt, marker == u";" ? u"x.asm" : u"x.c", bytes, utf8);
        if (engine.outcome == SourceConversion::Outcome::Changed) {
            ASSERT_EQ(engine.bytes, utf8.encode(traced.newFile.text));
        }
    }
}

}  // namespace
}  // namespace tavirel
