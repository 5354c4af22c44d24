// SPDX-License-Identifier: MIT
// The command line in process: arguments, modes and reports, on a tree whose path holds what a
// shell would split or quote. What needs a process of its own (signals, closed streams, limits)
// is tested end to end beside this.
#include "batch_cli.h"

#include <gtest/gtest.h>

#include "code_page.h"
#include "test_support.h"

namespace tavirel {
namespace {

using testing::readBytes;
using testing::U8;
using testing::writeBytes;

struct Captured : CommandOutput {
    void writeText(std::u16string_view t) override { text += U8(std::u16string(t)); }
    void writeBytes(std::string_view b) override { text += b; }
    void flush() override {}
    bool failed() const override { return false; }
    std::string errorText() const override { return {}; }
    std::string text;
};

struct Outcome {
    int status;
    std::string out, err;
};

class BatchCommandTest : public testing::TempDirTest {
protected:
    Outcome run(std::vector<std::u16string> args) {
        Captured out, err;
        const int status = runBatchCommand(args, out, err, "9.9");
        return {status, out.text, err.text};
    }
    // A folder a shell would take apart: a space, a quote, a dollar sign.
    std::u16string tree() const { return testing::textOf(path("my tree's $HOME")); }
    std::string treeName() const { return U8(tree()); }
};

TEST_F(BatchCommandTest, ArgumentsAreCheckedBeforeAnythingIsRead) {
    const std::vector<std::pair<std::vector<std::u16string>, std::string>> refused = {
        {{}, "no folder given"},
        {{u"a", u"b"}, "more than one folder given"},
        {{u"--bogus", u"x"}, "unknown option --bogus"},
        {{u"--only", u"txt", u"x"}, "unknown extension 'txt'"},
        {{u"--only"}, "--only needs a list of extensions"},
        {{u"-n", u"--diff", u"x"}, "--diff cannot go with another of -n, --diff, --check, --list"},
        {{u"-0", u"x"}, "-0 goes with --list or --check"},
        {{u"--strict", u"-w", u"x"}, "--strict needs the warnings: it cannot go with -w"},
        {{u"-j", u"0", u"x"}, "bad number of threads '0'"},
        {{u"-j1000", u"x"}, "bad number of threads '1000'"},
        {{u"--jobs=257", u"x"}, "bad number of threads '257'"},
        {{u"-j"}, "-j needs a number of threads"},
        {{u"--keep-license", u"x"}, "--keep-license goes with --syntax"},
        {{u"--syntax", u"--keep", u"a(", u"x"}, "bad regular expression 'a('"},
    };
    for (const auto& [args, why] : refused) {
        const Outcome r = run(args);
        EXPECT_EQ(2, r.status) << why;
        EXPECT_EQ(0u, r.err.find("tavirel-batch: " + why + "\n\nusage: tavirel-batch")) << r.err;
        EXPECT_EQ("", r.out);
    }
    EXPECT_EQ("tavirel-batch 9.9\n", run({u"--version"}).out);
    EXPECT_EQ(0u, run({u"-h"}).out.find("usage: tavirel-batch [OPTION]... FOLDER\n"));
    // After "--" a name that looks like an option is a folder.
    const Outcome dashed = run({u"--", u"-n"});
    EXPECT_EQ(2, dashed.status);
    EXPECT_EQ("tavirel-batch: -n: No such file or directory\n", dashed.err);
}

TEST_F(BatchCommandTest, EachModeReportsOnItsStreamsAndOnlyTheDefaultWrites) {
    std::filesystem::create_directories(path("my tree's $HOME/sub"));
    writeBytes(path("my tree's $HOME/a.c"), "int a; // x\n");
    writeBytes(path("my tree's $HOME/sub/b.ASM"), "nop\n");
    writeBytes(path("my tree's $HOME/c.h"), "s = \"http://x\";\n");
    const std::string sep(1, static_cast<char>(std::filesystem::path::preferred_separator));
    const std::string a = treeName() + sep + "a.c", b = treeName() + sep + "sub" + sep + "b.ASM",
                      c = treeName() + sep + "c.h";

    const Outcome listed = run({u"--list", u"-j", u"256", u"--only=C,asm", tree()});  // threads: up to 256
    EXPECT_EQ("共选中:2个文件\n" + a + "\n" + b + "\n", listed.out);
    EXPECT_EQ(0, listed.status);

    const Outcome checked = run({u"--check", u"-0w", tree()});
    EXPECT_EQ(1, checked.status);
    EXPECT_EQ(a + '\0' + c + '\0', checked.out);

    const Outcome diff = run({u"--diff", u"-q", tree()});
    EXPECT_EQ(0, diff.status);
    EXPECT_EQ(0u, diff.out.find("--- a/a.c\n+++ b/a.c\n@@ -1 +1 @@\n-int a; // x\n+int a; \n")) << diff.out;
    EXPECT_EQ(0u, diff.err.find(c + ":1:11: warning: ")) << diff.err;

    const Outcome dry = run({u"-n", tree()});
    EXPECT_EQ(0, dry.status);
    EXPECT_NE(std::string::npos,
              dry.err.find(
                  "tavirel-batch: 2 to convert, 1 unchanged, 0 passed over; 1 warning; nothing written\n"));
    EXPECT_EQ("int a; // x\n", readBytes(path("my tree's $HOME/a.c")));

    const Outcome strict = run({u"--strict", u"-q", tree()});
    EXPECT_EQ(0, strict.status);
    EXPECT_EQ("int a; \n", readBytes(path("my tree's $HOME/a.c")));
    EXPECT_EQ("s = \"http://x\";\n", readBytes(path("my tree's $HOME/c.h")));  // warned: left alone
}

TEST_F(BatchCommandTest, TheSyntaxRulesKeepLiteralsAndTakeAFileOfAnySize) {
    std::filesystem::create_directories(path("my tree's $HOME"));
    writeBytes(path("my tree's $HOME/c.h"), "s = \"http://x\"; // y\n");
    const std::string big = std::string(70000, ' ') + "x; // y\n";
    writeBytes(path("my tree's $HOME/big.c"), big);
    const Outcome diff = run({u"--syntax", u"--diff", u"-q", tree()});
    EXPECT_NE(std::string::npos, diff.out.find("-s = \"http://x\"; // y\n+s = \"http://x\";\n")) << diff.out;
    EXPECT_EQ("", diff.err);
    const Outcome converted = run({u"--syntax", tree()});
    EXPECT_EQ(0, converted.status);
    EXPECT_NE(std::string::npos, converted.err.find("2 converted, 0 unchanged, 0 passed over"))
        << converted.err;
    EXPECT_EQ(std::string(70000, ' ') + "x;\n", readBytes(path("my tree's $HOME/big.c")));
}

}  // namespace
}  // namespace tavirel
