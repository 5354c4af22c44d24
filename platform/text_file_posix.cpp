// SPDX-License-Identifier: MIT
// Reading and replacing files on Linux with as few system calls as the guarantees allow: per
// converted file an open that follows no link, one fstat, one read, a new file for the new
// content (made in the journal under its kept name, or unnamed beside the old one), owner, mode
// and attributes only where they differ, then one rename (and a link for an unnamed file).
#include <dirent.h>
#include <fcntl.h>
#include <liburing.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <unordered_map>
#include <utility>
#include <vector>

#include "code_page.h"
#include "errors.h"
#include "handles_internal.h"
#include "read_whole.h"
#include "text_file.h"

namespace tavirel {
namespace {

std::string reasonFor(int err) {
    // With O_NOFOLLOW, ELOOP means the name itself is a link.
    if (err == ELOOP) return "symbolic link";
    return std::strerror(err);
}

[[noreturn]] void fail(const std::u16string& path, int err) {
    throw FileError(path, reasonFor(err));
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ".tavirel-PID-RANDOM.tmp": at most this long, whatever the PID.
constexpr std::size_t kTemporaryNameMax = 40;

std::string temporaryName() {
    static const int pid = static_cast<int>(::getpid());
    thread_local std::mt19937_64 random{std::random_device{}()};
    char name[64];
    std::snprintf(name, sizeof name, ".tavirel-%d-%016llx.tmp", pid,
                  static_cast<unsigned long long>(random()));
    return name;
}

// 0, or the errno of the failed write.
int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

mode_t processUmask() {
    // Read without changing it where the kernel tells; umask() itself would change it for an
    // instant under the other threads' feet.
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) == 0) return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

bool mustKeep(std::string_view attribute) {
    // Access lists and user attributes decide who may do what: without them the file is refused.
    // Security labels and trusted attributes are kept where the process may set them; a label
    // the system gives every new file by itself need not be copied.
    return attribute.rfind("security.", 0) != 0 && attribute.rfind("trusted.", 0) != 0;
}

constexpr char kAccessAcl[] = "system.posix_acl_access";
constexpr char kDefaultAcl[] = "system.posix_acl_default";

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Everything a change leaves on a file: its content's size and time, and the time of any change
// to its mode, owner, links or attributes.
bool sameState(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mode == b.st_mode && a.st_uid == b.st_uid && a.st_gid == b.st_gid &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

// --- Closing together ------------------------------------------------------------------------

namespace {

struct ClosingQueue {
    // A ring this size closes a worker's usual share of files in one call.
    static constexpr unsigned kRing = 64;
    io_uring ring{};
    enum { Unused, Ready, Unavailable } state = Unused;
    std::vector<int> waiting;

    ClosingQueue() = default;
    ClosingQueue(const ClosingQueue&) = delete;
    ClosingQueue& operator=(const ClosingQueue&) = delete;
    ~ClosingQueue() {
        flush();
        if (state == Ready) ::io_uring_queue_exit(&ring);
    }

    void add(int fd) {
        waiting.push_back(fd);
        if (waiting.size() >= kRing) flush();
    }

    void flush() {
        if (waiting.empty()) return;
        if (state == Unused) {
            // Kernels without io_uring, or where it is forbidden, close one by one.
            state = ::io_uring_queue_init(kRing, &ring, 0) == 0 ? Ready : Unavailable;
        }
        std::size_t done = 0;
        while (state == Ready && done < waiting.size()) {
            const std::size_t batch = std::min<std::size_t>(waiting.size() - done, kRing);
            const std::size_t ran = closeInRing(&waiting[done], batch);
            done += ran;
            if (ran < batch) break;
        }
        for (std::size_t k = done; k < waiting.size(); ++k) ::close(waiting[k]);
        waiting.clear();
    }

    // How many of `fds`, from the first, the ring took: each of those is closed, by the ring or
    // here. The rest were never seen by the kernel and are still open.
    std::size_t closeInRing(const int* fds, std::size_t count) {
        for (std::size_t k = 0; k < count; ++k) {
            io_uring_sqe* sqe = ::io_uring_get_sqe(&ring);
            ::io_uring_prep_close(sqe, fds[k]);
            ::io_uring_sqe_set_data64(sqe, static_cast<std::uint64_t>(fds[k]));
        }
        // The kernel takes entries in order, and may stop at one it cannot take (a kernel without
        // this operation), with the rest left for the next call. A close mostly completes as it
        // is taken; one that completes later is waited for, but only while one is under way.
        std::size_t taken = 0;
        std::size_t reaped = 0;
        while (reaped < count) {
            const int n = ::io_uring_submit_and_wait(&ring, 1);
            if (n > 0) taken += static_cast<std::size_t>(n);
            io_uring_cqe* cqe;
            while (::io_uring_peek_cqe(&ring, &cqe) == 0) {
                // A kernel that has the ring but not its close: this one, and all after, here.
                if (cqe->res == -EINVAL || cqe->res == -EOPNOTSUPP) {
                    ::close(static_cast<int>(::io_uring_cqe_get_data64(cqe)));
                    state = Unavailable;
                }
                ::io_uring_cqe_seen(&ring, cqe);
                ++reaped;
            }
            if (n == -EINTR) continue;
            if (n < 0 || (n == 0 && reaped == taken && reaped < count)) {
                // Refused, or nothing taken and nothing under way: what was taken has completed,
                // the rest is closed by the caller.
                ::io_uring_queue_exit(&ring);
                state = Unavailable;
                return taken;
            }
        }
        if (state == Unavailable) ::io_uring_queue_exit(&ring);
        return count;
    }
};

thread_local ClosingQueue* closingTogether = nullptr;

}  // namespace

void closeHandle(int fd) {
    if (closingTogether) {
        closingTogether->add(fd);
    } else {
        ::close(fd);
    }
}

struct CloseTogether::Impl {
    ClosingQueue queue;
    ClosingQueue* outer = closingTogether;  // one this one was made inside, which takes over again
};

CloseTogether::CloseTogether() : impl_(std::make_unique<Impl>()) {
    closingTogether = &impl_->queue;
}

CloseTogether::~CloseTogether() {
    closingTogether = impl_->outer;
}

void CloseTogether::flush(std::size_t least) {
    if (impl_->queue.waiting.size() >= least) impl_->queue.flush();
}

std::size_t CloseTogether::waiting() const {
    return impl_->queue.waiting.size();
}

// --- SourceFile ------------------------------------------------------------------------------

struct SourceFile::Impl {
    std::u16string path;
    std::string platformPath;
    mutable int fd = -1;  // handed on to a Replacement, which checks the file through it
    struct stat st {};
    WholeFile contents;

    ~Impl() {
        if (fd >= 0) closeHandle(fd);
    }
};

namespace {

// O_NONBLOCK keeps a FIFO from hanging the open; it is refused after.
constexpr int kReadFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

}  // namespace

SourceFile::SourceFile(std::u16string path, std::size_t byteLimit) : impl_(std::make_unique<Impl>()) {
    Impl& f = *impl_;
    f.path = std::move(path);
    f.platformPath = CodePage::system().encode(f.path);
    f.fd = ::open(f.platformPath.c_str(), kReadFlags);
    read(byteLimit);
}

void SourceFile::read(std::size_t byteLimit) {
    Impl& f = *impl_;
    if (f.fd < 0) fail(f.path, errno);
    if (::fstat(f.fd, &f.st) != 0) fail(f.path, errno);
    if (S_ISDIR(f.st.st_mode)) fail(f.path, EISDIR);
    if (!S_ISREG(f.st.st_mode)) throw FileError(f.path, "not a regular file");
    const auto size = static_cast<std::size_t>(f.st.st_size);
    if (size > byteLimit) {
        f.contents.tooLarge = true;
        return;
    }
    f.contents = readWhole(size, byteLimit, [&f](char* to, std::size_t want) {
        for (;;) {
            const ssize_t n = ::read(f.fd, to, want);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno != EINTR) fail(f.path, errno);
        }
    });
}

SourceFile::~SourceFile() = default;
SourceFile::SourceFile(SourceFile&&) noexcept = default;
SourceFile& SourceFile::operator=(SourceFile&&) noexcept = default;
const std::u16string& SourceFile::path() const {
    return impl_->path;
}
bool SourceFile::tooLarge() const {
    return impl_->contents.tooLarge;
}
std::string_view SourceFile::bytes() const {
    return {impl_->contents.buffer.get(), impl_->contents.size};
}
void SourceFile::close() {
    if (impl_->fd >= 0) closeHandle(impl_->fd);
    impl_->fd = -1;
}
std::uint64_t SourceFile::identity() const {
    return impl_->st.st_ino;
}
bool SourceFile::unchangedSinceRead() const {
    struct stat now;
    return ::lstat(impl_->platformPath.c_str(), &now) == 0 && sameFile(now, impl_->st) &&
           sameState(now, impl_->st);
}

// --- NewFileDefaults -------------------------------------------------------------------------

// A folder held open while the files in it are replaced: each name is then looked up in it
// alone, not along the whole path again.
struct OpenFolder {
    int fd;
    explicit OpenFolder(int f) : fd(f) {}
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    ~OpenFolder() { closeHandle(fd); }
};

namespace {

// What a new file gets by default in a folder.
struct FolderFacts {
    gid_t group;      // the group a new file gets: the folder's own where it is set-group-ID
    bool defaultAcl;  // a new file inherits an access list instead of the umask
};

// A folder's facts from its status and what asking its default access list gave (its size, or
// -1 with errno); `group` is this process's.
FolderFacts factsOf(const struct stat& st, ssize_t defaultAclSize, gid_t group) {
    const bool acl = defaultAclSize > 0 || (defaultAclSize < 0 && errno != ENODATA && errno != ENOTSUP);
    return {(st.st_mode & S_ISGID) ? st.st_gid : group, acl};
}

}  // namespace

struct NewFileDefaults::Impl {
    using Folder = FolderFacts;

