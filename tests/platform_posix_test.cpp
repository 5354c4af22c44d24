// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>

#include "code_page.h"
#include "errors.h"
#include "test_support.h"
#include "text_file.h"

namespace tavirel {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::writeBytes;

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

// Runs `body` in a child process and gives its exit code: 0 when it throws a FileError, 1 when it
// returns, or the code it exits with itself; -1 when the child did not exit.
int exitCodeInChild(const std::function<void()>& body) {
    const pid_t child = ::fork();
    if (child == -1) return -1;
    if (child == 0) {
        try {
            body();
        } catch (const FileError&) {
            ::_exit(0);
        }
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A POSIX access list in the kernel's own form: version 2, then (tag, permissions, id) entries.
std::string accessList(
    std::initializer_list<std::tuple<std::uint16_t, std::uint16_t, std::uint32_t>> entries) {
    std::string value("\x02\0\0\0", 4);
    for (const auto& [tag, perm, id] : entries) {
        value.append(reinterpret_cast<const char*>(&tag), 2);
        value.append(reinterpret_cast<const char*>(&perm), 2);
        value.append(reinterpret_cast<const char*>(&id), 4);
    }
    return value;
}
constexpr std::uint16_t kUserObj = 1, kUser = 2, kGroupObj = 4, kMask = 0x10, kOther = 0x20;
constexpr std::uint32_t kNoId = 0xFFFFFFFF;

std::string attribute(const fs::path& p, const char* name) {
    char value[512];
    const ssize_t n = ::getxattr(p.c_str(), name, value, sizeof value);
    return n < 0 ? std::string("(none)") : std::string(value, static_cast<std::size_t>(n));
}

class ReplaceFileTest : public testing::TempDirTest {
protected:
    std::size_t entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }
    struct stat statOf(const fs::path& p) const {
        struct stat st {};
        ::lstat(p.c_str(), &st);
        return st;
    }
    // Converts as the batch does: read, prepare, commit.
    void replace(const fs::path& p, std::string_view bytes) {
        NewFileDefaults defaults;
        const SourceFile file(testing::T(p.string()));
        Replacement(file, bytes, defaults).commit();
    }
};

TEST_F(ReplaceFileTest, WritesTheTextAndNothingAfterIt) {
    writeBytes(path("a.c"), "old content that is longer\r\n");
    ::chmod(path("a.c").c_str(), 0640);
    writeTextFile(textPath("a.c"), u"int 中;\r\n");
    EXPECT_EQ("int \xe4\xb8\xad;\r\n", readBytes(path("a.c")));
    EXPECT_EQ(0640u, statOf(path("a.c")).st_mode & 07777);
    EXPECT_EQ(1u, entries());  // no temporary file left behind

    writeTextFile(textPath("new.h"), u"x");
    EXPECT_EQ("x", readBytes(path("new.h")));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(0666u & ~mask, statOf(path("new.h")).st_mode & 07777);
}

TEST_F(ReplaceFileTest, NeverWritesThroughALinkOrIntoASpecialFile) {
    fs::create_directory(path("real"));
    writeBytes(path("real/t.c"), "old");
    fs::create_symlink("real/t.c", path("link.c"));
    ASSERT_EQ(0, ::mkfifo(path("pipe.c").c_str(), 0666));
    for (const char* name : {"link.c", "pipe.c"}) {
        EXPECT_THROW(writeTextFile(textPath(name), u"new"), FileError) << name;
        EXPECT_THROW(SourceFile(textPath(name)), FileError) << name;
    }
    EXPECT_TRUE(fs::is_symlink(path("link.c")));
    EXPECT_EQ("old", readBytes(path("real/t.c")));
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
            EXPECT_EQ(textPath(name), e.path());
        }
    }
    EXPECT_EQ("keep", readBytes(path("ro.c")));
    EXPECT_EQ(3u, entries());
}

TEST_F(ReplaceFileTest, WriteFailingPartWayKeepsTheOriginal) {
    const std::string original(3000, 'o');
    writeBytes(path("big.c"), original);
    EXPECT_EQ(0, exitCodeInChild([&] {
                  // A file size limit makes write() fail with EFBIG after the first 1000 bytes.
                  std::signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit{1000, 1000};
                  ::setrlimit(RLIMIT_FSIZE, &limit);
                  replaceFile(textPath("big.c"), std::string(5000, 'n'));
              }))
        << "the write did not fail";
    EXPECT_EQ(original, readBytes(path("big.c")));
    EXPECT_EQ(1u, entries());
}

