// SPDX-License-Identifier: MIT
// tavirel-batch end to end, on real trees: exit codes, output lines, every file's final bytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <thread>
#include <tuple>

#include "test_support.h"

namespace tavirel {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::writeBytes;

struct Result {
    int status;
    std::string out, err;
    bool operator==(const Result&) const = default;
};

class BatchCliTest : public testing::TempDirTest {
protected:
    // Runs the program through the shell; `tail` follows its output, as a pipeline would, and
    // `before` comes first (a ulimit, say).
    Result run(const std::string& args, const std::string& tail = "", const std::string& before = "") {
        const std::string out = path("stdout").string(), err = path("stderr").string();
        const std::string command = "bash -c '" + before + "LC_ALL=C " TAVIREL_BATCH " " + args + tail +
                                    " >" + out + " 2>" + err + "; exit ${PIPESTATUS[0]}'";
        const int raw = std::system(command.c_str());
        Result r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readBytes(out), readBytes(err)};
        fs::remove(out);
        fs::remove(err);
        return r;
    }
    std::string tree() const { return path("tree").string(); }
    // The program on the tree with one option, its output thrown away, left running: its pid.
    pid_t startQuietly(const char* option) const {
        const std::string where = tree();
        const pid_t child = ::fork();
        if (child == 0) {
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
            ::execl(TAVIREL_BATCH, TAVIREL_BATCH, option, where.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        return child;
    }
};

TEST_F(BatchCliTest, ConvertsTheTreeAndPrintsEveryStatusLine) {
    fs::create_directories(path("tree/sub"));
    writeBytes(path("tree/a.c"), "int a; // x\r\n/* b */int b;\r\n");
    writeBytes(path("tree/sub/B.INC"), "db 1 ; one\r\n");
    writeBytes(path("tree/notes.txt"), "// stays\r\n");
    const Result r = run(tree());
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("共选中:2个文件\n正在删除注释：" + tree() + "/a.c\n正在删除注释：" + tree() +
                  "/sub/B.INC\n转换完毕！\n",
              r.out);
    EXPECT_EQ("tavirel-batch: 2 converted, 0 unchanged, 0 passed over\n", r.err);
    EXPECT_EQ("int a; \r\nint b;\r\n", readBytes(path("tree/a.c")));
    EXPECT_EQ("db 1 \r\n", readBytes(path("tree/sub/B.INC")));
    EXPECT_EQ("// stays\r\n", readBytes(path("tree/notes.txt")));
}

TEST_F(BatchCliTest, ListAndOnlyChooseWhatIsShownAndConvertNothing) {
    fs::create_directories(path("tree"));
    for (const char* f : {"b.h", "A.c", "c.asm"}) writeBytes(path("tree") / f, "x // y\r\n");
    const Result r = run("--only H,c --list " + tree());
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("共选中:2个文件\n" + tree() + "/A.c\n" + tree() + "/b.h\n", r.out);
    EXPECT_EQ("x // y\r\n", readBytes(path("tree/A.c")));
}

TEST_F(BatchCliTest, FailureAndUsageErrorsHaveTheirOwnExitCodes) {
    fs::create_directories(path("tree"));
    writeBytes(path("tree/ro.c"), "keep // me\r\n");
    ::chmod(path("tree/ro.c").c_str(), 0444);
    const Result failed = run(tree());
    EXPECT_EQ(1, failed.status);
    EXPECT_EQ("转换出错，转换过程中请不要操作文件！\n" + tree() + "/ro.c: read-only file\n" +
                  "tavirel-batch: 0 converted, 0 unchanged, 0 passed over\n",
              failed.err);
    EXPECT_EQ("keep // me\r\n", readBytes(path("tree/ro.c")));

    for (const char* args :
         {"", "--bogus x", "--only txt x", "--only", "- x", "-n --diff x", "-0 x", "--strict -w x"}) {
        const Result r = run(args);
        EXPECT_EQ(2, r.status) << args;
        EXPECT_NE(std::string::npos, r.err.find("\nTry 'tavirel-batch --help'.\n")) << args;
    }
    const Result help = run("--help");
    EXPECT_EQ(0, help.status);
    EXPECT_EQ(0u, help.out.find("usage: tavirel-batch"));
    EXPECT_EQ(0, run("--version").status);
}

TEST_F(BatchCliTest, KillOrInterruptAtAnyMomentLeavesEveryFileOldOrConverted) {
    const std::string before = "int a; // note\r\n/* block\r\n */ int b;\r\n";
    const std::string after = "int a; \r\n int b;\r\n";
    std::mt19937 rng(11);
    const int signals[] = {SIGKILL, SIGTERM, SIGKILL, SIGINT,  SIGKILL,
                           SIGHUP,  SIGKILL, SIGTERM, SIGKILL, SIGINT};
    int round = 0;
    for (const int signal : signals) {
        // One thread, then workers: -j1 and -j3 in turn.
        const char* const jobs = round++ % 2 ? "-j3" : "-j1";
        fs::remove_all(path("tree"));
        for (int i = 0; i < 1000; ++i) {
            const fs::path folder = path("tree") / std::to_string(i % 10);
            fs::create_directories(folder);
            writeBytes(folder / (std::to_string(i) + ".c"), before + std::string(i % 50, ' ') + "\r\n");
        }
        const pid_t child = startQuietly(jobs);
        ASSERT_NE(-1, child);
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 150000));
        ::kill(child, signal);
        int status = 0;
        ::waitpid(child, &status, 0);

        int converted = 0;
        for (const auto& entry : fs::recursive_directory_iterator(path("tree"))) {
            if (!entry.is_regular_file()) continue;
            const std::string name = entry.path().filename().string();
            // Only a SIGKILL in the instant between naming the new content and renaming it may
            // leave that dot-named file; the search never lists it.
            if (signal == SIGKILL && name.rfind(".tavirel-", 0) == 0 && entry.path().extension() == ".tmp")
                continue;
            ASSERT_EQ(".c", entry.path().extension()) << entry.path();
            const std::string pad(std::stoi(name) % 50, ' ');
            const std::string bytes = readBytes(entry.path());
            if (bytes == after + pad + "\r\n") {
                ++converted;
            } else {
                ASSERT_EQ(before + pad + "\r\n", bytes) << entry.path();
            }
        }
        if (signal != SIGKILL) {
            // Caught: the run ends at its next yield and the program with 128 + the signal. Only
            // a signal that comes before the program is under way may end it the default way.
            if (WIFEXITED(status)) {
                EXPECT_TRUE(WEXITSTATUS(status) == 128 + signal || WEXITSTATUS(status) == 0)
                    << WEXITSTATUS(status);
            } else {
                EXPECT_EQ(0, converted) << "killed by signal " << WTERMSIG(status) << " during the run";
            }
        }
        RecordProperty("converted_after_signal_" + std::to_string(signal), converted);

        // The journal of the run, however it ended, puts back exactly the files it replaced;
        // an undo killed part-way is run again to finish.
        const pid_t undoing = startQuietly("--undo");
        ASSERT_NE(-1, undoing);
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 60000));
        ::kill(undoing, SIGKILL);
        ::waitpid(undoing, nullptr, 0);
        const Result undo = run("-q --undo " + tree());
        // Nothing to undo when the run replaced nothing, or the first undo finished.
        EXPECT_TRUE(undo.status == 0 || undo.err == "tavirel-batch: nothing to undo for " + tree() + "\n")
            << undo.err;
        for (const auto& entry : fs::recursive_directory_iterator(path("tree"))) {
            const std::string name = entry.path().filename().string();
            if (!entry.is_regular_file() || entry.path().extension() != ".c") continue;
            ASSERT_EQ(before + std::string(std::stoi(name) % 50, ' ') + "\r\n", readBytes(entry.path()))
                << entry.path() << " after signal " << signal;
        }
    }
}