    // What the threads of one run learn and hold open, for all of them.
    struct Shared {
        std::mutex mutex;
        std::unordered_map<std::string, Folder> folders;
        std::unordered_map<dev_t, bool> takesBlocksFirst;
        std::string openName;
        std::weak_ptr<OpenFolder> open;
    };

    uid_t user = ::geteuid();
    gid_t group = ::getegid();
    mode_t umask = processUmask();
    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
    std::string lastName;
    Folder last{};
    // Only the last folder stays open here, so that a tree of any size holds few descriptors;
    // the replacements still to be committed in it hold it too.
    std::string openName;
    std::shared_ptr<OpenFolder> lastOpen;

    // Never fails: a folder that cannot be asked gets the cautious answer, which costs calls.
    const Folder& folder(const std::string& name) {
        if (name == lastName) return last;
        {
            std::lock_guard lock(shared->mutex);
            if (const auto it = shared->folders.find(name); it != shared->folders.end()) {
                lastName = name;
                last = it->second;
                return last;
            }
        }
        Folder facts{group, true};
        struct stat st;
        if (::stat(name.c_str(), &st) == 0)
            facts = factsOf(st, ::getxattr(name.c_str(), kDefaultAcl, nullptr, 0), group);
        {
            std::lock_guard lock(shared->mutex);
            shared->folders.emplace(name, facts);
        }
        lastName = name;
        last = facts;
        return last;
    }

