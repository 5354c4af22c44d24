// SPDX-License-Identifier: MIT
// Folder enumeration over opendir/readdir. The entry type that readdir gives spares a stat for
// everything but folders, as find(1) does.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "code_page.h"
#include "errors.h"
#include "folder_enum.h"

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

class PosixListing : public FolderListing {
public:
    explicit PosixListing(DIR* dir) : dir_(dir) {}
    ~PosixListing() override { ::closedir(dir_); }

    bool findNext(FindData& data) override {
        const dirent* entry = ::readdir(dir_);
        if (!entry) return false;
        data.cFileName = CodePage::system().decode(entry->d_name);
        data.dwFileAttributes = attributesOf(*entry);
        return true;
    }

private:
    std::uint32_t attributesOf(const dirent& entry) const {
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
        if (::fstatat(::dirfd(dir_), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return kAttributeDevice;
        return wordFor(st, name);
    }

    DIR* dir_;
};

class PosixFolderReader : public FolderReader {
public:
    std::unique_ptr<FolderListing> findFirst(const std::u16string& path, FindData& data) override {
        DIR* dir = ::opendir(CodePage::system().encode(path).c_str());
        if (!dir) return nullptr;
        auto listing = std::make_unique<PosixListing>(dir);
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
