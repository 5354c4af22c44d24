// SPDX-License-Identifier: MIT
// Folder enumeration over getdents64. The entry type it gives spares a stat for everything but
// folders, as find(1) does.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "code_page.h"
#include "errors.h"
#include "folder_enum.h"
#include "handles_internal.h"

namespace tavirel {

const char16_t kPathSeparator = u'/';

namespace {

std::uint32_t wordFor(const struct stat& st, std::string_view name) {
    if (S_ISLNK(st.st_mode)) return kAttributeReparsePoint;
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return kAttributeDevice;
    std::uint32_t word = S_ISDIR(st.st_mode) ? std::uint32_t{kAttributeDirectory} : 0;
    if (!name.empty() && name[0] == '.') word |= kAttributeHidden;
    if ((st.st_mode & 0222) == 0) word |= kAttributeReadOnly;
    return word == 0 ? kAttributeNormal : word;
}

std::string_view lastComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Reads the entries straight from the kernel: opendir would first fstat the folder to size a
// buffer, a call per folder that the search does not need.
class PosixListing : public FolderListing {
public:
    explicit PosixListing(int fd) : fd_(fd) {}
    ~PosixListing() override { closeHandle(fd_); }

    bool findNext(FindData& data) override {
        if (next_ == end_) {
            ssize_t n;
            while ((n = ::getdents64(fd_, buffer_, kBuffer)) < 0 && errno == EINTR) {
            }
            if (n <= 0) return false;
            next_ = 0;
            end_ = static_cast<std::size_t>(n);
        }
        const auto* entry = reinterpret_cast<const dirent64*>(buffer_ + next_);
        next_ += entry->d_reclen;
        data.cFileName = CodePage::system().decode(entry->d_name);
        data.dwFileAttributes = attributesOf(*entry);
        return true;
    }

private:
    static constexpr std::size_t kBuffer = 32768;

    std::uint32_t attributesOf(const dirent64& entry) const {
        const std::string_view name = entry.d_name;
        // "." and ".." are folders the search never enters or lists; their own flags do not matter.
        if (name == "." || name == "..") return kAttributeDirectory | kAttributeHidden;
        switch (entry.d_type) {
            case DT_REG: return name[0] == '.' ? kAttributeHidden : kAttributeNormal;
            case DT_LNK: return kAttributeReparsePoint;
            case DT_FIFO:
            case DT_SOCK:
            case DT_CHR:
            case DT_BLK: return kAttributeDevice;
            default: break;  // a folder, or a file system that does not say
        }
        struct stat st;
        if (::fstatat(fd_, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return kAttributeDevice;
        return wordFor(st, name);
    }

    int fd_;
    alignas(dirent64) char buffer_[kBuffer];  // aligned as the kernel's entries are
    std::size_t next_ = 0;
    std::size_t end_ = 0;
};

class PosixFolderReader : public FolderReader {
public:
    std::unique_ptr<FolderListing> findFirst(const std::u16string& path, FindData& data) override {
        const int fd = ::open(CodePage::system().encode(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        auto listing = std::make_unique<PosixListing>(fd);
        if (!listing->findNext(data)) return nullptr;
        return listing;
    }
};

}  // namespace

bool folderOrFileVisible(const std::u16string& path) {
    const std::string bytes = CodePage::system().encode(path);
    struct stat st;
    if (::stat(bytes.c_str(), &st) != 0 || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode))) return false;
    const std::string_view name = lastComponent(bytes);
    return name.empty() || name[0] != '.';
}

void createFolder(const std::u16string& path) {
    if (::mkdir(CodePage::system().encode(path).c_str(), 0777) != 0)
        throw FileError(path, std::strerror(errno));
}

std::string folderUnreadableReason(const std::u16string& path) {
    if (path.empty()) return "no folder named";
    std::string bytes;
    try {
        bytes = CodePage::system().encode(path);
    } catch (const EncodeError& e) {
        return e.what();
    }
    const int fd = ::open(bytes.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    // Listing needs read permission, reaching the entries needs search permission.
    const int searchable = ::faccessat(fd, ".", X_OK, AT_EACCESS);
    const int err = errno;
    ::close(fd);
    return searchable == 0 ? std::string() : std::strerror(err);
}

std::u16string programFolder() {
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0) return u".";
    path.resize(static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    path.resize(slash == 0 ? 1 : slash);
    return CodePage::system().decode(path);
}

std::u16string userStateFolder() {
    // Only a whole path counts: XDG has a relative one ignored.
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/')
        return CodePage::system().decode(state);
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return CodePage::system().decode(std::string(home) + "/.local/state");
    return {};
}

std::u16string absolutePath(const std::u16string& path) {
    char* real = ::realpath(CodePage::system().encode(path).c_str(), nullptr);
    if (!real) return path;
    std::u16string whole = CodePage::system().decode(real);
    std::free(real);
    return whole;
}

FolderReader& systemFolderReader() {
    static PosixFolderReader reader;
    return reader;
}

}  // namespace tavirel