    // The folder `name`, opened; null where it cannot be.
    std::shared_ptr<OpenFolder> opened(const std::string& name) {
        if (name != openName) {
            lastOpen.reset();
            openName = name;
        }
        if (lastOpen) return lastOpen;
        {
            std::lock_guard lock(shared->mutex);
            if (shared->openName == name) lastOpen = shared->open.lock();
        }
        if (lastOpen) return lastOpen;
        const int fd = ::open(name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        lastOpen = std::make_shared<OpenFolder>(fd);
        std::lock_guard lock(shared->mutex);
        shared->openName = name;
        shared->open = lastOpen;
        return lastOpen;
    }

    // Whether a new file on this file system should take its blocks before it is written: ext4
    // (whose magic number ext2 and ext3 share) otherwise flushes it in the rename over the old
    // file, on the committing thread. Elsewhere the call would only cost.
    bool blocksFirst(dev_t device, int fd) {
        if (lastDevice && *lastDevice == device) return lastBlocksFirst;
        std::lock_guard lock(shared->mutex);
        auto it = shared->takesBlocksFirst.find(device);
        if (it == shared->takesBlocksFirst.end()) {
            struct statfs fs;
            const bool ext4 = ::fstatfs(fd, &fs) != 0 || fs.f_type == 0xEF53;
            it = shared->takesBlocksFirst.emplace(device, ext4).first;
        }
        lastDevice = device;
        lastBlocksFirst = it->second;
        return lastBlocksFirst;
    }
    std::optional<dev_t> lastDevice;
    bool lastBlocksFirst = false;
};

NewFileDefaults::NewFileDefaults(const NewFileDefaults* sameRun) : impl_(std::make_unique<Impl>()) {
    if (sameRun) impl_->shared = sameRun->impl_->shared;
}
NewFileDefaults::~NewFileDefaults() = default;

SourceFile::SourceFile(std::u16string path, std::size_t byteLimit, NewFileDefaults& defaults)
    : impl_(std::make_unique<Impl>()) {
    Impl& f = *impl_;
    f.path = std::move(path);
    f.platformPath = CodePage::system().encode(f.path);
    const std::shared_ptr<OpenFolder> folder = defaults.impl_->opened(folderOf(f.platformPath));
    f.fd = folder ? ::openat(folder->fd, baseOf(f.platformPath).c_str(), kReadFlags)
                  : ::open(f.platformPath.c_str(), kReadFlags);
    read(byteLimit);
}

struct KeepFolder::Impl {
    std::u16string path;
    std::shared_ptr<OpenFolder> open;  // shared with the new files made in it
    int fd = -1;                       // open's
    dev_t device = 0;
    FolderFacts facts{};  // what a new file made here gets
    int appendFd = -1;
    std::string appendName;

