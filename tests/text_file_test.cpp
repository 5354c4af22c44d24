#include "text_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "errors.h"
#include "test_support.h"

namespace tavirel {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::writeBytes;

class ReplaceFileTest : public testing::TempDirTest {
protected:
    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }
    mode_t mode(const fs::path& p) const {
        struct stat st;
        ::stat(p.c_str(), &st);
        return st.st_mode & 07777;
    }
};

TEST_F(ReplaceFileTest, WritesTheTextAndNothingAfterIt) {
    writeBytes(path("a.c"), "old content that is longer\r\n");
    ::chmod(path("a.c").c_str(), 0640);
    writeTextFile(textPath("a.c"), u"int 中;\r\n");
    EXPECT_EQ("int \xe4\xb8\xad;\r\n", readBytes(path("a.c")));
    EXPECT_EQ(0640u, mode(path("a.c")));
    EXPECT_EQ(1u, entries());  // no temporary file left behind

    writeTextFile(textPath("new.h"), u"x");
    EXPECT_EQ("x", readBytes(path("new.h")));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(0666u & ~mask, mode(path("new.h")));
}

TEST_F(ReplaceFileTest, WritesThroughASymbolicLink) {
    fs::create_directory(path("real"));
    writeBytes(path("real/t.c"), "old");
    fs::create_symlink("real/t.c", path("link.c"));
    writeTextFile(textPath("link.c"), u"new");
    EXPECT_TRUE(fs::is_symlink(path("link.c")));
    EXPECT_EQ("new", readBytes(path("real/t.c")));
}

TEST_F(ReplaceFileTest, HardLinkedNameGetsItsOwnNewFile) {
    writeBytes(path("a.c"), "old");
    fs::create_hard_link(path("a.c"), path("b.c"));
    writeTextFile(textPath("a.c"), u"new");
    EXPECT_EQ("new", readBytes(path("a.c")));
    EXPECT_EQ("old", readBytes(path("b.c")));
}

TEST_F(ReplaceFileTest, RefusedWritesLeaveEverythingAsItWas) {
    writeBytes(path("ro.c"), "keep");
    ::chmod(path("ro.c").c_str(), 0444);  // refused even for root
    fs::create_directory(path("dir.c"));
    writeBytes(path("file"), "f");

    for (const char* name : {"ro.c", "dir.c", "file/inner.c", "missing/x.c"}) {
        try {
            writeTextFile(textPath(name), u"new");
            ADD_FAILURE() << name << " was written";
        } catch (const FileError& e) {
            EXPECT_EQ(path(name).string(), e.path());
        }
    }
    EXPECT_EQ("keep", readBytes(path("ro.c")));
    EXPECT_EQ(3u, entries());
}

TEST_F(ReplaceFileTest, WriteFailingPartWayKeepsTheOriginal) {
    const std::string original(3000, 'o');
    writeBytes(path("big.c"), original);
    const pid_t child = ::fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        // A file size limit makes write() fail with EFBIG after the first 1000 bytes.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            replaceFile(path("big.c").string(), std::string(5000, 'n'));
        } catch (const FileError&) {
            ::_exit(0);
        }
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status)) << "the write did not fail";
    EXPECT_EQ(original, readBytes(path("big.c")));
    EXPECT_EQ(1u, entries());
}

TEST_F(ReplaceFileTest, UnrepresentableTextIsRefusedBeforeTheFileIsTouched) {
    writeBytes(path("a.c"), "keep");
    EXPECT_THROW(writeTextFile(textPath("a.c"), std::u16string(1, char16_t(0xD800))), EncodeError);
    EXPECT_EQ("keep", readBytes(path("a.c")));
}

}  // namespace
}  // namespace tavirel
