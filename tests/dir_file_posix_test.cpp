// SPDX-License-Identifier: MIT
// The search and folder creation on what only POSIX systems have: symbolic links, FIFOs, names
// that are bytes, permission bits, dot names as hidden names.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "dir_file.h"
#include "errors.h"
#include "test_support.h"

namespace tavirel {
namespace {

namespace fs = std::filesystem;
using testing::T;
using testing::U8;

struct RecordingList : ItemList {
    void AddItem(const std::u16string& text) override { items.push_back(U8(text)); }
    std::vector<std::string> items;
};

class SearchFilesPosixTest : public testing::TempDirTest {
protected:
    void file(const std::string& name) { testing::writeBytes(path(name), "x"); }
    void folder(const std::string& name) { fs::create_directories(path(name)); }
    std::vector<std::string> search(const std::u16string& filter) {
        RecordingList list;
        Dir_File().SearchFiles(T(dir_.string()), filter, list);
        std::vector<std::string> relative;
        for (const auto& item : list.items) relative.push_back(item.substr(dir_.string().size() + 1));
        std::sort(relative.begin(), relative.end());
        return relative;
    }
    using Names = std::vector<std::string>;
};

class MakeDirPosixTest : public testing::TempDirTest {};

TEST_F(SearchFilesPosixTest, DescendsOnlyIntoPlainFoldersAndListsOnlyRegularFiles) {
    folder("lib.c");
    file("lib.c/in.c");
    folder("old.h");
    file("old.h/hidden.h");
    ::chmod(path("old.h").c_str(), 0555);  // no write bit: read-only, neither entered nor listed
    folder(".git");
    file(".git/x.c");
    folder("real");
    file("real/r.c");
    fs::create_directory_symlink("real", path("link.c"));
    fs::create_directory_symlink(".", path("real/loop"));  // a link loop is never followed
    fs::create_symlink("real/r.c", path("file-link.c"));
    fs::create_symlink("/etc/passwd", path("outside.h"));
    fs::create_symlink("nowhere", path("dangling.c"));
    ASSERT_EQ(0, ::mkfifo(path("fifo.c").c_str(), 0666));
    EXPECT_EQ((Names{"lib.c/in.c", "real/r.c"}), search(u"c"));
    EXPECT_EQ(Names{}, search(u"h"));
}

TEST_F(SearchFilesPosixTest, StarListsEveryRegularFile) {
    folder("sub");
    file("sub/a.txt");
    folder(".hid");
    file("b");
    fs::create_symlink("b", path("link"));
    EXPECT_EQ((Names{"b", "sub/a.txt"}), search(u"*"));
}

TEST_F(SearchFilesPosixTest, NamesAreListedExactlyAndCanBeOpenedAgain) {
    const std::string odd = "badÿþ name  .c";  // bytes that do not decode, blanks inside
    file(odd);
    file("trail.c  ");  // the blanks belong to the name: extension "c  " is no match
    file("blank .c");
    RecordingList list;
    Dir_File().SearchFiles(T(dir_.string()), u"c", list);
    ASSERT_EQ(2u, list.items.size());
    for (const auto& item : list.items) EXPECT_TRUE(fs::exists(item)) << item;
}

TEST_F(MakeDirPosixTest, CreatesOnlyTheLastFolderUnlessSomethingVisibleIsThere) {
    Dir_File dir;
    dir.MakeDir(textPath("new"));
    EXPECT_TRUE(fs::is_directory(path("new")));
    dir.MakeDir(textPath("new"));  // exists: nothing happens
    testing::writeBytes(path("file"), "x");
    dir.MakeDir(textPath("file"));  // a visible file counts as existing
    EXPECT_TRUE(fs::is_regular_file(path("file")));
    testing::writeBytes(path(".hidden"), "x");
    EXPECT_THROW(dir.MakeDir(textPath(".hidden")), FileError);
    EXPECT_THROW(dir.MakeDir(textPath("missing/child")), FileError);
}

}  // namespace
}  // namespace tavirel
