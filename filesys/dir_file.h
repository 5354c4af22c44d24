// SPDX-License-Identifier: MIT
// File-system access of the tool: the recursive search for files of one extension, the extension
// of a name, the folder picker and folder creation. Keeps no data of its own: one instance
// serves any number of calls, nested ones included.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavirel {

class FolderReader;

/// Where the search puts what it finds: append only, in the order found.
class ItemList {
public:
    virtual ~ItemList() = default;
    /// Appends one entry. May throw; the search then skips that entry and goes on.
    virtual void AddItem(const std::u16string& text) = 0;
};

/// Shows a modal folder picker owned by the window `owner`, with `prompt`, and gives the full
/// path of the chosen folder, or the empty text on cancel. A window gives its own dialog; tests
/// give a fake.
using FolderPicker = std::function<std::u16string(std::uintptr_t owner, const std::u16string& prompt)>;

class Dir_File {
public:
    /// Reads folders through `reader` (by default the real file system) and shows `picker` for
    /// BrowseForFolder (without one, every pick is a cancel).
    explicit Dir_File(FolderReader* reader = nullptr, FolderPicker picker = nullptr);

    /// Appends `strDir` + separator + name for every regular file under `strDir` whose extension,
    /// lower-cased, equals `strFilter` lower-cased, or for every regular file when `strFilter` is
    /// "*". A folder's files are appended while it is read; its subfolders are searched after it
    /// is closed, each subtree whole before the next. Only plain folders (attribute word exactly
    /// 16) are descended into; links, special files and other folders are neither followed nor
    /// listed. Yields before each next entry, before each descent, and in GetExtName. Never throws.
    void SearchFiles(std::u16string strDir, std::u16string strFilter, ItemList& objList);

    /// What SearchFiles() for each of `filters` in turn appends, in that order, from one walk:
    /// for a caller that wants several extensions and reads the list only when all are in.
    /// Yields as one search does. Never throws.
    void SearchFilesEach(const std::u16string& strDir, const std::vector<std::u16string>& filters,
                         ItemList& objList);

    /// Creates the folder `fPath` unless a folder or file of that name is visible (dot names are
    /// hidden). Only the last folder of the path is created. Throws FileError.
    void MakeDir(std::u16string fPath);

    /// The folder the user picks, without one trailing separator (the root "/" stays as it is);
    /// the empty text when the user cancels.
    std::u16string BrowseForFolder(std::uintptr_t hWndOwner, std::u16string sPrompt);

    /// The characters after the last "." of `strFileName`, in their own case; the whole text when
    /// it holds no dot. "/" is an ordinary character, so a whole path reaches back to the last dot
    /// anywhere in it. Yields once per character examined, the dot included.
    std::u16string GetExtName(std::u16string strFileName);

private:
    friend class RememberedFolders;
    // The search's walk: `take(folder, name)` for each regular file.
    template <typename Take>
    void walk(const std::u16string& strDir, Take& take);
    FolderReader* reader_;
    FolderPicker picker_;
};

/// While it lives, `files` reads each folder from the disk once and serves it from memory after:
/// the searches of one refresh, one per extension, walk the same folders.
class RememberedFolders {
public:
    explicit RememberedFolders(Dir_File& files);
    ~RememberedFolders();
    RememberedFolders(const RememberedFolders&) = delete;
    RememberedFolders& operator=(const RememberedFolders&) = delete;

private:
    class Memo;
    Dir_File& files_;
    FolderReader* previous_;
    std::unique_ptr<Memo> memo_;
};

}  // namespace tavirel