// The last run over a folder can be undone: every file it replaced comes back as it was, but one
// changed since, which is named and kept; only the last run is kept, and runs that write nothing
// keep nothing.
TEST_F(BatchCliTest, UndoPutsBackWhatTheLastRunReplacedAndNamesWhatChangedSince) {
    fs::create_directories(path("tree/sub"));
    // A name with a backslash, a line feed and a byte that does not decode.
    const std::string odd = "odd\\name\n\xff.c";
    const std::map<std::string, std::string> files = {{"a.c", "int a; // x\r\n"},
                                                      {"sub/b.asm", "mov a ; x\n"},
                                                      {"sub/" + odd, "/* c */ int c;\n"},
                                                      {"same.h", "int d;\n"}};
    for (const auto& [name, bytes] : files) writeBytes(path("tree/" + name), bytes);
    ASSERT_EQ(0, ::chmod(path("tree/a.c").c_str(), 0640));
    const struct timespec old[2] = {{1000000000, 5}, {1000000000, 5}};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, path("tree/a.c").c_str(), old, 0));
    auto stateOf = [this](const std::string& name) {
        struct stat st {};
        ::lstat(path("tree/" + name).c_str(), &st);
        return std::make_tuple(readBytes(path("tree/" + name)), st.st_mode, st.st_mtim.tv_sec,
                               st.st_mtim.tv_nsec);
    };
    const auto a = stateOf("a.c");

    for (const char* noJournal : {"-n ", "--diff ", "--check ", "--no-undo "}) run(noJournal + tree());
    EXPECT_EQ((Result{1, "", "tavirel-batch: nothing to undo for " + tree() + "\n"}),
              run("--undo " + tree()));
    // --no-undo did convert.
    for (const auto& [name, bytes] : files) writeBytes(path("tree/" + name), bytes);
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, path("tree/a.c").c_str(), old, 0));

    ASSERT_EQ(0, run("-q " + tree()).status);
    EXPECT_EQ("int a; \r\n", readBytes(path("tree/a.c")));
    writeBytes(path("tree/sub/b.asm"), "edited\n");

    const Result plan = run("--undo -n " + tree());
    EXPECT_EQ(1, plan.status);
    EXPECT_NE(std::string::npos, plan.out.find("would restore: " + tree() + "/a.c\n")) << plan.out;
    EXPECT_NE(std::string::npos, plan.err.find("2 to restore, 1 left as it is; nothing written")) << plan.err;
    EXPECT_EQ("int a; \r\n", readBytes(path("tree/a.c")));

    const Result undo = run("--undo " + tree());
    EXPECT_EQ(1, undo.status);
    EXPECT_NE(std::string::npos, undo.err.find("left as it is: " + tree() +
                                               "/sub/b.asm: changed since the run; its original is kept as "))
        << undo.err;
    EXPECT_NE(std::string::npos, undo.err.find("2 restored, 1 left as it is")) << undo.err;
    EXPECT_EQ(a, stateOf("a.c"));
    EXPECT_EQ(files.at("sub/" + odd), readBytes(path("tree/sub/" + odd)));
    EXPECT_EQ("edited\n", readBytes(path("tree/sub/b.asm")));

    // A new run over a folder inside forgets that journal: its undo gives back the edited file.
    ASSERT_EQ(0, run("-q " + path("tree/sub").string()).status);
    EXPECT_EQ("edited\n", readBytes(path("tree/sub/b.asm")));
    const Result again = run("-q --undo " + tree());
    EXPECT_EQ(0, again.status) << again.err;
    EXPECT_EQ("edited\n", readBytes(path("tree/sub/b.asm")));
    EXPECT_EQ(1, run("--undo " + tree()).status);  // a complete undo leaves no journal
}

