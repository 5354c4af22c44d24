// SPDX-License-Identifier: MIT
// The warnings where the rules remove more than a comment, and the unified diff of a conversion.
#include <gtest/gtest.h>

#include <filesystem>

#include "code_page.h"
#include "conversion.h"
#include "strop.h"
#include "test_support.h"
#include "unified_diff.h"
#include "warnings.h"

namespace tavirel {
namespace {

using testing::T;

// The warnings of a source as the batch finds them: "LINE:COLUMN kind", in text order.
std::vector<std::string> warningsOf(const char* name, std::string_view source) {
    StrOPT opt;
    const CodePage utf8("UTF-8");
    const SourceConversion c = convertBytes(opt, T(name), source, utf8);
    std::vector<std::string> found;
    for (const Warning& w : findWarnings(c, source, *languageOf(opt.lng), utf8)) {
        found.push_back(std::to_string(w.line) + ":" + std::to_string(w.column) + " " +
                        std::string(kindName(w.kind)));
    }
    return found;
}

struct Case {
    const char* name;
    const char* source;
    std::vector<std::string> expected;
};

void expectWarnings(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(c.expected, warningsOf(c.name, c.source)) << c.source;
}

TEST(WarningsTest, SwallowedCode) {
    expectWarnings({
        {"a.c", "/* see http://x */\nint a;\n/* end */\nb;\n", {"1:13 swallowed-code"}},
        {"a.c", "x; /* a\n   b // c */ int y;\nz;\n/* d */\n", {"2:6 swallowed-code"}},
        {"a.asm", "/* a ; b */\nmov a, b\n/* c */\n", {"1:6 swallowed-code"}},
        // Only comments stand between: nothing of the code goes.
        {"a.c", "/* http://x */\n/* y */\nint a;\n", {}},
        // A "//" inside a block but on another line than its "*/" does no harm.
        {"a.h", "/* a // b\n   c */\nint a;\n", {}},
        // Named by the first marker on the line of the "*/", not by one on a line before it.
        {"a.h", "/* a // b\n c // d // e */ f;\n/* g */\n", {"2:4 swallowed-code"}},
    });
}

TEST(WarningsTest, MarkerInString) {
    expectWarnings({
        {"a.c", "printf(\"http://x\");\n", {"1:14 marker-in-string"}},
        {"a.c", "s = \"/*\"; t = 1; /* c */\n", {"1:6 marker-in-string"}},
        {"a.cpp", "auto r = R\"(a//b)\";\n", {"1:14 marker-in-string"}},
        {"a.c", "c = '/' // ok\n", {}},
        {"a.asm", "db \"a;b\", 0\n", {"1:6 marker-in-string"}},
        {"a.inc", "mov a, #';'\n", {"1:10 marker-in-string"}},
        // The first marker of the line cuts it: a literal after a comment is no literal.
        {"a.c", "x; // \"http://y\"\n", {}},
    });
}

// What a warning says it removes is counted: lines of code, comments and blank lines left out.
TEST(WarningsTest, EachCountsTheLinesOfCodeItRemoves) {
    const CodePage utf8("UTF-8");
    auto textOf = [&](std::string_view source) -> std::string {
        StrOPT opt;
        const SourceConversion c = convertBytes(opt, u"a.c", source, utf8);
        const std::vector<Warning> found = findWarnings(c, source, *c.language, utf8);
        return found.size() == 1 ? found[0].text : std::string();
    };
    EXPECT_NE(
        std::string::npos,
        textOf("/* http://x */\nint a;\n\nint b; /* c */\n/* end */\n").find("removes 2 lines of code"));
    EXPECT_NE(std::string::npos,
              textOf("/* http://x */\nint a;\n/* end */\n").find("removes 1 line of code"));
    EXPECT_NE(std::string::npos, textOf("s = \"/*\";\nint a;\n*/ b;\n").find(", 3 lines of code with it"));
}

TEST(WarningsTest, UnclosedBlock) {
    expectWarnings({
        {"a.c", "int a; /* never closed\nint b;\n", {"1:8 unclosed-block"}},
        {"a.c", "/* see http://x */\nint a;\n", {"1:1 unclosed-block"}},
        {"a.c", "s = \"/* no close\";\n", {}},  // kept inside its literal: no harm
    });
}

TEST(WarningsTest, StrayClose) {
    expectWarnings({
        {"a.c", "int a; */\n", {"1:8 stray-close"}},
        {"a.c", "/*/ text */\nint a;\n", {"1:10 stray-close"}},
        {"a.c", "p = \"*/\";\n", {}},
        {"a.cpp", "int b = a*/*times*/b;\n", {}},
    });
}

TEST(WarningsTest, NestedBlock) {
    expectWarnings({
        {"a.c", "/* a /* b */ c */\nint x;\n", {"1:6 nested-block"}},
        {"a.c", "/* see src/*.c */\nint x;\n", {}},  // nothing of it is left behind
    });
}

TEST(WarningsTest, ContinuedComment) {
    expectWarnings({
        {"a.c", "int a; // note \\\nint b;\n", {"1:8 continued-comment"}},
        {"a.c", "int a; // note \\\n// more\n", {}},
        {"a.asm", "nop ; note \\\nnop\n", {}},
    });
}

TEST(WarningsTest, CleanSourcesGiveNone) {
    for (const auto& entry : std::filesystem::directory_iterator(TAVIREL_TEST_DATA "/clean")) {
        const std::string name = entry.path().filename().string();
        const std::string source = testing::readBytes(entry.path());
        EXPECT_EQ(std::vector<std::string>{}, warningsOf(name.c_str(), source)) << name;
    }
}

// --- Unified diff ----------------------------------------------------------------------------

std::string diffOf(const char* name, std::string_view source) {
    StrOPT opt;
    const CodePage utf8("UTF-8");
    const SourceConversion c = convertBytes(opt, T(name), source, utf8, {.trace = true});
    const std::u16string oldText = utf8.decode(source);
    return unifiedDiff(name, source, c.bytes.empty() ? source : c.bytes, oldText, *c.trace);
}

TEST(UnifiedDiffTest, ShowsChangedLinesWithThreeLinesOfContextAsDiffDoes) {
    EXPECT_EQ("", diffOf("x.c", "clean;\n"));
    EXPECT_EQ(
        "--- a/x.c\n+++ b/x.c\n"
        "@@ -1,7 +1,7 @@\n 1\n 2\n 3\n-a; // x\n+a; \n 5\n 6\n 7\n"
        "@@ -9,7 +9,6 @@\n 9\n 10\n 11\n-/* two\n-lines */b;\n+b;\n 14\n-last // y\n\\ No newline at end of "
        "file\n+last \n",
        diffOf("x.c", "1\n2\n3\na; // x\n5\n6\n7\n8\n9\n10\n11\n/* two\nlines */b;\n14\nlast // y"));
    // Close changes share one hunk; CR LF line ends are part of the lines.
    EXPECT_EQ("--- a/y.asm\n+++ b/y.asm\n@@ -1,3 +1,3 @@\n-a ; 1\r\n+a \r\n b\r\n-c ; 2\r\n+c \r\n",
              diffOf("y.asm", "a ; 1\r\nb\r\nc ; 2\r\n"));
}

}  // namespace
}  // namespace tavirel
