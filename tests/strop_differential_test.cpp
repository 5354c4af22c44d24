// SPDX-License-Identifier: MIT
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
#include "warnings.h"

namespace tavirel {
namespace {

constexpr char16_t kAlphabet[] = {u'/', u'*', u';', u'\r', u'\n', u' ',
                                  u'a', u'b', u'/', u'*',  u'中', 0xDC80};

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
        {u"/*", u"*/"},   {u"/*", u"*/"}, {u"/*", u"*/"}, {u"aa", u"aa"}, {u"a", u"aa"},   {u"*/", u"/*"},
        {u"/**", u"**/"}, {u"/", u"/"},   {u"", u"*/"},   {u"ab", u"ba"}, {u"\r\n", u"*"}, {u"//", u";"},
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
        const TracedConversion traced =
            traceConversion(fileText, ends, marker == u";" ? Language::Assembler : Language::CFamily);

        ASSERT_EQ(textOfFile(fileText, ends), traced.loaded.text);
        int yields = 0;
        const std::u16string expected = literal::deletStrMid(
            literal::deletStrRight(traced.loaded.text, marker, yields), u"/*", u"*/", yields);
        ASSERT_EQ(expected, traced.stripped.text) << testing::U8(fileText);
        ASSERT_EQ(fileTextOf(expected, ends), traced.newFile.text);
        expectTracedFrom(traced.loaded, fileText);
        expectTracedFrom(traced.stripped, traced.loaded.text);
        expectTracedFrom(traced.newFile, fileText);

        StrOPT opt;
        const std::string bytes = utf8.encode(fileText);
        const std::u16string name = marker == u";" ? u"x.asm" : u"x.c";
        const SourceConversion engine = convertBytes(opt, name, bytes, utf8);
        if (engine.outcome == SourceConversion::Outcome::Changed) {
            ASSERT_EQ(engine.bytes, utf8.encode(traced.newFile.text));
        }
        // Asked for its trace, the conversion takes its result from it: the same.
        const SourceConversion fromTrace = convertBytes(opt, name, bytes, utf8, {.trace = true});
        ASSERT_EQ(engine.outcome, fromTrace.outcome);
        ASSERT_EQ(engine.bytes, fromTrace.bytes);
    }
}

// Most files are ASCII with lines that all end alike: they are converted on their bytes. The
// result must be that of the literal passes on their text, file by file.
TEST(StrOPTDifferentialTest, ConversionOnBytesMatchesTheLiteralVersions) {
    std::mt19937 rng(5);
    const CodePage utf8("UTF-8");
    static constexpr char kAscii[] = {'/', '*', ';', '\n', ' ', 'a', 'b', '"', '/', '*', '\'', '#', '\\'};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kAscii) - 1);
    int cleanOnes = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string bytes(rng() % (i % 10 == 0 ? 400 : 40), ' ');
        for (char& b : bytes) b = kAscii[pick(rng)];
        if (i % 2) {
            std::string crlf;
            for (char b : bytes) crlf += b == '\n' ? std::string("\r\n") : std::string(1, b);
            bytes = crlf;
        }
        const bool assembler = i % 3 == 0;
        StrOPT opt;
        const SourceConversion c = convertBytes(opt, assembler ? u"x.inc" : u"x.h", bytes, utf8);
        ASSERT_TRUE(c.text.empty() || bytes.empty()) << "not converted on its bytes";
        const LineEnds ends = lineEndsOf(bytes);
        const std::u16string text = textOfFile(utf8.decode(bytes), ends);
        int yields = 0;
        const std::string expected = utf8.encode(
            fileTextOf(literal::deletStrMid(literal::deletStrRight(text, assembler ? u";" : u"//", yields),
                                            u"/*", u"*/", yields),
                       ends));
        ASSERT_EQ(bytes.empty()       ? SourceConversion::Outcome::Empty
                  : expected == bytes ? SourceConversion::Outcome::Unchanged
                                      : SourceConversion::Outcome::Changed,
                  c.outcome)
            << bytes;
        if (c.outcome == SourceConversion::Outcome::Changed) {
            ASSERT_EQ(expected, c.bytes) << bytes;
        }
        // The warnings' look giving the result too: the same result, wherever it gives one.
        const SourceConversion fused =
            convertBytes(opt, assembler ? u"x.inc" : u"x.h", bytes, utf8, {.cleanStrip = stripIfClean});
        ASSERT_EQ(c.outcome, fused.outcome) << bytes;
        ASSERT_EQ(c.bytes, fused.bytes) << bytes;

        // The warnings found on the bytes are those found on the text.
        const auto language = assembler ? Language::Assembler : Language::CFamily;
        const auto onText = findWarnings(text, traceStrip(text, lineMarkerOf(language)).text, language);
        for (const SourceConversion* conversion : {&c, &fused}) {
            const auto onBytes = findWarnings(*conversion, bytes, language, utf8);
            ASSERT_EQ(onText.size(), onBytes.size()) << bytes;
            for (std::size_t k = 0; k < onText.size(); ++k) {
                ASSERT_EQ(onText[k].line, onBytes[k].line);
                ASSERT_EQ(onText[k].column, onBytes[k].column);
            }
        }
        cleanOnes += fused.clean;
    }
    EXPECT_GT(cleanOnes, 2000);  // the one pass gave many of the results
}

// The bytes are read sixteen at a time and their line ends added up in stretches of 4,080: one
// line end out of step anywhere in a long file, at either edge of a stretch too, sends the file
// to the text, and the result is the literal passes' either way.
TEST(StrOPTDifferentialTest, OneLineEndOutOfStepAnywhereInALongFileIsSeen) {
    const CodePage utf8("UTF-8");
    std::string crlf;
    while (crlf.size() < 9000) crlf += "a = b / c; // d\r\n/* e */ f;\r\n";
    const auto literalResult = [&](const std::string& bytes) {
        const LineEnds ends = lineEndsOf(bytes);
        int yields = 0;
        return utf8.encode(fileTextOf(
            literal::deletStrMid(literal::deletStrRight(textOfFile(utf8.decode(bytes), ends), u"//", yields),
                                 u"/*", u"*/", yields),
            ends));
    };
    for (const std::size_t near : {0u, 15u, 16u, 17u, 4079u, 4080u, 4081u, 8159u, 8160u, 8999u}) {
        const std::size_t lf = crlf.find('\n', near);
        for (int variant = 0; variant < 3; ++variant) {
            std::string bytes = crlf;
            if (variant == 1) bytes.erase(lf - 1, 1);  // an LF alone
            if (variant == 2) bytes.erase(lf, 1);      // a CR alone
            StrOPT opt;
            const SourceConversion c = convertBytes(opt, u"x.c", bytes, utf8);
            EXPECT_EQ(variant != 0, !c.text.empty()) << "at " << lf << ", variant " << variant;
            EXPECT_EQ(literalResult(bytes), c.bytes) << "at " << lf << ", variant " << variant;
        }
    }
}

}  // namespace
}  // namespace tavirel