// A run killed in the instant before a new file takes its place leaves it under the kept name,
// the original still in place: the undo knows it by its hash and size and only lets it go. A
// new file made in the journal ahead of its turn may be left there part-written: the undo knows
// it by the identity of the original in its name.
TEST_F(BatchCliTest, UndoAfterAKillBeforeTheExchangeLeavesTheOriginal) {
    fs::create_directories(path("tree"));
    writeBytes(path("tree/a.c"), "int a; // x\n");
    writeBytes(path("tree/b.c"), "int b; // y\n");
    writeBytes(path("tree/c.c"), "int c; // z\n");
    // One at a time: the journal is there for the second file, which is made in it.
    ASSERT_EQ(0, run("-q -j1 " + tree()).status);
    std::map<std::string, fs::path> kept;  // by number
    for (const auto& entry : fs::recursive_directory_iterator(state_)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name != "manifest")
            kept[name.substr(0, name.find('-'))] = entry.path();
    }
    ASSERT_EQ(3u, kept.size());
    const auto dashes = [](const fs::path& file) {
        const std::string name = file.filename().string();
        return std::count(name.begin(), name.end(), '-');
    };
    EXPECT_EQ(2, dashes(kept["0"]));  // named when the journal was made
    EXPECT_EQ(3, dashes(kept["1"]));
    // The states such kills leave: the exchange undone, and the file made ahead cut short.
    ASSERT_EQ(0,
              ::renameat2(AT_FDCWD, kept["0"].c_str(), AT_FDCWD, path("tree/a.c").c_str(), RENAME_EXCHANGE));
    ASSERT_EQ(0,
              ::renameat2(AT_FDCWD, kept["1"].c_str(), AT_FDCWD, path("tree/b.c").c_str(), RENAME_EXCHANGE));
    fs::resize_file(kept["1"], 3);
    const Result undo = run("--undo " + tree());
    EXPECT_EQ(0, undo.status) << undo.err;
    EXPECT_EQ("int a; // x\n", readBytes(path("tree/a.c")));
    EXPECT_EQ("int b; // y\n", readBytes(path("tree/b.c")));
    EXPECT_EQ("int c; // z\n", readBytes(path("tree/c.c")));
    EXPECT_FALSE(fs::exists(kept["0"]));
    EXPECT_FALSE(fs::exists(kept["1"]));
    EXPECT_EQ(1, run("--undo " + tree()).status);  // nothing left to undo
}