TEST_F(ReplaceFileTest, AFileChangedSinceItWasReadIsLeftAsTheOtherProgramLeftIt) {
    // Each change another program may make between the read and the rename, made either before
    // the new file is prepared or after.
    const std::string changed = "changed since it was read";
    const struct {
        const char* what;
        std::function<void(const fs::path&)> change;
        std::function<bool(const fs::path&)> kept;
        std::string reason;
    } changes[] = {
        {"appended", [](const fs::path& p) { writeBytes(p, "x; // y\nz;\n"); },
         [](const fs::path& p) { return readBytes(p) == "x; // y\nz;\n"; }, changed},
        {"made read-only", [](const fs::path& p) { ::chmod(p.c_str(), 0444); },
         [this](const fs::path& p) { return (statOf(p).st_mode & 07777) == 0444; }, changed},
        {"given an attribute", [](const fs::path& p) { ::setxattr(p.c_str(), "user.tag", "1", 1, 0); },
         [](const fs::path& p) { return attribute(p, "user.tag") == "1"; }, changed},
        // An editor's save: a new file of the same size renamed over the old one.
        {"saved over",
         [](const fs::path& p) {
             writeBytes(p.string() + ".new", "x; // z\n");
             fs::rename(p.string() + ".new", p);
         },
         [](const fs::path& p) { return readBytes(p) == "x; // z\n"; },
         "replaced by another file since it was read"},
    };
    for (const auto& c : changes) {
        for (const bool beforePreparing : {true, false}) {
            const fs::path p = path("a.c");
            writeBytes(p, "x; // y\n");
            NewFileDefaults defaults;
            std::optional<SourceFile> file(testing::T(p.string()));
            // Later than the read's clock tick, as another program's change would be: a kernel
            // without fine-grained file times gives a change in the same tick the same times.
            std::this_thread::sleep_for(std::chrono::milliseconds(12));
            if (beforePreparing) c.change(p);
            try {
                Replacement replacement(*file, "x; \n", defaults);
                if (!beforePreparing) c.change(p);
                replacement.commit();
                ADD_FAILURE() << c.what << " " << beforePreparing << ": written";
            } catch (const FileError& e) {
                EXPECT_EQ(c.reason, e.reason()) << c.what << " " << beforePreparing;
            }
            file.reset();
            if (std::string(c.what) == "given an attribute" && attribute(p, "user.tag") == "(none)") {
                break;  // this file system keeps no user attributes: nothing was changed
            }
            EXPECT_TRUE(c.kept(p)) << c.what << " " << beforePreparing;
            EXPECT_EQ(1u, entries());
            ::chmod(p.c_str(), 0644);
            fs::remove(p);
        }
    }
}

