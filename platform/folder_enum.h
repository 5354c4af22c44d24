// SPDX-License-Identifier: MIT
// Folder enumeration: the entries of one folder, in the platform's own order, each as a name and
// an attribute word. A seam: the search takes any FolderReader, tests give it a fake one.
// Paths and names are texts; the platform layer converts them at its boundary.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tavirel {

/// Attribute flags of an entry. The search descends only into an entry whose word is exactly
/// kAttributeDirectory (a plain folder with no other flag) and lists only entries that carry
/// none of kAttributeDirectory, kAttributeDevice and kAttributeReparsePoint: regular files.
enum : std::uint32_t {
    kAttributeReadOnly = 0x1,
    kAttributeHidden = 0x2,
    kAttributeSystem = 0x4,
    kAttributeDirectory = 0x10,
    kAttributeArchive = 0x20,
    kAttributeDevice = 0x40,  // a FIFO, socket or device node
    kAttributeNormal = 0x80,
    kAttributeReparsePoint = 0x400,  // a symbolic link or junction
};

/// True for an entry the search may list: a regular file, whatever its other flags.
constexpr bool isRegularFile(std::uint32_t attributes) {
    return (attributes & (kAttributeDirectory | kAttributeDevice | kAttributeReparsePoint)) == 0;
}

/// One entry as the platform reports it.
struct FindData {
    std::uint32_t dwFileAttributes = 0;
    std::u16string cFileName;  // exactly as stored: bytes that do not decode become reserved units
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
    /// Opens the folder `path` (which ends in a separator) and fills `data` with its first entry;
    /// nullptr when the folder cannot be read (missing, not a folder, no access, path too long)
    /// or holds no entry.
    virtual std::unique_ptr<FolderListing> findFirst(const std::u16string& path, FindData& data) = 0;
};

/// The directory lookup: true when `path` names a folder or an ordinary file that is not hidden.
bool folderOrFileVisible(const std::u16string& path);

/// Creates the one folder that `path` names. Throws FileError.
void createFolder(const std::u16string& path);

/// Empty when `path` names a folder whose entries can be read (a link to one included);
/// otherwise why not, for a message.
std::string folderUnreadableReason(const std::u16string& path);

/// The folder that holds the running program's file, as a text in the system code page.
std::u16string programFolder();

/// The folder where this user's programs keep their state: $XDG_STATE_HOME, else
/// ~/.local/state; on Windows %LOCALAPPDATA%. The empty text when the system names none.
std::u16string userStateFolder();

/// `path` as a whole path from the root, with no "." or ".." and, here, no link left in it;
/// `path` itself when the system cannot tell.
std::u16string absolutePath(const std::u16string& path);

/// The real file system. A folder's word is exactly kAttributeDirectory when it is not a link,
/// its name does not start with "." (hidden) and it has a write permission bit (not read-only).
FolderReader& systemFolderReader();

/// The separator between a folder and a name in a full path: "/" here, "\" on Windows.
extern const char16_t kPathSeparator;

}  // namespace tavirel