    ~Impl() {
        if (appendFd >= 0) ::close(appendFd);
    }
    std::string name(const std::u16string& n) const { return CodePage::system().encode(n); }
};

// --- Replacement -----------------------------------------------------------------------------

namespace {

// 0, or the errno: gives the unnamed file `fd` the name `name`. Through the descriptor where the
// process may (root), else through /proc, which any process may.
int linkUnnamed(int fd, int at, const std::string& name) {
    static std::atomic<bool> emptyPathWorks{true};
    if (emptyPathWorks.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", at, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
        if (errno != ENOENT && errno != EPERM) return errno;
        emptyPathWorks.store(false, std::memory_order_relaxed);
    }
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, self, at, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// 0, or the errno: renames `from` in `fromAt` to `to` in `toAt`, where nothing of that name is;
// where the file system cannot tell, over it (the names moved to are the caller's own).
int moveName(int fromAt, const std::string& from, int toAt, const std::string& to) {
    if (::renameat2(fromAt, from.c_str(), toAt, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    return ::renameat(fromAt, from.c_str(), toAt, to.c_str()) == 0 ? 0 : errno;
}

// The new content of one file until it is renamed into place; gone without a trace if it is not.
struct NewFile {
    std::u16string path;  // for messages
    std::string folder;
    // Names are taken in `at`: the working folder, with the whole paths; or, where a temporary
    // name beside the file would be longer than a path may be, the folder itself opened.
    int at = AT_FDCWD;
    std::shared_ptr<OpenFolder> held;  // what `at` is, where a caller's folder is used
    std::string target;
    std::string temp;  // the name of a named temporary file; empty while the new file is unnamed
    int fd = -1;
    // The file that was read, which the rename must replace, and its state then: the rename
    // replaces nothing else that took its name, and nothing written to it since.
    int oldFd = -1;
    struct stat read {};
    // The caller found the name holding that file just before the commit: it need not look again.
    bool checked = false;
    ReplaceSeam* seam = nullptr;
    // The keep folder the new file was made in, and its name there, until the commit moves it.
    std::shared_ptr<OpenFolder> keptIn;
    std::string keptAs;

    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile() {
        if (!temp.empty()) ::unlinkat(at, temp.c_str(), 0);
        dropKept();
        if (fd >= 0) closeHandle(fd);
        if (oldFd >= 0) closeHandle(oldFd);
        if (at != AT_FDCWD && !held) closeHandle(at);
    }

    // Names taken in `open`, a folder a caller holds open.
    void nameIn(const std::string& platformPath, std::shared_ptr<OpenFolder> open) {
        folder = folderOf(platformPath);
        held = std::move(open);
        at = held->fd;
        target = baseOf(platformPath);
    }

    void name(const std::string& platformPath) {
        folder = folderOf(platformPath);
        target = platformPath;
        if (folder.size() + 1 + kTemporaryNameMax < PATH_MAX) return;
        at = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (at < 0) {
            at = AT_FDCWD;
            fail(path, errno);
        }
        target = baseOf(platformPath);
    }

    // The temporary name as `at` takes it.
    std::string temporary() const {
        return at == AT_FDCWD ? folder + "/" + temporaryName() : temporaryName();
    }

    void open(mode_t mode) {
        // An unnamed file: a process killed now leaves nothing behind. Where the file system has
        // no unnamed files, a dot-named one is used from the start.
        fd = ::openat(at, at == AT_FDCWD ? folder.c_str() : ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0) return;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) fail(path, errno);
        for (int attempt = 0; attempt <= 100; ++attempt) {
            temp = temporary();
            fd = ::openat(at, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd >= 0) return;
            if (errno != EEXIST) break;
        }
        const int err = errno;
        temp.clear();
        fail(path, err);
    }

    // Made in the keep folder `in` under `name`, where that name is free; else as open() makes it.
    void openKept(std::shared_ptr<OpenFolder> in, std::string name, mode_t mode) {
        fd = ::openat(in->fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0) return open(mode);
        keptIn = std::move(in);
        keptAs = std::move(name);
    }

    void dropKept() {
        if (!keptIn) return;
        ::unlinkat(keptIn->fd, keptAs.c_str(), 0);
        keptIn.reset();
        keptAs.clear();
    }

    // A new file made in a keep folder goes beside the old one under a temporary name, as if
    // made there: for a commit that keeps it elsewhere, or not at all.
    void leaveKeepFolder() {
        int err = EEXIST;
        for (int attempt = 0; attempt <= 100 && err == EEXIST; ++attempt) {
            temp = temporary();
            err = moveName(keptIn->fd, keptAs, at, temp);
        }
        if (err != 0) {
            temp.clear();
            fail(path, err);
        }
        keptIn.reset();
        keptAs.clear();
    }

    // The name must still hold the file that was read, as it was read: deleted, swapped for a
    // link or another file, or written to since, the rename would bring back a deleted file,
    // overwrite one never read, or lose what another program wrote.
    void checkUnchanged() const {
        // What a seam does stands between the caller's look and the rename.
        if (checked && !seam) return;
        struct stat now;
        if (::fstatat(at, target.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) fail(path, errno);
        if (!sameFile(now, read)) throw FileError(path, "replaced by another file since it was read");
        if (!sameState(now, read)) throw FileError(path, "changed since it was read");
    }

    // The names of the extended attributes of `from`, each ended by a NUL; none where the file
    // system has no attributes.
    std::vector<char> attributeNames(int from) const;
    void copyAttributes(int from, const std::vector<char>& names, bool& hasAccessAcl);

    // What commit() does between checking the old file and renaming over it; undone if the
    // rename fails.
    struct Step {
        virtual void before(NewFile& file) = 0;
        virtual void undo() = 0;
    };

    void commit(Step* step = nullptr) {
        if (temp.empty()) {
            int err = EEXIST;
            for (int attempt = 0; attempt <= 100 && err == EEXIST; ++attempt) {
                temp = temporary();
                err = linkUnnamed(fd, at, temp);
            }
            if (err != 0) {
                temp.clear();
                fail(path, err);
            }
        }
        if (seam) seam->beforeReplace();
        if (oldFd >= 0) checkUnchanged();
        if (step) step->before(*this);
        if (::renameat(at, temp.c_str(), at, target.c_str()) != 0) {
            const int err = errno;
            if (step) step->undo();
            fail(path, err);  // the destructor removes the temp
        }
        temp.clear();
        // The file is closed when the replacement is let go, which may be on another thread: the
        // data went in with write(), and a late close error could not undo the rename anyway.
    }
};

std::vector<char> NewFile::attributeNames(int from) const {
    // Most files have none: the list is asked into the stack first, and nothing is allocated.
    char first[256];
    ssize_t n = ::flistxattr(from, first, sizeof first);
    if (n >= 0) return std::vector<char>(first, first + n);
    if (errno == ERANGE) {
        std::vector<char> names;
        do {
            const ssize_t needed = ::flistxattr(from, nullptr, 0);
            if (needed < 0) break;
            names.resize(static_cast<std::size_t>(needed) + 1);
            n = ::flistxattr(from, names.data(), names.size());
        } while (n < 0 && errno == ERANGE);
        if (n >= 0) {
            names.resize(static_cast<std::size_t>(n));
            return names;
        }
    }
    if (errno == ENOTSUP) return {};  // a file system without attributes: nothing to keep
    fail(path, errno);
}

void NewFile::copyAttributes(int from, const std::vector<char>& names, bool& hasAccessAcl) {
    if (names.empty()) return;
    std::vector<char> value(256);
    for (const char* name = names.data(); name < names.data() + names.size(); name += std::strlen(name) + 1) {
        ssize_t size;
        while ((size = ::fgetxattr(from, name, value.data(), value.size())) < 0 && errno == ERANGE) {
            const ssize_t needed = ::fgetxattr(from, name, nullptr, 0);
            if (needed < 0) break;
            value.resize(static_cast<std::size_t>(needed));
        }
        if (size < 0 || ::fsetxattr(fd, name, value.data(), static_cast<std::size_t>(size), 0) != 0) {
            if (!mustKeep(name)) continue;
            throw FileError(path,
                            std::string("cannot keep its attribute ") + name + ": " + std::strerror(errno));
        }
        if (std::strcmp(name, kAccessAcl) == 0) hasAccessAcl = true;
    }
}

}  // namespace

struct Replacement::Impl {
    NewFile file;
};

Replacement::Replacement(const SourceFile& original, std::string_view bytes, NewFileDefaults& defaults,
                         WriteOptions options)
    : impl_(std::make_unique<Impl>()) {
    const SourceFile::Impl& old = *original.impl_;
    NewFileDefaults::Impl& d = *defaults.impl_;
    NewFile& r = impl_->file;
    r.path = old.path;
    if (old.fd < 0) throw FileError(r.path, "closed before its replacement was prepared");
    // The replacement keeps the file open until it is let go: the old content is then freed by
    // whoever lets it go, and the commit can tell whether the file changed since it was read.
    r.oldFd = std::exchange(old.fd, -1);
    r.read = old.st;
    r.seam = options.seam;
    const std::string folderName = folderOf(old.platformPath);
    const NewFileDefaults::Impl::Folder& folder = d.folder(folderName);
    if (auto open = d.opened(folderName)) {
        r.nameIn(old.platformPath, std::move(open));
    } else {
        r.name(old.platformPath);
    }

    const struct stat& st = old.st;
    // The read-only attribute: refused even for root, whom the permission bits do not bind.
    if ((st.st_mode & 0222) == 0) throw FileError(r.path, "read-only file");
    if (d.user != 0) {
        // Without privileges the new file can only keep an owner that is this user.
        if (st.st_uid != d.user)
            throw FileError(r.path, "owned by another user, whose ownership a new file cannot keep");
        if ((st.st_mode & 0200) == 0) fail(r.path, EACCES);
    }

    const mode_t wanted = st.st_mode & 07777;
    const std::vector<char> attributes = r.attributeNames(r.oldFd);
    // Made in the keep folder where it is to be named anyway, where nothing there would differ:
    // that folder's defaults then stand for those of the file's own.
    const KeepFolder::Impl* keep = options.keepIn ? options.keepIn->impl_.get() : nullptr;
    if (keep && keep->device == st.st_dev && !keep->facts.defaultAcl && attributes.empty()) {
        r.openKept(keep->open, keep->name(options.keptAs), wanted & 0777);
    } else {
        r.open(wanted & 0777);
    }
    const gid_t createdGroup = r.keptIn ? keep->facts.group : folder.group;
    const bool inheritedAcl = !r.keptIn && folder.defaultAcl;
    // Blocks taken now, on the preparing thread: with them in place the rename over the old
    // file has no delayed allocation left to force, which ext4 does to keep it safe. A file made
    // in the keep folder takes its place by an exchange, which forces none: its blocks are left
    // to the writeback, as a copy's are.
    if (!bytes.empty() && !r.keptIn && d.blocksFirst(st.st_dev, r.fd))
        ::fallocate(r.fd, 0, 0, static_cast<off_t>(bytes.size()));
    if (const int err = writeAll(r.fd, bytes)) fail(r.path, err);

    // Owner first: changing it clears set-ID bits, which the mode then restores.
    bool chowned = false;
    if (st.st_uid != d.user || st.st_gid != createdGroup) {
        if (::fchown(r.fd, st.st_uid, st.st_gid) != 0) {
            throw FileError(r.path, std::string("cannot keep its owner and group: ") + std::strerror(errno));
        }
        chowned = true;
    }
    bool hasAccessAcl = false;
    r.copyAttributes(r.oldFd, attributes, hasAccessAcl);
    if (inheritedAcl && !hasAccessAcl) {
        // The folder's default list would widen or narrow access: the old file had none.
        if (::fremovexattr(r.fd, kAccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP)
            fail(r.path, errno);
    }
    const mode_t created = inheritedAcl ? 07777 : (wanted & 0777 & ~d.umask);
    if (created != wanted || chowned || hasAccessAcl) {
        if (::fchmod(r.fd, wanted) != 0) fail(r.path, errno);
    }
    if (options.flushToDisk && ::fsync(r.fd) != 0) fail(r.path, errno);
}

Replacement::~Replacement() = default;
Replacement::Replacement(Replacement&&) noexcept = default;
Replacement& Replacement::operator=(Replacement&&) noexcept = default;

void Replacement::commit() {
    NewFile& r = impl_->file;
    if (r.keptIn) r.leaveKeepFolder();
    r.commit();
}

bool Replacement::madeInKeepFolder() const {
    return impl_->file.keptIn != nullptr;
}

bool Replacement::originalUnchanged(bool committingNext) {
    NewFile& r = impl_->file;
    struct stat now;
    const bool unchanged = ::fstatat(r.at, r.target.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
                           sameFile(now, r.read) && sameState(now, r.read);
    r.checked = committingNext && unchanged;
    return unchanged;
}

// --- Kept files ----------------------------------------------------------------------------

KeepFolder::KeepFolder(std::u16string path) : impl_(std::make_unique<Impl>()) {
    Impl& k = *impl_;
    k.path = std::move(path);
    const std::string where = CodePage::system().encode(k.path);
    // Each missing folder on the way is made private: what it keeps is nobody else's business.
    for (std::size_t slash = where.find('/', 1);; slash = where.find('/', slash + 1)) {
        const std::string part = where.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) fail(k.path, errno);
        if (slash == std::string::npos) break;
    }
    const int fd = ::open(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) fail(k.path, errno);
    k.open = std::make_shared<OpenFolder>(fd);
    k.fd = fd;
    struct stat st;
    if (::fstat(k.fd, &st) != 0) fail(k.path, errno);
    k.device = st.st_dev;
    k.facts = factsOf(st, ::fgetxattr(k.fd, kDefaultAcl, nullptr, 0), ::getegid());
}

KeepFolder::~KeepFolder() = default;
KeepFolder::KeepFolder(KeepFolder&&) noexcept = default;
KeepFolder& KeepFolder::operator=(KeepFolder&&) noexcept = default;

const std::u16string& KeepFolder::path() const {
    return impl_->path;
}

bool KeepFolder::holds(const std::u16string& name) const {
    struct stat st;
    return ::fstatat(impl_->fd, impl_->name(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

void KeepFolder::append(const std::u16string& name, std::string_view bytes) {
    Impl& k = *impl_;
    const std::string file = k.name(name);
    if (k.appendFd < 0 || k.appendName != file) {
        if (k.appendFd >= 0) ::close(k.appendFd);
        k.appendFd = ::openat(k.fd, file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (k.appendFd < 0) fail(k.path + u"/" + name, errno);
        k.appendName = file;
    }
    if (const int err = writeAll(k.appendFd, bytes)) fail(k.path + u"/" + name, err);
}

std::optional<std::uint64_t> KeepFolder::identityOf(const std::u16string& name) const {
    struct stat st;
    if (::fstatat(impl_->fd, impl_->name(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return st.st_ino;
}

void KeepFolder::remove(const std::u16string& name) {
    if (::unlinkat(impl_->fd, impl_->name(name).c_str(), 0) != 0 && errno != ENOENT)
        fail(impl_->path + u"/" + name, errno);
}

bool KeepFolder::forget(const std::u16string& path, const std::atomic<bool>* stop) {
    const std::string where = CodePage::system().encode(path);
    DIR* folder = ::opendir(where.c_str());
    if (!folder) {
        if (errno == ENOENT) return true;
        fail(path, errno);
    }
    const int fd = ::dirfd(folder);
    while (const dirent* entry = ::readdir(folder)) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            ::closedir(folder);
            return false;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        ::unlinkat(fd, entry->d_name, 0);
    }
    ::closedir(folder);
    if (::rmdir(where.c_str()) != 0 && errno != ENOENT) fail(path, errno);
    return true;
}

std::u16string KeepFolder::setAside(const std::u16string& path) {
    const std::string from = CodePage::system().encode(path);
    for (int attempt = 0; attempt <= 100; ++attempt) {
        const std::string to = from + ".gone-" + temporaryName().substr(1, 26);
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return CodePage::system().decode(to);
        if (errno == ENOENT) return {};
        if (errno != EEXIST) fail(path, errno);
    }
    fail(path, EEXIST);
}

namespace {

// 0, or the errno: copies the whole of `from` to `to`, in the kernel where it can.
int copyWhole(int from, int to, off_t size) {
    off_t in = 0;
    while (in < size) {
        const ssize_t n = ::copy_file_range(from, &in, to, nullptr, static_cast<std::size_t>(size - in), 0);
        if (n > 0) continue;
        if (n == 0) return 0;  // shorter than it was
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::pread(from, buffer, sizeof buffer, in);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return errno;
            if (got == 0) return 0;
            if (const int err = writeAll(to, {buffer, static_cast<std::size_t>(got)})) return err;
            in += got;
        }
    }
    return 0;
}

// Keeps the file a commit replaces: linked where it can be, else copied within the budget.
struct KeepStep : NewFile::Step {
    struct Folder {
        int fd;
        dev_t device;
    } folder;
    std::string name;
    std::uint64_t& budget;
    Replacement::Kept kept = Replacement::Kept::Not;

    KeepStep(Folder f, std::string n, std::uint64_t& b) : folder(f), name(std::move(n)), budget(b) {}

    void before(NewFile& file) override {
        if (file.read.st_dev == folder.device) {
            const int err = linkUnnamed(file.oldFd, folder.fd, name);
            if (err == 0) {
                kept = Replacement::Kept::Linked;
                return;
            }
            if (err != EXDEV && err != EPERM && err != EMLINK && err != ENOTSUP) fail(file.path, err);
        }
        const auto size = static_cast<std::uint64_t>(file.read.st_size);
        if (size > budget) return;
        // Made under a name of its own and renamed once whole: a name the caller gave always
        // holds the whole original.
        const std::string partial = name + ".partial";
        const int to = ::openat(folder.fd, partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (to < 0) fail(file.path, errno);
        const struct timespec times[2] = {file.read.st_atim, file.read.st_mtim};
        int err = copyWhole(file.oldFd, to, file.read.st_size);
        if (err == 0 && ::futimens(to, times) != 0) err = errno;
        ::close(to);
        if (err == 0 && ::renameat(folder.fd, partial.c_str(), folder.fd, name.c_str()) != 0) err = errno;
        if (err != 0) {
            ::unlinkat(folder.fd, partial.c_str(), 0);
            fail(file.path, err);
        }
        budget -= size;
        kept = Replacement::Kept::Copied;
    }
    void undo() override {
        if (kept != Replacement::Kept::Not) ::unlinkat(folder.fd, name.c_str(), 0);
        kept = Replacement::Kept::Not;
    }
};

}  // namespace

Replacement::Kept Replacement::commitKeeping(KeepFolder& folder, const std::u16string& name,
                                             std::uint64_t& copyBudget) {
    NewFile& r = impl_->file;
    const KeepFolder::Impl& k = *folder.impl_;
    const std::string keptName = k.name(name);
    if (r.keptIn && r.keptIn != k.open) r.leaveKeepFolder();  // made in another run's folder
    if (r.keptIn && r.keptAs != keptName) {
        if (const int err = moveName(k.fd, r.keptAs, k.fd, keptName)) fail(r.path, err);
        r.keptAs = keptName;
    }
    if (!r.keptIn && r.temp.empty() && r.read.st_dev == k.device && linkUnnamed(r.fd, k.fd, keptName) == 0) {
        r.keptIn = k.open;
        r.keptAs = keptName;
    }
    if (r.keptIn) {
        // On the same volume the new file stands in the kept folder under the kept name, and one
        // exchange puts it in the old file's place and the old file under that name: one call
        // fewer than a link of each. Until the exchange the name holds the new content, which
        // the undo knows by its hash and size, or by the identity of the file it was made for.
        try {
            if (r.seam) r.seam->beforeReplace();
            r.checkUnchanged();
        } catch (...) {
            r.dropKept();
            throw;
        }
        if (::renameat2(k.fd, keptName.c_str(), r.at, r.target.c_str(), RENAME_EXCHANGE) == 0) {
            // The name holds the old file now, which stays.
            r.keptIn.reset();
            r.keptAs.clear();
            return Kept::Linked;
        }
        const int err = errno;
        if (err != EINVAL && err != EXDEV && err != ENOSYS) {
            r.dropKept();
            fail(r.path, err);
        }
        // A file system without exchanges: as below.
        r.leaveKeepFolder();
    }
    KeepStep step({k.fd, k.device}, keptName, copyBudget);
    r.commit(&step);
    return step.kept;
}

bool isKept(const KeepFolder& folder, const std::u16string& name, const SourceFile& current) {
    struct stat kept;
    return ::fstatat(folder.impl_->fd, folder.impl_->name(name).c_str(), &kept, AT_SYMLINK_NOFOLLOW) == 0 &&
           sameFile(kept, current.impl_->st);
}

void restoreKept(KeepFolder& folder, const std::u16string& name, const SourceFile& current,
                 NewFileDefaults& defaults) {
    const KeepFolder::Impl& k = *folder.impl_;
    const SourceFile::Impl& cur = *current.impl_;
    const std::string keptName = k.name(name);
    struct stat kept;
    if (::fstatat(k.fd, keptName.c_str(), &kept, AT_SYMLINK_NOFOLLOW) != 0) fail(k.path + u"/" + name, errno);
    if (kept.st_dev == cur.st.st_dev) {
        // The kept file is the original itself, its metadata and all: it simply moves back.
        NewFile r;
        r.path = cur.path;
        r.name(cur.platformPath);
        r.read = cur.st;
        r.checkUnchanged();
        if (::renameat(k.fd, keptName.c_str(), r.at, r.target.c_str()) == 0) return;
        if (errno != EXDEV) fail(cur.path, errno);
    }
    // A copy on another volume: its content and times go back into a new file that takes the
    // current file's metadata, which the conversion had kept from the original.
    const SourceFile copy(k.path + u"/" + name);
    Replacement back(current, copy.bytes(), defaults);
    const struct timespec times[2] = {kept.st_atim, kept.st_mtim};
    if (::futimens(back.impl_->file.fd, times) != 0) fail(cur.path, errno);
    back.commit();
    folder.remove(name);
}

// --- Whole-file writes -----------------------------------------------------------------------

void replaceFile(const std::u16string& path, std::string_view bytes, WriteOptions options) {
    NewFileDefaults defaults;
    std::string target = CodePage::system().encode(path);
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0 || errno != ENOENT) {
        const SourceFile original(path, 0);
        Replacement(original, bytes, defaults, options).commit();
        return;
    }
    // Nothing of that name: a new file, also put in place by a rename, with the usual mode.
    NewFile r;
    r.path = path;
    r.name(target);
    r.open(0666);
    if (const int err = writeAll(r.fd, bytes)) fail(path, err);
    if (options.flushToDisk && ::fsync(r.fd) != 0) fail(path, errno);
    r.commit();
}

void writeTextFile(const std::u16string& path, std::u16string_view text, WriteOptions options) {
    replaceFile(path, CodePage::system().encode(text), options);
}

}  // namespace tavirel
