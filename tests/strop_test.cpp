// SPDX-License-Identifier: MIT
#include "strop.h"

#include <gtest/gtest.h>

#include "code_page.h"
#include "conversion.h"
#include "errors.h"
#include "event_yield.h"
#include "test_support.h"

namespace tavirel {
namespace {

using testing::T;
using testing::U8;
using testing::writeBytes;

// --- Loading ---------------------------------------------------------------------------------

class LoadStrFormFileTest : public testing::TempDirTest {
protected:
    std::u16string load(std::string_view bytes, std::string_view name = "x.c") {
        writeBytes(path(name), bytes);
        return opt.LoadStr_FormFile(textPath(name));
    }
    StrOPT opt;
};

TEST_F(LoadStrFormFileTest, LineEndsFollowTheLineRule) {
    const struct {
        const char* bytes;
        const char16_t* text;
    } cases[] = {
        {"\r\n", u"\r\n"},          // one empty line, not the empty-file sentinel
        {"a", u"a\r\n"},            // a missing final terminator is supplied
        {"a\rb", u"a\r\nb\r\n"},    // a lone CR ends a line
        {"a\nb\n", u"a\r\nb\r\n"},  // no CR anywhere: LF ends a line
        {"a\n\nb", u"a\r\n\r\nb\r\n"},
        {"a\nb\r\n", u"a\nb\r\n"},  // with a CR, LF is an ordinary character
        {"a\r\n\r\nb\r\n", u"a\r\n\r\nb\r\n"},
        {"\r\r\n\r", u"\r\n\r\n\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, load(c.bytes)) << c.bytes;
    // The sentinel's own text in a file is no sentinel (where the code page has its characters).
    try {
        EXPECT_EQ(u"空文件\r\n", load(CodePage::system().encode(u"空文件")));
    } catch (const EncodeError&) {
    }
}

TEST_F(LoadStrFormFileTest, EmptyAndOversizedFilesGiveTheSentinels) {
    EXPECT_EQ(u"空文件", load(""));

    std::string lines;
    for (int i = 0; i < 32768; ++i) lines += "\r\n";
    EXPECT_EQ(65536u, load(lines).size());  // exactly at the limit passes
    EXPECT_EQ(u"尺寸太大", load(lines + "\r\n"));
    EXPECT_EQ(u"尺寸太大", load(lines + "x"));  // the supplied CR LF counts too

    // Counted in code units after decoding: 30000 characters of two or three bytes each pass,
    // where the code page has such characters.
    try {
        const std::string one = CodePage::system().encode(u"中");
        std::string wide;
        for (int i = 0; i < 30000; ++i) wide += one;
        EXPECT_EQ(30002u, load(wide).size());
    } catch (const EncodeError&) {
    }

    EXPECT_EQ(u"尺寸太大", load(std::string(4 << 20, 'a')));  // far too large: never decoded
}

TEST_F(LoadStrFormFileTest, EmptyNameReadsNothingAndKeepsTheKey) {
    opt.lng = u"asm";
    EXPECT_EQ(u"", opt.LoadStr_FormFile(u""));
    EXPECT_EQ(u"asm", opt.lng);
}

TEST_F(LoadStrFormFileTest, UnreadableFileFailsWithPathAndReasonAfterSettingTheKey) {
    for (const char* name : {"missing.CPP", "folder.h"}) {
        if (std::string_view(name) == "folder.h") std::filesystem::create_directory(path(name));
        try {
            opt.LoadStr_FormFile(textPath(name));
            ADD_FAILURE() << name << " did not fail";
        } catch (const FileError& e) {
            EXPECT_EQ(textPath(name), e.path());
            EXPECT_FALSE(e.reason().empty());
        }
    }
    EXPECT_EQ(u"h", opt.lng);
}

TEST_F(LoadStrFormFileTest, BytesThatDoNotDecodeSurviveTheRoundTrip) {
    const std::string bytes = std::string("a\xff\xfe\xc0\x80 \xed\xa0\x80\0z\r\n", 13);
    const std::u16string text = load(bytes);
    EXPECT_EQ(13u, text.size());  // one unit per undecodable byte
    EXPECT_EQ(bytes, CodePage::system().encode(text));
}

TEST(SetLangTest, KeyIsTheLowerCasedTextAfterTheLastDotOfTheWholePath) {
    const struct {
        const char* name;
        const char16_t* key;
    } cases[] = {
        {"/no/src/Main.CPP", u"cpp"},    {"/no/src/x.tar.inc", u"inc"}, {"/no/src/readme.", u""},
        {"/no/src/c", u"/no/src/c"},     {"/no/a.b/c", u"b/c"},         {"/no/X.c.bak", u"bak"},
        {"/no/Src/INC", u"/no/src/inc"}, {"/no/x.ÄSM", u"äsm"},
    };
    for (const auto& c : cases) {
        StrOPT opt;
        EXPECT_THROW(opt.LoadStr_FormFile(T(c.name)), FileError);
        EXPECT_EQ(c.key, opt.lng) << c.name;
    }
}

// --- Line cut --------------------------------------------------------------------------------

TEST(DeletStrRightTest, CutsEachLineAtItsFirstMarker) {
    const struct {
        const char* text;
        const char* marker;
        const char* expected;
    } cases[] = {
        {"", "//", ""},
        {"no line end", "//", ""},
        {"a\r\nb", "//", "a\r\n"},  // after the last LF belongs to no line
        {"// only\r\n", "//", "\r\n"},
        {"int a; // x\r\n", "//", "int a; \r\n"},
        {"a // b // c\r\nd\r\n", "//", "a \r\nd\r\n"},
        {"s = \"http://x\";\r\n", "//", "s = \"http:\r\n"},
        {"db \"a;b\" ; c\r\n", ";", "db \"a\r\n"},
        {"a//1\nb\nc//3\r\n", "//", "a\r\nb\nc\r\n"},  // bare LF lines keep their LF unless cut
        {"ab\r\ncd\r\n", "", "\r\n\r\n"},
    };
    StrOPT opt;
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, U8(opt.DeletStr_Right(T(c.text), T(c.marker)))) << c.text;
    }
}

TEST(DeletStrRightTest, HasNoLineCountLimit) {
    StrOPT opt;
    std::u16string text;
    for (int i = 0; i < 40000; ++i) text += u"x//\n";
    std::u16string expected;
    for (int i = 0; i < 40000; ++i) expected += u"x\r\n";
    EXPECT_EQ(expected, opt.DeletStr_Right(text, u"//"));
}

TEST(DeletStrAutoTest, PicksTheMarkerByTheLanguageKey) {
    StrOPT opt;
    const std::u16string text = u"a;b//c\r\n";
    EXPECT_EQ(u"Error", opt.DeletStr_Auto(text));  // a new instance has the empty key
    for (const char16_t* key : {u"c", u"cpp", u"h"}) {
        opt.lng = key;
        EXPECT_EQ(u"a;b\r\n", opt.DeletStr_Auto(text));
    }
    for (const char16_t* key : {u"asm", u"dt", u"inc"}) {
        opt.lng = key;
        EXPECT_EQ(u"a\r\n", opt.DeletStr_Auto(text));
    }
    for (const char16_t* key : {u"", u"CPP", u"txt", u"/src/inc"}) {
        opt.lng = key;
        EXPECT_EQ(u"Error", opt.DeletStr_Auto(text));
    }
}

// --- Block removal ---------------------------------------------------------------------------

TEST(DeletStrMidTest, RemovesEveryBlockThroughItsFirstStopMarker) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"a/*x*/b", "ab"},        {"a/*1\r\n2\r\n3*/b\r\n", "ab\r\n"},
        {"a/*1*/b/*2*/c", "abc"}, {"a/*b", "a/*b"},
        {"a*/b", "a*/b"},         {"/* a /* b */ c */", " c */"},
        {"x/**/y", "xy"},         {"x/*/y", "xy"},  // the markers share the asterisk
        {"x/*/y*/z", "xy*/z"},    {"s = \"/*\"; t = \"*/\";", "s = \"\";"},
        {"//*x*/*", "/*"},  // a join can form a new start marker that stays without a stop
    };
    StrOPT opt;
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, U8(opt.DeletStr_Mid(T(c.text), u"/*", u"*/"))) << c.text;
    }
}

