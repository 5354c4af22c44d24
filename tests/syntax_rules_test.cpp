// SPDX-License-Identifier: MIT
// The syntax rules: what they remove and keep, the same on every road of a conversion, and, where
// clang is installed, judged by clang's own lexer: the tokens after are those before, on their
// lines.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

#include "code_page.h"
#include "strop.h"
#include "test_support.h"
#include "trace.h"
#include "warnings.h"

namespace tavirel {
namespace {

namespace fs = std::filesystem;

const CodePage& utf8() {
    static const CodePage page("UTF-8");
    return page;
}

SourceConversion syntaxOf(const std::u16string& name, std::string_view bytes, bool trace = false) {
    StrOPT opt;
    return convertBytes(opt, name, bytes, utf8(), {.rules = RuleSet::Syntax, .trace = trace});
}

// The new content of a file (its own bytes when unchanged).
std::string stripped(const char* name, std::string_view bytes) {
    const SourceConversion c = syntaxOf(testing::T(name), bytes);
    return c.outcome == SourceConversion::Outcome::Changed ? c.bytes : std::string(bytes);
}

TEST(SyntaxRulesTest, CommentsGoAndEverythingElseStaysOnItsLine) {
    const struct {
        const char* name;
        const char* in;
        const char* out;
    } cases[] = {
        // Markers in literals and header names are code.
        {"a.c", "s = \"file://x\"; // c\n", "s = \"file://x\";\n"},
        {"a.c", "c = '/'; d = '\\''; /* c */ e;\n", "c = '/'; d = '\\'';  e;\n"},
        {"a.c", "s = \"a\\\"/*b\"; /* c */\n", "s = \"a\\\"/*b\";\n"},
        {"a.c", "#include <sys//types.h> // c\n#  include \"a/*b.h\"\n",
         "#include <sys//types.h>\n#  include \"a/*b.h\"\n"},
        {"a.c", "s = u8\"//\" L\"//\" u'/' U\"/*\"; // c\n", "s = u8\"//\" L\"//\" u'/' U\"/*\";\n"},
        // Raw strings: always in C++, in a header where the delimiter is valid, never in C.
        {"a.cpp", "r = R\"x(// \" /*)x\"; // c\n", "r = R\"x(// \" /*)x\";\n"},
        {"a.cpp", "r = u8R\"(a\n// b\n)\"; // c\n", "r = u8R\"(a\n// b\n)\";\n"},
        {"a.h", "r = LR\"(//)\";\n", "r = LR\"(//)\";\n"},
        {"a.h", "asm(\"push %%\"R\"bp; \\n\\t\"); // c\n", "asm(\"push %%\"R\"bp; \\n\\t\");\n"},
        {"a.c", "x = R\"(\"; // c\n", "x = R\"(\";\n"},
        {"a.cpp", "xR\"(//)\" // c\n", "xR\"(//)\"\n"},
        // Digit separators belong to a number, a prefix to its literal.
        {"a.cpp", "n = 1'000'000 + 0x7FFF'FFFF + 1e+5'0; // '\n", "n = 1'000'000 + 0x7FFF'FFFF + 1e+5'0;\n"},
        {"a.cpp", "c = u8'a'; // c\n", "c = u8'a';\n"},
        // Splices join lines first: the comment runs on, each line stays, the splice of code stays.
        {"a.c", "a; // c \\\nstill\nb;\n", "a;\n\nb;\n"},
        {"a.c", "a; /\\\n/ c\nb;\n", "a;\n\nb;\n"},
        {"a.c", "a; /* c *\\\n/ b;\n", "a;\n b;\n"},
        {"a.c", "#define M(x) x /* c */ \\\n  + 1\n", "#define M(x) x  \\\n  + 1\n"},
        {"a.c", "s = \"a\\\n//b\"; // c\n", "s = \"a\\\n//b\";\n"},
        // What a removed comment leaves.
        {"a.c", "int a/**/b; a/* c */+b;\n", "int a b; a +b;\n"},
        {"a.c", "x; /* one\n two\n three */ y;\n", "x;\n\n y;\n"},
        {"a.c", "  // only\n\t/* only */  \nz;\n", "\n\nz;\n"},
        {"a.c", "z; // no final line end", "z;\n"},
        {"a.c", "z;\r\n// c\r\na; /* b\r\n */\r\n", "z;\r\n\r\na;\r\n\r\n"},
        {"a.c", "/**/#include <a//b>\n", "#include <a//b>\n"},
        // Assembler: ";" outside quotes, a doubled quote inside one, blocks as everywhere.
        {"a.asm", "mov eax, 1 ; c\ndb \"a;b\", 0 ; c\n", "mov eax, 1\ndb \"a;b\", 0\n"},
        {"a.inc", "db 'it''s;' ; c\n/* b */ nop\nx/* b */y\n", "db 'it''s;'\n nop\nx y\n"},
        {"a.dt", "s db \"a//b\" ; \"c\n", "s db \"a//b\"\n"},
        {"a.asm", "; only /* not\nnop ; a */\n", "\nnop\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.out, stripped(c.name, c.in)) << c.name << ": " << c.in;
    }
}

TEST(SyntaxRulesTest, WhereTheLexerIsNotSureTheTextStaysAndAWarningSaysWhere) {
    const struct {
        const char* name;
        const char* in;
        const char* out;
        WarningKind kind;
        std::size_t line, column;
    } cases[] = {
        {"a.c", "a;\nc = 'x // y\nb; // z\n", "a;\nc = 'x // y\nb;\n", WarningKind::UnterminatedLiteral, 2,
         5},
        {"a.cpp", "a; // x\ns = \"abc // d\n", "a;\ns = \"abc // d\n", WarningKind::UnterminatedLiteral, 2,
         5},
        {"a.c", "a; // x\nb; /* open // y\nc; // z\n", "a;\nb; /* open // y\nc; // z\n",
         WarningKind::UnclosedBlock, 2, 4},
        {"a.cpp", "r = R\"a b(x)a b\"; // c\nd; // e\n", "r = R\"a b(x)a b\"; // c\nd;\n",
         WarningKind::RawDelimiter, 1, 5},
        {"a.cpp", "r = R\"x(never closed // c\n", "r = R\"x(never closed // c\n",
         WarningKind::UnterminatedLiteral, 1, 5},
        {"a.asm", "db 'open ; x\nnop ; y\n", "db 'open ; x\nnop\n", WarningKind::UnterminatedLiteral, 1, 4},
    };
    for (const auto& c : cases) {
        const std::string in = c.in;
        for (const bool crlf : {false, true}) {
            std::string bytes = in;
            if (crlf) bytes = std::regex_replace(in, std::regex("\n"), "\r\n");
            std::string out = c.out;
            if (crlf) out = std::regex_replace(out, std::regex("\n"), "\r\n");
            const SourceConversion conversion = syntaxOf(testing::T(c.name), bytes);
            EXPECT_EQ(out,
                      conversion.outcome == SourceConversion::Outcome::Changed ? conversion.bytes : bytes)
                << c.in;
            const std::vector<Warning> w = findWarnings(conversion, bytes, *conversion.language, utf8());
            ASSERT_EQ(1u, w.size()) << c.in;
            EXPECT_EQ(c.kind, w[0].kind) << c.in;
            EXPECT_EQ(c.line, w[0].line) << c.in;
            EXPECT_EQ(c.column, w[0].column) << c.in;
        }
    }
}

TEST(SyntaxRulesTest, TheCommentsAskedForStay) {
    KeptComments license;
    license.license = true;
    KeptComments pattern;
    pattern.pattern = keepPattern(u"NOLINT|fallthrough");
    const struct {
        const KeptComments& keep;
        const char* name;
        const char* in;
        const char* out;
    } cases[] = {
        // The first comment, with the comments right below it, when it holds a notice.
        {license, "a.c", "// SPDX-License-Identifier: MIT\n// Copyright A\n\n// b\nx; // Copyright C\n",
         "// SPDX-License-Identifier: MIT\n// Copyright A\n\n\nx;\n"},
        {license, "a.cpp", "  /* LICENCE: see\n   COPYING */ int x; // c\n",
         "  /* LICENCE: see\n   COPYING */ int x;\n"},
        {license, "a.c", "// header\n/* Copyright A */\nx;\n", "\n\nx;\n"},
        {license, "a.asm", "; Copyright A\nnop ; b\n", "; Copyright A\nnop\n"},
        {license, "a.c", "/* Copyright A */ #include <a//b.h> // c\n",
         "/* Copyright A */ #include <a//b.h>\n"},
        // Every comment the expression matches, anywhere.
        {pattern, "a.c", "x; // NOLINT\ncase 1: /* fallthrough */\ny; // z\n",
         "x; // NOLINT\ncase 1: /* fallthrough */\ny;\n"},
    };
    for (const auto& c : cases) {
        StrOPT opt;
        const SourceConversion conversion =
            convertBytes(opt, testing::T(c.name), c.in, utf8(), {.rules = RuleSet::Syntax, .keep = c.keep});
        EXPECT_EQ(c.out, conversion.outcome == SourceConversion::Outcome::Changed ? conversion.bytes : c.in)
            << c.in;
        // The same with a character beyond ASCII, on code units.
        const std::string wide = std::string(c.in) + "\"\xC3\xA9\"\n";
        const SourceConversion onUnits =
            convertBytes(opt, testing::T(c.name), wide, utf8(), {.rules = RuleSet::Syntax, .keep = c.keep});
        EXPECT_EQ(std::string(c.out) + "\"\xC3\xA9\"\n", onUnits.bytes) << c.in;
    }
}

// Tricky code in pieces: every piece valid, so that a real lexer takes the whole without doubt.
std::string randomSource(std::mt19937& rng, bool cpp, const char* lineEnd) {
    static const char* const common[] = {
        "int a",
        " ",
        "  ",
        "\t",
        "//c",
        "// c */ d",
        "/*c*/",
        "/* x\n y */",
        "/**/",
        "\"s//t\"",
        "\"a/*b\"",
        "'x'",
        "'\\''",
        "\"\\\\\"",
        "\"q\\\"//\"",
        "u8\"x\"",
        "L'a'",
        "x",
        ";",
        "+",
        "/",
        "*",
        "a/b",
        "\\\n",
        "\n",
        "\n",
        "\n",
        "#include <a//b.h>\n",
        "#define M /* m */ 1\n",
        "1",
        "0x1F",
        "\"\\\n//\"",
        "/\\\n/ spliced\n",
        "/\\\n* spliced *\\\n/",
    };
    static const char* const cppOnly[] = {"R\"d(//)d\"", "uR\"(/*\n*/)\"", "1'000", "0x7F'FF", "u8'a'"};
    std::string s;
    const int pieces = 1 + static_cast<int>(rng() % 40);
    for (int k = 0; k < pieces; ++k) {
        const bool special = cpp && rng() % 6 == 0;
        std::string piece = special ? cppOnly[rng() % std::size(cppOnly)] : common[rng() % std::size(common)];
        s += std::regex_replace(piece, std::regex("\n"), lineEnd);
        // A token after an identifier or a number would join it: keep them apart.
        s += ' ';
    }
    return s + lineEnd;
}

// Every road of a syntax conversion gives the same new file: on the bytes, on code units (a
// character beyond ASCII sends a file there), and from the trace.
TEST(SyntaxRulesTest, EveryRoadOfTheConversionGivesTheSameFile) {
    std::mt19937 rng(5);
    for (int i = 0; i < 3000; ++i) {
        const bool cpp = i % 2 == 0;
        const char* lineEnd = i % 3 == 0 ? "\r\n" : "\n";
        const std::string ascii = randomSource(rng, cpp, lineEnd);
        const std::u16string name = cpp ? u"x.cpp" : u"x.h";
        const SourceConversion onBytes = syntaxOf(name, ascii);
        const SourceConversion traced = syntaxOf(name, ascii, true);
        ASSERT_EQ(onBytes.bytes, traced.bytes) << ascii;
        ASSERT_EQ(onBytes.outcome, traced.outcome) << ascii;
        ASSERT_EQ(onBytes.doubts.size(), traced.doubts.size()) << ascii;
        // The same with a character beyond ASCII after it: the result gains it alike.
        const std::string tail = std::string("\"\xC3\xA9\";") + lineEnd;
        const std::string wide = ascii + tail;
        const SourceConversion onUnits = syntaxOf(name, wide);
        const std::string expected = (onBytes.bytes.empty() ? ascii : onBytes.bytes) + tail;
        ASSERT_EQ(expected, onUnits.outcome == SourceConversion::Outcome::Changed ? onUnits.bytes : wide)
            << ascii;
    }
}

// Raw tokens by clang's lexer: kind, spelling and line, comments and whitespace left out.
std::vector<std::string> clangTokens(const fs::path& file, bool cpp) {
    const fs::path out = file.string() + ".tokens";
    const std::string command = std::string("clang -cc1 -dump-raw-tokens ") +
                                (cpp ? "-x c++ -std=c++20 " : "-x c ") + "'" + file.string() + "' 2> '" +
                                out.string() + "'";
    EXPECT_EQ(0, std::system(command.c_str())) << command;
    std::ifstream in(out, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    // Records "KIND 'SPELLING'\t FLAGS\tLoc=<FILE:LINE:COLUMN>\n"; a spelling may hold line ends.
    std::vector<std::string> tokens;
    static const std::regex loc("\tLoc=<[^>\n]*:([0-9]+):[0-9]+>\n");
    std::size_t start = 0;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), loc); it != std::sregex_iterator(); ++it) {
        const std::string record = text.substr(start, static_cast<std::size_t>(it->position()) - start);
        start = static_cast<std::size_t>(it->position() + it->length());
        const std::size_t quote = record.find('\'');
        const std::size_t close = record.find("'\t", quote + 1);
        if (quote == std::string::npos || close == std::string::npos) continue;
        const std::string kind = record.substr(0, quote - 1);
        const std::string spelling = record.substr(quote + 1, close - quote - 1);
        if (kind == "comment") continue;
        if (kind == "unknown" && spelling.find_first_not_of(" \t\r\n\f\v") == std::string::npos) continue;
        tokens.push_back(kind + " " + spelling + " @" + std::string((*it)[1]));
    }
    return tokens;
}

TEST(SyntaxRulesTest, ClangsLexerFindsTheSameTokensOnTheSameLinesAfterwards) {
    if (std::system("clang --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "clang is not installed: the rules were not judged by a real lexer";
    }
    const fs::path dir = fs::temp_directory_path() / ("tavirel-syntax-clang-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::mt19937 rng(11);
    for (const bool cpp : {true, false}) {
        for (const char* lineEnd : {"\n", "\r\n"}) {
            // Many cases in one file, each closed off by a line of its own.
            std::string source;
            for (int i = 0; i < 300; ++i) source += randomSource(rng, cpp, lineEnd) + ";" + lineEnd;
            const fs::path before = dir / (cpp ? "before.cpp" : "before.c");
            const fs::path after = dir / (cpp ? "after.cpp" : "after.c");
            testing::writeBytes(before, source);
            testing::writeBytes(after, stripped(cpp ? "x.cpp" : "x.c", source));
            const std::vector<std::string> expected = clangTokens(before, cpp);
            ASSERT_GT(expected.size(), 1000u);
            const std::vector<std::string> got = clangTokens(after, cpp);
            for (std::size_t k = 0; k < std::min(expected.size(), got.size()); ++k)
                ASSERT_EQ(expected[k], got[k]) << k;
            ASSERT_EQ(expected.size(), got.size());
        }
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tavirel
