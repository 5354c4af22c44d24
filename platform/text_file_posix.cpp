#include "text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <random>

#include "code_page.h"
#include "errors.h"

namespace tavirel {
namespace {

[[noreturn]] void fail(const std::string& path, int err) { throw FileError(path, std::strerror(err)); }

class FdCloser {
public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0) ::close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

private:
    int fd_;
};

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows a chain of symbolic links to the file that a write must replace, even when that file
// does not exist yet. `exists` and `st` tell of that file.
std::string resolveLinks(const std::string& path, bool& exists, struct stat& st) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        exists = ::lstat(current.c_str(), &st) == 0;
        if (!exists && errno != ENOENT) fail(path, errno);
        if (!exists || !S_ISLNK(st.st_mode)) return current;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0) fail(path, errno);
        target.resize(static_cast<std::size_t>(n));
        if (target.empty() || target[0] != '/') {
            const std::string folder = folderOf(current);
            if (!folder.empty()) target = folder + "/" + target;
        }
        current = target;
    }
    fail(path, ELOOP);
}

std::string temporaryName(const std::string& folder) {
    static std::mt19937_64 random{std::random_device{}()};
    char name[64];
    std::snprintf(name, sizeof name, ".tavirel-%d-%016llx.tmp", static_cast<int>(::getpid()),
                  static_cast<unsigned long long>(random()));
    return folder.empty() ? std::string(name) : folder + "/" + name;
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

// Creates a fresh dot-named file in `folder`; throws FileError for `path` when it cannot.
int createNamed(const std::string& folder, mode_t mode, std::string& temp, const std::string& path) {
    for (int attempt = 0;; ++attempt) {
        temp = temporaryName(folder);
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) return fd;
        if (errno != EEXIST || attempt > 100) {
            temp.clear();
            fail(path, errno);
        }
    }
}

// Gives the unnamed file `fd` a fresh dot name in `folder`: 0, or the errno.
int linkUnnamed(int fd, const std::string& folder, std::string& temp) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt <= 100; ++attempt) {
        temp = temporaryName(folder);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
        if (errno != EEXIST) break;
    }
    const int err = errno;
    temp.clear();
    return err;
}

// The whole content of a regular file. Throws FileError. Returns false, reading nothing, when the
// file holds more than `byteLimit` bytes.
bool readFileBytes(const std::string& path, std::string& out, std::size_t byteLimit) {
    // O_NONBLOCK keeps a listed FIFO from hanging the open; it is refused just below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) fail(path, errno);
    FdCloser closer(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0) fail(path, errno);
    if (S_ISDIR(st.st_mode)) fail(path, EISDIR);
    if (!S_ISREG(st.st_mode)) throw FileError(path, "not a regular file");
    if (static_cast<std::size_t>(st.st_size) > byteLimit) return false;

    out.clear();
    out.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == out.size()) out.resize(out.size() * 2);
        const ssize_t n = ::read(fd, out.data() + used, out.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(path, errno);
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
        if (used > byteLimit) return false;  // grew while we read it
    }
    out.resize(used);
    return true;
}

}  // namespace

std::string platformPath(std::u16string_view path) { return CodePage::system().encode(path); }

TextInput::TextInput(std::u16string_view path, std::size_t byteLimit) {
    std::string bytes;
    if (!readFileBytes(platformPath(path), bytes, byteLimit)) {
        tooLarge_ = true;
        return;
    }
    text_ = CodePage::system().decode(bytes);
}

std::u16string_view TextInput::readLine() {
    const std::u16string_view rest = std::u16string_view(text_).substr(pos_);
    const std::size_t cr = rest.find(u'\r');
    if (cr == std::u16string_view::npos) {
        pos_ = text_.size();
        return rest;
    }
    pos_ += cr + 1;
    if (pos_ < text_.size() && text_[pos_] == u'\n') ++pos_;
    return rest.substr(0, cr);
}

void writeTextFile(std::u16string_view path, std::u16string_view text, WriteOptions options) {
    const std::string bytes = CodePage::system().encode(text);
    replaceFile(platformPath(path), bytes, options);
}

void replaceFile(const std::string& path, std::string_view bytes, WriteOptions options) {
    bool exists = false;
    struct stat st;
    const std::string target = resolveLinks(path, exists, st);
    if (exists) {
        if (S_ISDIR(st.st_mode)) fail(path, EISDIR);
        if (!S_ISREG(st.st_mode)) throw FileError(path, "not a regular file");
        // The read-only attribute: refused even for root, whom the permission bits do not bind.
        if ((st.st_mode & 0222) == 0) throw FileError(path, "read-only file");
        // The rename needs only the folder's permission; never replace what we could not write.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) fail(path, errno);
    }

    // The new content first goes into an unnamed file, so that a killed process leaves nothing
    // behind; it gets a dot name only for the moment before the rename. Where the file system
    // has no unnamed files, a named one is used from the start.
    const std::string folder = folderOf(target);
    const mode_t createMode = exists ? 0600 : 0666;
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode);
    std::string temp;
    if (fd < 0) fd = createNamed(folder, createMode, temp, path);

    int err = writeAll(fd, bytes);
    if (err == 0 && exists) {
        // Owner first: changing it may clear set-id bits that the mode then restores.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0 && errno != EPERM) err = errno;
        if (err == 0 && ::fchmod(fd, st.st_mode & 07777) != 0) err = errno;
    }
    if (err == 0 && options.flushToDisk && ::fsync(fd) != 0) err = errno;
    if (err == 0 && temp.empty()) err = linkUnnamed(fd, folder, temp);
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
    if (err != 0) {
        if (!temp.empty()) ::unlink(temp.c_str());
        fail(path, err);
    }
}

}  // namespace tavirel
