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
    bool operator==(const Outcome&) const = default;
};

struct Given : CommandInput {
    explicit Given(std::string b) : bytes(std::move(b)) {}
    bool readAll(std::string& into, std::string&) override {
        into = bytes;
        return true;
    }
    const CodePage& page() const override { return CodePage::system(); }
    std::string bytes;
};

class BatchCommandTest : public testing::TempDirTest {
protected:
    Outcome run(std::vector<std::u16string> args, CommandInput* in = nullptr) {
        Captured out, err;
        const int status = runBatchCommand(args, out, err, "9.9", in);
        return {status, out.text, err.text};
    }
    // A folder a shell would take apart: a space, a quote, a dollar sign.
    std::u16string tree() const { return testing::textOf(path("my tree's $HOME")); }
    std::string treeName() const { return U8(tree()); }
};

TEST_F(BatchCommandTest, ArgumentsAreCheckedBeforeAnythingIsRead) {
    const std::vector<std::pair<std::vector<std::u16string>, std::string>> refused = {
        {{}, "no path given"},
        {{u"-", u"a"}, "- is standard input: it goes alone"},
        {{u"-"}, "- needs --lang or --assume-filename: the text has no name to tell its language"},
        {{u"--lang", u"py", u"-"}, "unknown language key 'py'"},
        {{u"--assume-filename", u"a.txt", u"-"},
         "--assume-filename: 'a.txt' has none of the extensions c, cpp, h, asm, dt, inc"},
        {{u"--lang", u"c", u"x"}, "--lang goes with - alone"},
        {{u"--list", u"--lang", u"c", u"-"}, "- goes with neither -n, --list nor --undo"},
        {{u"--exclude"}, "--exclude needs a pattern"},
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
        EXPECT_EQ("tavirel-batch: " + why + "\nTry 'tavirel-batch --help'.\n", r.err);
        EXPECT_EQ("", r.out);
    }
    EXPECT_EQ("tavirel-batch 9.9\n", run({u"--version"}).out);
    EXPECT_EQ(0u, run({u"-h"}).out.find("usage: tavirel-batch [OPTION]... PATH...\n"));
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

// Files and folders in one run: one sorted list, each file once, what --exclude matches left out
// (a name anywhere, or a path from the folder's top); each root keeps its own journal.
TEST_F(BatchCommandTest, FilesAndFoldersMakeOneListWithoutWhatIsExcluded) {
    for (const char* name : {"src/a.c", "src/build/gen.c", "src/lib/build/deep.h", "src/third/t.asm",
                             "src/lib/third/kept.inc", "inc/b.h", "one.cpp"}) {
        std::filesystem::create_directories(path(name).parent_path());
        writeBytes(path(name), "x; // y\n");
    }
    const std::u16string src = textPath("src"), inc = textPath("inc");
    const std::u16string a = textPath("src/a.c"), one = textPath("one.cpp");
    const std::string sep(1, static_cast<char>(std::filesystem::path::preferred_separator));
    const Outcome listed = run({u"--list", u"-q", u"--exclude", u"build", u"--exclude=third/*", src, a,
                                inc + char16_t(sep.back()), one});
    EXPECT_EQ(0, listed.status) << listed.err;
    EXPECT_EQ(U8(inc) + sep + "b.h\n" + U8(one) + "\n" + U8(a) + "\n" + U8(src) + sep + "lib" + sep +
                  "third" + sep + "kept.inc\n",
              listed.out);

    ASSERT_EQ(0, run({u"-q", src, one}).status);
    EXPECT_EQ("x; \n", readBytes(path("one.cpp")));
    EXPECT_EQ("x; \n", readBytes(path("src/build/gen.c")));
    const Outcome undone = run({u"--undo", u"-q", testing::textOf(dir_)});
    EXPECT_EQ(0, undone.status) << undone.err;
    EXPECT_EQ("x; // y\n", readBytes(path("one.cpp")));
    EXPECT_EQ("x; // y\n", readBytes(path("src/build/gen.c")));
}

// "-" converts standard input to standard output, byte for byte what a run writes to a file of
// that name: line ends, bytes that do not decode, both rule sets, a text the classic rules pass
// over; the language from --lang or --assume-filename.
TEST_F(BatchCommandTest, TheFilterGivesWhatARunWritesToTheFile) {
    const std::string big = std::string(70000, 'x') + "; // y\n";
    const struct {
        std::vector<std::u16string> options;
        std::string name, text;
    } cases[] = {
        {{u"--lang", u"c"}, "a.c", "int a; // x\r\n/* b */ int b;\r\n"},
        {{u"--lang", u"ASM"}, "a.asm", "mov a ; x\nnop\n"},
        {{u"--assume-filename", u"dir/b.H"}, "b.H", "s = \"\xff\xfe//\"; /* x */\n"},
        {{u"--syntax", u"--keep", u"NOLINT", u"--lang", u"cpp"},
         "c.cpp",
         "R\"(// a)\"; // b\nx; // NOLINT\n"},
        {{u"--lang", u"c"}, "big.c", big},
        {{u"--lang", u"c"}, "same.c", "int a;\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Given in(c.text);
        std::vector<std::u16string> args = c.options;
        args.push_back(u"-");
        const Outcome filtered = run(args, &in);
        EXPECT_EQ(0, filtered.status) << filtered.err;
        writeBytes(path(c.name), c.text);
        std::vector<std::u16string> convert = c.options;
        if (convert.size() >= 2 &&
            (convert[convert.size() - 2] == u"--lang" || convert[convert.size() - 2] == u"--assume-filename"))
            convert.resize(convert.size() - 2);
        convert.insert(convert.end(), {u"-q", u"--no-undo", textPath(c.name)});
        ASSERT_EQ(0, run(convert).status);
        EXPECT_EQ(readBytes(path(c.name)), filtered.out);
    }
    Given changed("x; // y\n");
    EXPECT_EQ((Outcome{1, "<stdin>\n", ""}), run({u"--check", u"--lang", u"h", u"-"}, &changed));
    Given warned("s = \"a//b\";\n");
    const Outcome warning = run({u"--assume-filename", u"w.c", u"-"}, &warned);
    EXPECT_EQ("s = \"a\n", warning.out);
    EXPECT_EQ(0u, warning.err.find("w.c:1:7: warning: ")) << warning.err;
}

}  // namespace
}  // namespace tavirel