// On another file system than the journal (tmpfs here) the originals are copied, up to the
// limit; past it a file is converted all the same, said once, and its undo says it cannot.
TEST_F(BatchCliTest, OriginalsOfAnotherFileSystemAreCopiedUpToTheLimit) {
    struct stat shm {
    }, state{};
    const fs::path other = fs::path("/dev/shm") / (dir_.filename().string() + ".tree");
    if (::stat("/dev/shm", &shm) != 0 || ::stat(dir_.c_str(), &state) != 0 || shm.st_dev == state.st_dev ||
        !fs::create_directory(other))
        GTEST_SKIP() << "no second file system here";
    writeBytes(other / "a.c", "a; // 1\n");                             // 8 bytes: copied
    writeBytes(other / "b.c", "b; // " + std::string(20, '2') + "\n");  // past the limit
    const Result r = run("-q --undo-limit 10 " + other.string());
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("1 of the files replaced are on another file system")) << r.err;
    EXPECT_EQ("b; \n", readBytes(other / "b.c"));
    const Result undo = run("--undo " + other.string());
    EXPECT_EQ(1, undo.status);
    EXPECT_NE(std::string::npos, undo.err.find(other.string() + "/b.c: its original was not kept"))
        << undo.err;
    EXPECT_EQ("a; // 1\n", readBytes(other / "a.c"));
    EXPECT_EQ("b; \n", readBytes(other / "b.c"));
    fs::remove_all(other);
    EXPECT_EQ(2, run("--undo-limit 1X " + tree()).status);
}

// --- A Unix tool ------------------------------------------------------------------------------

TEST_F(BatchCliTest, AResultOverTheFileSizeLimitFailsTheRunWithItsName) {
    fs::create_directories(path("tree"));
    writeBytes(path("tree/a.c"), "a; // x\n");
    writeBytes(path("tree/big.c"), std::string(5000, 'x') + "; // y\n");
    writeBytes(path("tree/c.c"), "c; // x\n");
    const Result r = run("-j1 " + tree(), "", "ulimit -f 2; ");
    EXPECT_EQ(1, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.err.find(tree() + "/big.c: File too large\n")) << r.err;
    EXPECT_EQ("a; \n", readBytes(path("tree/a.c")));
    EXPECT_EQ(std::string(5000, 'x') + "; // y\n", readBytes(path("tree/big.c")));
    EXPECT_EQ("c; // x\n", readBytes(path("tree/c.c")));
}