TEST(DeletStrMidTest, StrayStopMarkerBeforeTheFirstStartStays) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"a */ b /* c */ d", "a */ b  d"},  // the Part's literal form would fail here
        {"a */ b /* c", "a */ b /* c"},
        {"*//*x*/y", "*/y"},  // would loop forever
        {"*/*x*/y", "*y"},    // would delete the first slash anywhere
    };
    StrOPT opt;
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, U8(opt.DeletStr_Mid(T(c.text), u"/*", u"*/"))) << c.text;
    }
    EXPECT_EQ(u"a/*b*/c", opt.DeletStr_Mid(u"a/*b*/c", u"/*", u""));
}

TEST(DeletStrMidTest, YieldsOncePerBlockAndOnceMore) {
    StrOPT opt;
    int yields = 0;
    ScopedYieldHook hook([&] { ++yields; });
    opt.DeletStr_Mid(u"/**/a/**/b/**/", u"/*", u"*/");
    EXPECT_EQ(4, yields);
    yields = 0;
    opt.DeletStr_Right(u"a\nb\nc", u"//");
    EXPECT_EQ(3, yields);
}

// --- The two passes together -----------------------------------------------------------------

TEST(StripTest, LinePassRunsBeforeBlockPass) {
    const struct {
        const char* lng;
        const char* text;
        const char* expected;
    } cases[] = {
        {"c", "a // x /* y\r\nb\r\n", "a \r\nb\r\n"},
        {"c", "/* see http://x */\r\nint a;\r\n/* end */\r\nb\r\n", "\r\nb\r\n"},
        {"cpp", "/* see http://x */\r\nint a;\r\n", "/* see http:\r\nint a;\r\n"},
        {"asm", "mov a,b ; load /* no\r\n/* block */nop\r\n", "mov a,b \r\nnop\r\n"},
        {"inc", "x /* ; */ y\r\n", "x /* \r\n"},
    };
    for (const auto& c : cases) {
        StrOPT opt;
        opt.lng = T(c.lng);
        EXPECT_EQ(c.expected, U8(opt.DeletStr_Mid(opt.DeletStr_Auto(T(c.text)), u"/*", u"*/"))) << c.text;
    }
}

