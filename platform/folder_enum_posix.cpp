#include "folder_enum.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "errors.h"

namespace tavirel {
namespace {

std::uint32_t wordFor(const struct stat& st, std::string_view name) {
    if (S_ISLNK(st.st_mode)) return kAttributeReparsePoint;
    std::uint32_t word = S_ISDIR(st.st_mode) ? kAttributeDirectory : kAttributeNormal;
    if (!name.empty() && name[0] == '.') word |= kAttributeHidden;
    if ((st.st_mode & 0222) == 0) word |= kAttributeReadOnly;
    return word == kAttributeNormal ? kAttributeNormal : word & ~kAttributeNormal;
}

std::string_view lastComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

class PosixListing : public FolderListing {
public:
    PosixListing(DIR* dir, std::string path) : dir_(dir), path_(std::move(path)) {}
    ~PosixListing() override { ::closedir(dir_); }

    bool findNext(FindData& data) override {
        const dirent* entry = ::readdir(dir_);
        if (!entry) return false;
        data.cFileName = entry->d_name;
        data.dwFileAttributes = attributesOf(*entry);
        return true;
    }

private:
    std::uint32_t attributesOf(const dirent& entry) const {
        const std::string_view name = entry.d_name;
        if (name == "." || name == "..") return dotEntryAttributes(name);
        // The entry type spares a stat for everything but folders, as find(1) does.
        switch (entry.d_type) {
            case DT_REG: return name[0] == '.' ? kAttributeHidden : kAttributeNormal;
            case DT_LNK: return kAttributeReparsePoint;
            default: break;
        }
        struct stat st;
        if (::fstatat(::dirfd(dir_), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return kAttributeNormal;
        return wordFor(st, name);
    }

    // "." is the folder being read and ".." its parent: their own names decide whether they are
    // hidden, their own modes whether they are read-only.
    std::uint32_t dotEntryAttributes(std::string_view name) const {
        const std::string path = name == "." ? path_ : path_ + "/..";
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) return kAttributeDirectory | kAttributeHidden;
        char* real = ::realpath(path.c_str(), nullptr);
        const std::string realPath = real ? real : path;
        std::free(real);
        return wordFor(st, lastComponent(realPath));
    }

    DIR* dir_;
    std::string path_;
};

class PosixFolderReader : public FolderReader {
public:
    std::unique_ptr<FolderListing> findFirst(const std::string& path, FindData& data) override {
        DIR* dir = ::opendir(path.c_str());
        if (!dir) return nullptr;
        auto listing = std::make_unique<PosixListing>(dir, path);
        if (!listing->findNext(data)) return nullptr;
        return listing;
    }
};

}  // namespace

bool folderOrFileVisible(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode))) return false;
    const std::string_view name = lastComponent(path);
    return name.empty() || name[0] != '.';
}

void createFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) != 0) throw FileError(path, std::strerror(errno));
}

FolderReader& systemFolderReader() {
    static PosixFolderReader reader;
    return reader;
}

}  // namespace tavirel