TEST_F(BatchCliTest, APathThatCannotBeTakenIsRefusedWithOneLineBeforeAnythingIsConverted) {
    writeBytes(path("file.c"), "x; // y\n");
    writeBytes(path("notes.txt"), "x; // y\n");
    fs::create_directories(path("tree"));
    fs::create_directory_symlink(path("tree"), path("link"));
    fs::create_symlink(path("file.c"), path("linked.c"));
    ::mkfifo(path("pipe.c").c_str(), 0600);
    const struct {
        std::string folder, reason;
    } cases[] = {
        {path("no/such").string(), "No such file or directory"},
        {path("notes.txt").string(), "not a c, cpp, h, asm, dt or inc file"},
        {path("linked.c").string(), "symbolic link"},
        {path("pipe.c").string(), "not a regular file"},
        {"", "empty path"},
    };
    for (const auto& c : cases) {
        const Result r = run(path("file.c").string() + " \"" + c.folder + "\"");
        EXPECT_EQ(2, r.status) << c.folder;
        EXPECT_EQ("", r.out);
        EXPECT_EQ("tavirel-batch: " + c.folder + ": " + c.reason + "\n", r.err);
    }
    EXPECT_EQ("x; // y\n", readBytes(path("file.c")));  // refused before anything was converted
    EXPECT_EQ(0, run(path("link").string()).status);    // a link to a folder is fine
    if (::geteuid() == 0) {
        // Root reads every folder: try the unreadable one as nobody.
        ::chmod(dir_.c_str(), 0755);
        ::chmod(path("tree").c_str(), 0);
        const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups " TAVIREL_BATCH " " +
                                    tree() + " >/dev/null 2>" + path("err").string();
        EXPECT_EQ(2, WEXITSTATUS(std::system(command.c_str())));
        EXPECT_EQ("tavirel-batch: " + tree() + ": Permission denied\n", readBytes(path("err")));
    }
}

TEST_F(BatchCliTest, AClosedOutputNeverStopsTheRun) {
    fs::create_directories(path("tree"));
    // More status lines than a pipe holds, so that the reader is gone before the last of them.
    const int files = 2000;
    const std::string err = path("err").string();
    for (const std::string& command : {"bash -c '" TAVIREL_BATCH " " + tree() + " 2>" + err +
                                           " | head -2 >/dev/null; exit ${PIPESTATUS[0]}'",
                                       std::string(TAVIREL_BATCH " ") + tree() + " >&- 2>" + err}) {
        for (int i = 0; i < files; ++i) writeBytes(path("tree") / (std::to_string(i) + ".c"), "x; // y\n");
        const int raw = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(raw)) << command;
        EXPECT_EQ(3, WEXITSTATUS(raw)) << command;
        EXPECT_NE(std::string::npos, readBytes(err).find("tavirel-batch: standard output: "))
            << readBytes(err);
        for (int i = 0; i < files; ++i)
            ASSERT_EQ("x; \n", readBytes(path("tree") / (std::to_string(i) + ".c")));
    }
}

TEST_F(BatchCliTest, SummaryCountsEveryFateAndQuietLeavesOnlyWarnings) {
    fs::create_directories(path("tree"));
    writeBytes(path("tree/a.c"), "a; // x\n");
    writeBytes(path("tree/b.c"), "b;\n");
    writeBytes(path("tree/e.h"), "");
    writeBytes(path("tree/big.asm"), std::string(70000, ';'));
    writeBytes(path("tree/inc"), "x ; y\n");
    writeBytes(path("tree/url.c"), "s = \"http://x\";\n");
    const std::string summary =
        "tavirel-batch: 2 converted, 1 unchanged, 3 passed over (1 empty, 1 over 65536 characters, 1 "
        "language "
        "unknown); 1 warning";
    const std::string warning = tree() +
                                "/url.c:1:11: warning: \"//\" inside a string or character literal: the "
                                "rules cut the line here, and the rest of the literal and of the line go "
                                "with it [marker-in-string]\n";

    const Result dry = run("-n " + tree());
    EXPECT_EQ(0, dry.status);
    EXPECT_EQ(warning + "tavirel-batch: 2 to convert" + summary.substr(26) + "; nothing written\n", dry.err);
    EXPECT_EQ("a; // x\n", readBytes(path("tree/a.c")));

    const Result real = run(tree());
    EXPECT_EQ(0, real.status);
    EXPECT_EQ(dry.out, real.out);  // a dry run shows the same status lines
    EXPECT_EQ(warning + summary + "\n", real.err);
    EXPECT_EQ("a; \n", readBytes(path("tree/a.c")));

    writeBytes(path("tree/url.c"), "s = \"http://x\";\n");
    const Result quiet = run("-q " + tree());
    EXPECT_EQ("", quiet.out);
    EXPECT_EQ(warning, quiet.err);
    EXPECT_EQ("", run("-qw " + tree()).err);
}