// --- File cut --------------------------------------------------------------------------------

class DeleteStrFromFileTest : public testing::TempDirTest {};

// The batch's road holds the same limit whether a file is converted on its bytes or its text.
TEST(ConversionTest, TheSizeLimitHoldsOnBytesAndOnText) {
    const CodePage utf8("UTF-8");
    for (const std::string first : {"a", "\xc3\xa9"}) {  // ASCII: on its bytes; beyond: on its text
        for (const std::size_t units : {StrOPT::kSizeLimit, StrOPT::kSizeLimit + 1}) {
            // One line: its characters, then the CR LF that ends it in the text.
            const std::string bytes = first + std::string(units - 3, 'a') + "\n";
            StrOPT opt;
            EXPECT_EQ(units > StrOPT::kSizeLimit ? SourceConversion::Outcome::TooLarge
                                                 : SourceConversion::Outcome::Unchanged,
                      convertBytes(opt, u"x.c", bytes, utf8).outcome)
                << first << " " << units;
        }
    }
    // Line feeds only: each gains a CR in the text, so half the limit in bytes is at the limit.
    for (const std::size_t lines : {StrOPT::kSizeLimit / 2, StrOPT::kSizeLimit / 2 + 1}) {
        StrOPT opt;
        EXPECT_EQ(2 * lines > StrOPT::kSizeLimit ? SourceConversion::Outcome::TooLarge
                                                 : SourceConversion::Outcome::Unchanged,
                  convertBytes(opt, u"x.c", std::string(lines, '\n'), utf8).outcome)
            << lines;
    }
}

TEST_F(DeleteStrFromFileTest, JoinsCutLinesWithBareLineFeeds) {
    StrOPT opt;
    writeBytes(path("a.ASM"), "a\r\nb ; c\rd");
    EXPECT_EQ(u"a\nb \nd\n", opt.DeleteStr_FromFile(textPath("a.ASM"), u";"));
    EXPECT_EQ(u"asm", opt.lng);
    EXPECT_EQ(u"\n\n\n", opt.DeleteStr_FromFile(textPath("a.ASM"), u""));
    writeBytes(path("e.c"), "");
    EXPECT_EQ(u"", opt.DeleteStr_FromFile(textPath("e.c"), u"//"));
    EXPECT_EQ(u"", opt.DeleteStr_FromFile(u"", u"//"));
    EXPECT_EQ(u"c", opt.lng);
    EXPECT_THROW(opt.DeleteStr_FromFile(textPath("gone.h"), u"//"), FileError);
}

// --- Yields that run nested calls ------------------------------------------------------------

TEST_F(LoadStrFormFileTest, NestedCallDuringAYieldDoesNotDisturbTheOuterCall) {
    writeBytes(path("inner.asm"), "mov ; x\r\n");
    writeBytes(path("outer.c"), "a // b ; c\r\n/* x */y\r\n");
    int depth = 0;
    std::u16string inner;
    ScopedYieldHook hook([&] {
        if (depth++ == 0) {
            // Everything the outer call is in the middle of, on the same instance.
            inner = opt.DeletStr_Mid(opt.DeletStr_Auto(opt.LoadStr_FormFile(textPath("inner.asm"))), u"/*",
                                     u"*/");
        }
        --depth;
    });
    const std::u16string text = opt.LoadStr_FormFile(textPath("outer.c"));
    EXPECT_EQ(u"mov \r\n", inner);
    EXPECT_EQ(u"c", opt.lng);  // the outer call stores its own key last
    EXPECT_EQ(u"a \r\ny\r\n", opt.DeletStr_Mid(opt.DeletStr_Auto(text), u"/*", u"*/"));
}

}  // namespace
}  // namespace tavirel