TEST_F(ReplaceFileTest, AFileWhoseTemporaryNameWouldBeTooLongIsReplaced) {
    // A path just under the limit, with a name shorter than a temporary one.
    fs::path folder = dir_;
    const std::string part(200, 'd');
    while (folder.string().size() + part.size() + 8 < PATH_MAX) folder /= part;
    folder /= std::string(PATH_MAX - folder.string().size() - 8, 'e');
    fs::create_directories(folder);
    const fs::path p = folder / "a.c";
    ASSERT_LT(p.string().size(), std::size_t{PATH_MAX});
    writeBytes(p, "x; // y\n");
    ::chmod(p.c_str(), 0600);
    replace(p, "x; \n");
    EXPECT_EQ("x; \n", readBytes(p));
    EXPECT_EQ(0600u, statOf(p).st_mode & 07777);
    EXPECT_EQ(1, std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST_F(ReplaceFileTest, UnrepresentableTextIsRefusedBeforeTheFileIsTouched) {
    writeBytes(path("a.c"), "keep");
    EXPECT_THROW(writeTextFile(textPath("a.c"), std::u16string(1, char16_t(0xD800))), EncodeError);
    EXPECT_EQ("keep", readBytes(path("a.c")));
}

// --- Metadata --------------------------------------------------------------------------------

TEST_F(ReplaceFileTest, NewFileCarriesModeOwnerAccessListAndAttributes) {
    const fs::path p = path("a.c");
    writeBytes(p, "old");
    const std::string acl = accessList({{kUserObj, 6, kNoId},
                                        {kUser, 6, kNobody},
                                        {kGroupObj, 4, kNoId},
                                        {kMask, 6, kNoId},
                                        {kOther, 0, kNoId}});
    if (::setxattr(p.c_str(), "user.origin", "vendor", 6, 0) != 0 ||
        ::setxattr(p.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0) {
        GTEST_SKIP() << "this file system keeps no attributes or access lists: " << std::strerror(errno);
    }
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(0, ::chown(p.c_str(), kNobody, kNogroup));
    }
    const struct stat before = statOf(p);

    replace(p, "new");
    const struct stat after = statOf(p);
    EXPECT_EQ("new", readBytes(p));
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(before.st_mode, after.st_mode);  // the group bits are the mask: not widened
    EXPECT_EQ(before.st_uid, after.st_uid);
    EXPECT_EQ(before.st_gid, after.st_gid);
    EXPECT_EQ("vendor", attribute(p, "user.origin"));
    EXPECT_EQ(acl, attribute(p, "system.posix_acl_access"));
    EXPECT_EQ(1u, entries());
}

TEST_F(ReplaceFileTest, FolderDefaultsNeitherWidenNorChangeWhatTheOldFileHad) {
    fs::create_directory(path("shared"));
    const fs::path folder = path("shared");
    const std::string defaults = accessList({{kUserObj, 7, kNoId},
                                             {kUser, 7, kNobody},
                                             {kGroupObj, 7, kNoId},
                                             {kMask, 7, kNoId},
                                             {kOther, 7, kNoId}});
    if (::setxattr(folder.c_str(), "system.posix_acl_default", defaults.data(), defaults.size(), 0) != 0) {
        GTEST_SKIP() << "this file system has no access lists: " << std::strerror(errno);
    }
    if (::geteuid() == 0) {
        // A set-group-ID folder gives new files its group; the old file's own group stays.
        ASSERT_EQ(0, ::chown(folder.c_str(), 0, kNogroup));
        ASSERT_EQ(0, ::chmod(folder.c_str(), 02775));
    }
    const fs::path p = folder / "private.c";
    writeBytes(p, "old");
    ::removexattr(p.c_str(), "system.posix_acl_access");  // inherited at creation: take it off
    ASSERT_EQ(0, ::chown(p.c_str(), ::geteuid(), ::getegid()));
    ASSERT_EQ(0, ::chmod(p.c_str(), 0600));
    const struct stat before = statOf(p);

    replace(p, "new");
    const struct stat after = statOf(p);
    EXPECT_EQ(0600u, after.st_mode & 07777);
    EXPECT_EQ("(none)", attribute(p, "system.posix_acl_access"));
    EXPECT_EQ(before.st_gid, after.st_gid);
}

TEST_F(ReplaceFileTest, AnotherUsersFileIsRefusedToAnUnprivilegedUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
    ASSERT_EQ(0, ::chmod(dir_.c_str(), 0777));
    const fs::path p = path("theirs.c");
    writeBytes(p, "a; // b\r\n");
    ASSERT_EQ(0, ::chmod(p.c_str(), 0666));
    EXPECT_EQ(0, exitCodeInChild([&] {
                  if (::setgid(kNogroup) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
                  replace(p, "a; \r\n");
              }))
        << "1: converted, 2: could not drop privileges";
    EXPECT_EQ("a; // b\r\n", readBytes(p));
    EXPECT_EQ(0u, statOf(p).st_uid);
    EXPECT_EQ(1u, entries());
}

// --- Kept originals ----------------------------------------------------------------------------

// A file replaced with its original kept comes back as it was, with everything it had: from the
// same volume the very file, from another (tmpfs here) its content and times on the metadata the
// replacement had kept. A file changed since it was read is not put back.
TEST_F(ReplaceFileTest, AKeptOriginalComesBackWithItsMetadataFromThisVolumeAndAnother) {
    const fs::path shm = "/dev/shm";
    fs::path other = shm / (dir_.filename().string() + ".other");
    if (!fs::is_directory(shm) || !fs::create_directory(other)) other.clear();
    KeepFolder kept(testing::T((state_ / "kept").string()));
    const std::string acl = accessList({{kUserObj, 6, kNoId},
                                        {kUser, 4, kNobody},
                                        {kGroupObj, 4, kNoId},
                                        {kMask, 4, kNoId},
                                        {kOther, 0, kNoId}});
    for (const fs::path& folder : {dir_, other}) {
        if (folder.empty()) continue;
        SCOPED_TRACE(folder.string());
        const fs::path p = folder / "a.c";
        writeBytes(p, "int a; // old\n");
        ASSERT_EQ(0, ::chmod(p.c_str(), 0640));
        const bool attributes =
            ::setxattr(p.c_str(), "user.origin", "vendor", 6, 0) == 0 &&
            ::setxattr(p.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
        if (::geteuid() == 0) {
            ASSERT_EQ(0, ::chown(p.c_str(), kNobody, kNogroup));
        }
        const struct timespec times[2] = {{1000000000, 123456789}, {1000000000, 987654321}};
        ASSERT_EQ(0, ::utimensat(AT_FDCWD, p.c_str(), times, 0));
        const struct stat before = statOf(p);
        const bool sameVolume = before.st_dev == statOf(state_).st_dev;

        std::uint64_t budget = 1000;
        {
            NewFileDefaults defaults;
            const SourceFile file(testing::T(p.string()));
            Replacement r(file, "int a; \n", defaults);
            EXPECT_EQ(sameVolume ? Replacement::Kept::Linked : Replacement::Kept::Copied,
                      r.commitKeeping(kept, u"0", budget));
        }
        EXPECT_EQ("int a; \n", readBytes(p));
        EXPECT_EQ(sameVolume ? 1000u : 1000u - 14u, budget);

        // Changed by another program since the undo read it: left alone, the original still kept.
        NewFileDefaults defaults;
        {
            const SourceFile current(testing::T(p.string()));
            writeBytes(p, "edited\n");
            EXPECT_THROW(restoreKept(kept, u"0", current, defaults), FileError);
            EXPECT_EQ("edited\n", readBytes(p));
            EXPECT_TRUE(kept.holds(u"0"));
        }
        {
            writeBytes(p, "int a; \n");
            const SourceFile current(testing::T(p.string()));
            EXPECT_FALSE(isKept(kept, u"0", current));
            restoreKept(kept, u"0", current, defaults);
        }
        const struct stat after = statOf(p);
        EXPECT_EQ("int a; // old\n", readBytes(p));
        EXPECT_FALSE(kept.holds(u"0"));
        if (sameVolume) {
            EXPECT_EQ(before.st_ino, after.st_ino);
        }
        EXPECT_EQ(before.st_mode, after.st_mode);
        EXPECT_EQ(before.st_uid, after.st_uid);
        EXPECT_EQ(before.st_gid, after.st_gid);
        EXPECT_EQ(before.st_mtim.tv_sec, after.st_mtim.tv_sec);
        EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
        if (attributes) {
            EXPECT_EQ("vendor", attribute(p, "user.origin"));
            EXPECT_EQ(acl, attribute(p, "system.posix_acl_access"));
        }
        if (!sameVolume) {
            // Past the budget a copy is not made, and the budget stays as it was.
            std::uint64_t small = 5;
            NewFileDefaults d;
            const SourceFile file(testing::T(p.string()));
            EXPECT_EQ(Replacement::Kept::Not, Replacement(file, "x", d).commitKeeping(kept, u"1", small));
            EXPECT_EQ(5u, small);
            EXPECT_FALSE(kept.holds(u"1"));
        }
    }
    if (!other.empty()) fs::remove_all(other);
}

// A new file made in the keep folder from the start, under its kept name, ends as any other:
// the file's own metadata, not the keep folder's defaults; the name it was made under is the
// original's after the commit, or gone when there is none. An original with attributes is made
// beside itself as ever.
TEST_F(ReplaceFileTest, ANewFileMadeInTheKeepFolderEndsAsAnyOther) {
    const fs::path keep = state_ / "kept";
    KeepFolder kept(testing::T(keep.string()));
    if (statOf(keep).st_dev != statOf(dir_).st_dev) GTEST_SKIP() << "the keep folder is on another volume";
    const bool root = ::geteuid() == 0;
    if (root) {
        // A set-group-ID keep folder would give the new file its group.
        ASSERT_EQ(0, ::chown(keep.c_str(), 0, kNogroup));
        ASSERT_EQ(0, ::chmod(keep.c_str(), 02700));
        kept = KeepFolder(testing::T(keep.string()));
    }
    const fs::path p = path("a.c");
    std::uint64_t budget = 0;
    const auto madeIn = [&kept](const std::u16string& name) {
        WriteOptions ahead;
        ahead.keepIn = &kept;
        ahead.keptAs = name;
        return ahead;
    };
    enum class End { KeptUnderItsName, KeptUnderAnother, Committed, Dropped, ChangedFirst };
    for (const End end :
         {End::KeptUnderItsName, End::KeptUnderAnother, End::Committed, End::Dropped, End::ChangedFirst}) {
        SCOPED_TRACE(static_cast<int>(end));
        writeBytes(p, "int a; // old\n");
        ASSERT_EQ(0, ::chmod(p.c_str(), root ? 02751 : 0751));
        const struct stat before = statOf(p);
        {
            NewFileDefaults defaults;
            const SourceFile file(testing::T(p.string()));
            Replacement r(file, "int a; \n", defaults, madeIn(u"5"));
            ASSERT_TRUE(r.madeInKeepFolder());
            EXPECT_EQ("int a; \n", readBytes(keep / "5"));
            if (end == End::KeptUnderItsName || end == End::KeptUnderAnother) {
                const std::u16string name = end == End::KeptUnderItsName ? u"5" : u"n0";
                EXPECT_EQ(Replacement::Kept::Linked, r.commitKeeping(kept, name, budget));
                EXPECT_EQ(file.identity(), kept.identityOf(name));
            } else if (end == End::Committed) {
                r.commit();
            } else if (end == End::ChangedFirst) {
                writeBytes(p, "edited\n");
                EXPECT_THROW(r.commitKeeping(kept, u"5", budget), FileError);
            }
        }
        EXPECT_EQ(end == End::KeptUnderItsName, kept.holds(u"5"));
        EXPECT_EQ(1u, entries());  // no name left beside the file
        const struct stat after = statOf(p);
        EXPECT_EQ(end == End::Dropped        ? "int a; // old\n"
                  : end == End::ChangedFirst ? "edited\n"
                                             : "int a; \n",
                  readBytes(p));
        EXPECT_EQ(before.st_mode, after.st_mode);
        EXPECT_EQ(before.st_uid, after.st_uid);
        EXPECT_EQ(before.st_gid, after.st_gid);
        kept.remove(u"5");
        kept.remove(u"n0");
    }

    writeBytes(p, "int a; // old\n");
    if (::setxattr(p.c_str(), "user.origin", "vendor", 6, 0) == 0) {
        NewFileDefaults defaults;
        const SourceFile file(testing::T(p.string()));
        Replacement r(file, "int a; \n", defaults, madeIn(u"6"));
        EXPECT_FALSE(r.madeInKeepFolder());
        EXPECT_FALSE(kept.holds(u"6"));
        EXPECT_EQ(Replacement::Kept::Linked, r.commitKeeping(kept, u"6", budget));
        EXPECT_EQ("vendor", attribute(p, "user.origin"));
    }
}

TEST_F(ReplaceFileTest, FilesLetGoTogetherAreAllClosedAndNothingElse) {
    const auto open = [] {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
    };
    int other[2];
    ASSERT_EQ(0, ::pipe(other));
    const std::size_t before = open();
    {
        CloseTogether closing;
        NewFileDefaults defaults;
        // More than one call closes: what waits is closed in several.
        for (int i = 0; i < 150; ++i) {
            const fs::path p = dir_ / (std::to_string(i) + ".c");
            testing::writeBytes(p, "x; // y\n");
            const SourceFile file(testing::T(p.string()), SIZE_MAX, defaults);
            Replacement(file, "x; \n", defaults).commit();
        }
        closing.flush();
        EXPECT_EQ(0u, closing.waiting());
        EXPECT_LE(open(), before + 2);  // the folder held open, and the closing's own
        for (int i = 0; i < 150; ++i)
            EXPECT_EQ("x; \n", testing::readBytes(dir_ / (std::to_string(i) + ".c")));
    }
    EXPECT_EQ(before, open());
    EXPECT_EQ(1, ::write(other[1], "!", 1)) << "a handle it was never given was closed";
    ::close(other[0]);
    ::close(other[1]);
}

// --- The locale's code page --------------------------------------------------------------------

TEST(CodePageTest, SystemCodesetFollowsTheLocaleVariables) {
    const char* saved = std::getenv("LC_ALL");
    const std::string keep = saved ? saved : "";
    for (const char* locale : {"C", "POSIX", "C.UTF-8"}) {
        ::setenv("LC_ALL", locale, 1);
        EXPECT_EQ("UTF-8", CodePage::systemCodesetName()) << locale;
    }
    if (saved)
        ::setenv("LC_ALL", keep.c_str(), 1);
    else
        ::unsetenv("LC_ALL");
}

}  // namespace
}  // namespace tavirel