TEST_F(BatchCliTest, DiffAppliedWithPatchGivesWhatARunWrites) {
    fs::create_directories(path("tree/sub"));
    writeBytes(path("tree/lf.c"), "int a; // x\n/* b\n c */int b;\nlast // no final LF");
    writeBytes(path("tree/crlf.h"),
               "1\r\n2\r\n3\r\n4\r\nx; // y\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n/* z */12\r\n");
    writeBytes(path("tree/sub/cr.asm"), "mov ; x\rnop\r");
    writeBytes(path("tree/sub/bad.inc"), "db \xff\xfe ; \xe4\xb8 cut\n");
    writeBytes(path("tree/clean.c"), "clean;\n");
    fs::copy(path("tree"), path("patched"), fs::copy_options::recursive);

    const Result diff = run("--diff " + tree());
    EXPECT_EQ(0, diff.status);
    EXPECT_EQ(0u, diff.out.find("--- a/crlf.h\n+++ b/crlf.h\n@@ -2,11 +2,11 @@\n 2\r\n"));
    EXPECT_EQ(std::string::npos, diff.out.find("clean.c"));
    writeBytes(path("d.patch"), diff.out);
    ASSERT_EQ(0, std::system(("cd " + path("patched").string() + " && patch -s -p1 < ../d.patch").c_str()));

    ASSERT_EQ(0, run(tree()).status);
    for (const auto& entry : fs::recursive_directory_iterator(path("tree"))) {
        if (!entry.is_regular_file()) continue;
        const fs::path twin = path("patched") / fs::relative(entry.path(), path("tree"));
        EXPECT_EQ(readBytes(entry.path()), readBytes(twin)) << twin;
    }
}

TEST_F(BatchCliTest, CheckAndNullListsFeedScripts) {
    fs::create_directories(path("tree"));
    writeBytes(path("tree/clean.c"), "x;\n");
    EXPECT_EQ(0, run("--check " + tree()).status);
    writeBytes(path("tree/two words.c"), "y; // z\n");
    writeBytes(path("tree/new\nline.h"), "/* z */\n");
    const Result check = run("--check -0 " + tree());
    EXPECT_EQ(1, check.status);
    EXPECT_EQ(tree() + "/new\nline.h" + '\0' + tree() + "/two words.c" + '\0', check.out);
    EXPECT_EQ("y; // z\n", readBytes(path("tree/two words.c")));  // nothing written

    const Result listed = run("--list -0 " + tree(), " | xargs -0 -n1 printf \"[%s]\"");
    EXPECT_EQ(0, listed.status);
    EXPECT_EQ("[" + tree() + "/clean.c][" + tree() + "/new\nline.h][" + tree() + "/two words.c]", listed.out);
}

TEST_F(BatchCliTest, StrictLeavesEveryWarnedFileUntouched) {
    fs::create_directories(path("tree"));
    const std::string warned = "/* see http://x */\nint a;\n/* end */\nb;\n";
    writeBytes(path("tree/warned.c"), warned);
    writeBytes(path("tree/plain.c"), "p; // q\n");
    const Result r = run("--strict " + tree());
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(warned, readBytes(path("tree/warned.c")));
    EXPECT_EQ("p; \n", readBytes(path("tree/plain.c")));
    EXPECT_NE(std::string::npos, r.err.find(tree() + "/warned.c:1:13: warning: ")) << r.err;
    EXPECT_NE(
        std::string::npos,
        r.err.find(
            "tavirel-batch: 1 converted, 0 unchanged, 1 passed over (1 refused by --strict); 1 warning\n"
            "tavirel-batch: passed over by --strict: " +
            tree() + "/warned.c\n"))
        << r.err;
}

}  // namespace
}  // namespace tavirel
