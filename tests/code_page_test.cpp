// SPDX-License-Identifier: MIT
#include "code_page.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "errors.h"

namespace tavirel {
namespace {

TEST(CodePageTest, Utf8DecodesOnlyWellFormedSequences) {
    const CodePage utf8("UTF-8");
    const struct {
        std::string bytes;
        std::u16string text;
    } cases[] = {
        {"a\xe4\xb8\xad", u"a中"},
        {"\xf0\x9f\x98\x80", u"\U0001F600"},                // two units
        {"\xc0\xaf", u"\xDCC0\xDCAF"},                      // overlong "/"
        {"\xe0\x80\xaf", u"\xDCE0\xDC80\xDCAF"},            // overlong, three bytes
        {"\xed\xa0\x80", u"\xDCED\xDCA0\xDC80"},            // an encoded surrogate
        {"\xf4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},  // past U+10FFFF
        {"\xe4\xb8", u"\xDCE4\xDCB8"},                      // cut short at the end
        {"\xe4"
         "a",
         u"\xDCE4"
         "a"},
        {std::string("\0\x7f", 2), std::u16string(u"\0\x7f", 2)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.text, utf8.decode(c.bytes));
        EXPECT_EQ(c.bytes, utf8.encode(c.text));
    }
}

TEST(CodePageTest, DoubleByteCodePagesDecodeTheirCharacters) {
    const CodePage gbk("GBK");
    EXPECT_EQ(u"中文;", gbk.decode("\xd6\xd0\xce\xc4;"));
    EXPECT_EQ("\xd6\xd0\xce\xc4;", gbk.encode(u"中文;"));
    // A lead byte without a valid trail byte, and a lone lead byte at the end.
    EXPECT_EQ(
        u"\xDCD6"
        "\n"
        u"\xDCD6",
        gbk.decode("\xd6\n\xd6"));

    // GB18030's four-byte forms, where the platform has it (wine has not).
    try {
        const CodePage gb18030("GB18030");
        EXPECT_EQ(u"\U00020000", gb18030.decode("\x95\x32\x82\x36"));
        EXPECT_EQ("\x95\x32\x82\x36", gb18030.encode(u"\U00020000"));
    } catch (const Error& e) {
        std::printf("GB18030 not checked: %s\n", e.what());
    }
}

TEST(CodePageTest, EncodingAMissingCharacterFailsInsteadOfSubstituting) {
    EXPECT_THROW(CodePage("GBK").encode(u"a\U0001F600"), EncodeError);
    EXPECT_THROW(CodePage("UTF-8").encode(std::u16string(1, char16_t(0xD800))), EncodeError);
    EXPECT_THROW(CodePage("no-such-codeset"), Error);
}

TEST(CodePageTest, RandomBytesRoundTripInEveryCodePage) {
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> byte(0, 255);
    for (const char* name : {"UTF-8", "GBK", "GB18030", "ISO-8859-1"}) {
        std::unique_ptr<CodePage> opened;
        try {
            opened = std::make_unique<CodePage>(name);
        } catch (const Error&) {
            ASSERT_EQ(std::string("GB18030"), name) << "only GB18030 may be missing (wine has none)";
            continue;
        }
        const CodePage& page = *opened;
        for (int i = 0; i < 300; ++i) {
            std::string bytes(static_cast<std::size_t>(i * 7 % 500), '\0');
            for (auto& b : bytes) b = static_cast<char>(byte(rng));
            // Bias towards lead bytes so that multi-byte forms, good and bad, are common.
            if (i % 2)
                for (std::size_t k = 0; k < bytes.size(); k += 3)
                    bytes[k] = static_cast<char>(0x81 + byte(rng) % 0x7e);
            ASSERT_EQ(bytes, page.encode(page.decode(bytes))) << name;
        }
    }
}

TEST(CodePageTest, OneCodePageConvertsOnManyThreadsAtOnce) {
    // Chinese text with bytes that do not decode, as worker threads meet it in a GBK tree.
    std::string bytes;
    for (int i = 0; i < 400; ++i) bytes += "/* \xd6\xd0\xce\xc4 */ s = \"\xb4\xed\xce\xf3\"; \xff\xd6\n";
    const CodePage gbk("GBK");
    const std::u16string text = gbk.decode(bytes);
    ASSERT_EQ(bytes, gbk.encode(text));
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (std::size_t t = 0; t < wrong.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 30; ++round) {
                if (gbk.decode(bytes) != text || gbk.encode(text) != bytes) ++wrong[t];
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(std::vector<int>(wrong.size(), 0), wrong);
}

}  // namespace
}  // namespace tavirel
