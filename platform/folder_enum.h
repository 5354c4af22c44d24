// Folder enumeration: the entries of one folder, in the platform's own order, each as a name and
// an attribute word. A seam: the search takes any FolderReader, tests give it a fake one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tavirel {

/// Attribute flags of an entry. The search descends only into an entry whose word is exactly
/// kAttributeDirectory: a plain folder with no other flag.
enum : std::uint32_t {
    kAttributeReadOnly = 0x1,
    kAttributeHidden = 0x2,
    kAttributeDirectory = 0x10,
    kAttributeNormal = 0x80,
    kAttributeReparsePoint = 0x400,  // a symbolic link
};

/// One entry as the platform reports it.
struct FindData {
    std::uint32_t dwFileAttributes = 0;
    std::string cFileName;  // the name's bytes, exactly as stored
};

/// An open folder being read. Destroying it closes it.
class FolderListing {
public:
    virtual ~FolderListing() = default;
    /// Fills `data` with the next entry. False when none is left or the platform fails.
    virtual bool findNext(FindData& data) = 0;
};

class FolderReader {
public:
    virtual ~FolderReader() = default;
    /// Opens the folder `path` and fills `data` with its first entry; nullptr when the folder
    /// cannot be read (missing, not a folder, no access, path too long) or holds no entry.
    virtual std::unique_ptr<FolderListing> findFirst(const std::string& path, FindData& data) = 0;
};

/// The directory lookup: true when `path` names a folder or an ordinary file that is not hidden
/// (its name does not start with ".").
bool folderOrFileVisible(const std::string& path);

/// Creates the one folder that `path` names. Throws FileError.
void createFolder(const std::string& path);

/// The real file system. A folder's word is exactly kAttributeDirectory when it is not a
/// symbolic link, its name does not start with "." (hidden) and it has a write permission bit
/// (not read-only). "." and ".." carry the attributes of the folders they stand for.
FolderReader& systemFolderReader();

}  // namespace tavirel
