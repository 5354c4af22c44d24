// SPDX-License-Identifier: MIT
// The batch on what only POSIX systems have: symbolic links, FIFOs, device nodes, signals.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <csignal>

#include "batch_fixture.h"
#include "event_yield.h"
#include "interrupt.h"
#include "text_file.h"

namespace tavirel {
namespace {

TEST_F(BatchTest, LinksAndSpecialFilesAreLeftAloneAndNothingOutsideIsWritten) {
    fs::create_directories(path("outside"));
    fs::create_directories(path("tree/sub"));
    writeBytes(path("outside/target.inc"), "db 1 ; keep\n");
    writeBytes(path("outside/x.c"), "x; // keep\n");
    writeBytes(path("tree/a.c"), "a; // go\n");
    writeBytes(path("tree/sub/b.asm"), "b ; go\n");
    fs::create_symlink("a.c", path("tree/inside.c"));
    fs::create_symlink(path("outside/target.inc"), path("tree/out.inc"));
    fs::create_directory_symlink(path("outside"), path("tree/folder"));
    fs::create_symlink("nowhere.h", path("tree/dangling.h"));
    ASSERT_EQ(0, ::mkfifo(path("tree/fifo.c").c_str(), 0666));
    const bool device =
        ::mknod(path("tree/null.h").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;  // root only
    batch.RefreshList(testing::textOf(path("tree")));
    EXPECT_EQ(2u, list.count());
    batch.ConvertSelected();
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ("a; \n", readBytes(path("tree/a.c")));
    EXPECT_EQ("b \n", readBytes(path("tree/sub/b.asm")));
    EXPECT_EQ("db 1 ; keep\n", readBytes(path("outside/target.inc")));
    EXPECT_EQ("x; // keep\n", readBytes(path("outside/x.c")));
    for (const char* link : {"tree/inside.c", "tree/out.inc", "tree/folder", "tree/dangling.h"}) {
        EXPECT_TRUE(fs::is_symlink(path(link))) << link;
    }
    EXPECT_TRUE(fs::is_fifo(path("tree/fifo.c")));
    if (device) {
        EXPECT_TRUE(fs::is_character_file(path("tree/null.h")));
    }
}

TEST_F(BatchTest, FileSwappedForALinkDuringTheRunFailsAndItsTargetIsUntouched) {
    writeBytes(path("outside.c"), "secret; // keep\n");
    fs::create_directories(path("tree"));
    for (const char* f : {"a.c", "b.c", "c.c"}) writeBytes(path("tree") / f, "x; // y\n");
    batch.RefreshList(testing::textOf(path("tree")));
    batch.setWorkers(0);  // b.c must be swapped before anything reads it
    bool swapped = false;
    ScopedYieldHook hook([&] {
        if (!swapped && status.texts.back() == "正在删除注释：" + name("tree/a.c")) {
            swapped = true;
            fs::remove(path("tree/b.c"));
            fs::create_symlink(path("outside.c"), path("tree/b.c"));
        }
    });
    batch.ConvertSelected();
    ASSERT_EQ(std::vector<std::string>{"转换出错，转换过程中请不要操作文件！"}, messages.texts);
    EXPECT_EQ(name("tree/b.c") + ": symbolic link", U8(batch.lastFailure()));
    EXPECT_EQ("x; \n", readBytes(path("tree/a.c")));
    EXPECT_TRUE(fs::is_symlink(path("tree/b.c")));
    EXPECT_EQ("secret; // keep\n", readBytes(path("outside.c")));
    EXPECT_EQ("x; // y\n", readBytes(path("tree/c.c")));
}

TEST_F(BatchTest, InterruptWhileANewFileIsNamedEndsTheRunWithNoTemporaryFileLeft) {
    for (const char* f : {"a.c", "b.c", "c.c"}) writeBytes(path(f), "x; // y\n");
    refresh();
    catchInterrupts();
    ScopedYieldHook hook([&] {
        if (caughtInterrupt()) batch.requestStop();
    });
    struct Signal : ReplaceSeam {
        void beforeReplace() override {
            if (!caughtInterrupt()) std::raise(SIGTERM);
        }
    } signal;
    batch.setReplaceSeam(&signal);
    batch.ConvertSelected();
    const int caught = caughtInterrupt();
    forgetInterrupt();
    for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);

    EXPECT_EQ(SIGTERM, caught);
    EXPECT_EQ("x; \n", readBytes(path("a.c")));  // the file in hand is whole
    EXPECT_EQ("x; // y\n", readBytes(path("b.c")));
    EXPECT_EQ("x; // y\n", readBytes(path("c.c")));
    EXPECT_EQ((std::vector<std::string>{"a.c", "b.c", "c.c"}), entries());
    EXPECT_TRUE(messages.texts.empty());
}

std::size_t openDescriptors() {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

TEST_F(BatchTest, ALargeTreeConvertsWithFewDescriptorsToSpare) {
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers' type check opens a pipe to learn whether memory can be read: with no
    // descriptor to spare it takes every object for a broken one. The normal build runs this.
    GTEST_SKIP() << "the sanitizers' runtime needs descriptors of its own";
#endif
    for (int i = 0; i < 1500; ++i) writeBytes(path(std::to_string(i) + ".c"), "x; // y\n");
    refresh();
    batch.setWorkers(2);
    // Room for a few files at a time, not for all that the workers would read ahead: what they
    // cannot hold is read again at its turn.
    const std::size_t before = openDescriptors();
    rlimit saved{};
    ::getrlimit(RLIMIT_NOFILE, &saved);
    const rlimit low{before + 24, saved.rlim_max};
    ASSERT_EQ(0, ::setrlimit(RLIMIT_NOFILE, &low));
    batch.ConvertSelected();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(messages.texts.empty()) << U8(batch.lastFailure());
    for (int i = 0; i < 1500; ++i) ASSERT_EQ("x; \n", readBytes(path(std::to_string(i) + ".c"))) << i;
    EXPECT_EQ(before, openDescriptors());
}

}  // namespace
}  // namespace tavirel
