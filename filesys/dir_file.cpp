// SPDX-License-Identifier: MIT
#include "dir_file.h"

#include <string_view>
#include <unordered_map>
#include <vector>

#include "event_yield.h"
#include "folder_enum.h"
#include "lower_case.h"

namespace tavirel {
namespace {

// Where the extension of `name` starts: after its last dot, else at 0. Yields once per character
// examined, the dot included.
std::size_t extensionAt(std::u16string_view name) {
    std::size_t i = name.size();
    for (; i > 0; --i) {
        yieldToEventLoop();
        if (name[i - 1] == u'.') break;
    }
    return i;
}

// What toLower(GetExtName(name)) == lowerFilter says, without copying the name where its
// extension is ASCII: the search asks it of every entry once per extension.
bool extensionIs(const std::u16string& name, const std::u16string& lowerFilter) {
    const std::u16string_view ext = std::u16string_view(name).substr(extensionAt(name));
    if (ext.size() != lowerFilter.size()) return false;  // lower-casing keeps the length
    for (std::size_t i = 0; i < ext.size(); ++i) {
        char16_t u = ext[i];
        if (u >= 0x80) return toLower(std::u16string(ext)) == lowerFilter;
        if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u + (u'a' - u'A'));
        if (u != lowerFilter[i]) return false;
    }
    return true;
}

}  // namespace

Dir_File::Dir_File(FolderReader* reader, FolderPicker picker)
    : reader_(reader ? reader : &systemFolderReader()), picker_(std::move(picker)) {}

template <typename Take>
void Dir_File::walk(const std::u16string& strDir, Take& take) {
    // Every step that fails is passed over and the walk goes on: nothing leaves this call.
    std::vector<std::u16string> subfolders;

    auto handleEntry = [&](const FindData& data) {
        const std::u16string& name = data.cFileName;
        if (data.dwFileAttributes == kAttributeDirectory) {
            if (name != u"." && name != u"..") subfolders.push_back(strDir + kPathSeparator + name);
        } else if (!isRegularFile(data.dwFileAttributes)) {
            // Links, special files and folders not descended into are neither followed nor listed:
            // converting one would write outside the tree or stop the batch.
        } else {
            take(strDir, name);
        }
    };

    try {
        FindData data;
        std::unique_ptr<FolderListing> listing = reader_->findFirst(strDir + kPathSeparator, data);
        if (!listing) return;
        for (bool more = true; more;) {
            try {
                handleEntry(data);
            } catch (const std::exception&) {
                // The list refused the entry, or memory ran out: that entry is missing.
            }
            yieldToEventLoop();
            more = listing->findNext(data);
        }
    } catch (const std::exception&) {
        // The folder could not be read to its end: its subfolders found so far are still searched.
    }

    // The folder is closed before the descent, so a walk holds one open folder at a time.
    for (std::u16string& subfolder : subfolders) {
        yieldToEventLoop();
        walk(subfolder, take);
    }
}

void Dir_File::SearchFiles(std::u16string strDir, std::u16string strFilter, ItemList& objList) {
    const std::u16string lowerFilter = toLower(strFilter);
    auto take = [&](const std::u16string& dir, const std::u16string& name) {
        if (strFilter == u"*" || extensionIs(name, lowerFilter)) objList.AddItem(dir + kPathSeparator + name);
    };
    walk(strDir, take);
}

void Dir_File::SearchFilesEach(const std::u16string& strDir, const std::vector<std::u16string>& filters,
                               ItemList& objList) {
    std::vector<std::u16string> lowerFilters;
    for (const std::u16string& filter : filters) lowerFilters.push_back(toLower(filter));
    std::vector<std::vector<std::u16string>> found(filters.size());
    auto take = [&](const std::u16string& dir, const std::u16string& name) {
        for (std::size_t k = 0; k < filters.size(); ++k) {
            if (filters[k] == u"*" || extensionIs(name, lowerFilters[k]))
                found[k].push_back(dir + kPathSeparator + name);
        }
    };
    walk(strDir, take);
    for (const std::vector<std::u16string>& paths : found) {
        for (const std::u16string& path : paths) {
            try {
                objList.AddItem(path);
            } catch (const std::exception&) {
                // As in a search of its own: that entry is missing.
            }
        }
    }
}

void Dir_File::MakeDir(std::u16string fPath) {
    if (!folderOrFileVisible(fPath)) createFolder(fPath);
}

std::u16string Dir_File::BrowseForFolder(std::uintptr_t hWndOwner, std::u16string sPrompt) {
    std::u16string folder = picker_ ? picker_(hWndOwner, sPrompt) : std::u16string();
    // The root keeps its separator: without it the result would read as a cancel.
    if (folder.size() > 1 && folder.back() == kPathSeparator) folder.pop_back();
    return folder;
}

std::u16string Dir_File::GetExtName(std::u16string strFileName) {
    return strFileName.substr(extensionAt(strFileName));
}

// Each folder's entries as first read, in their order; a folder that could not be read is
// remembered as such.
class RememberedFolders::Memo : public FolderReader {
public:
    explicit Memo(FolderReader& below) : below_(below) {}

    std::unique_ptr<FolderListing> findFirst(const std::u16string& path, FindData& data) override {
        auto it = folders_.find(path);
        if (it == folders_.end()) {
            std::vector<FindData> entries;
            FindData entry;
            if (std::unique_ptr<FolderListing> listing = below_.findFirst(path, entry)) {
                do entries.push_back(entry);
                while (listing->findNext(entry));
            }
            it = folders_.emplace(path, std::move(entries)).first;
        }
        if (it->second.empty()) return nullptr;
        auto listing = std::make_unique<Listing>(it->second);
        listing->findNext(data);
        return listing;
    }

private:
    struct Listing : FolderListing {
        explicit Listing(const std::vector<FindData>& e) : entries(e) {}
        bool findNext(FindData& data) override {
            if (next == entries.size()) return false;
            data = entries[next++];
            return true;
        }
        const std::vector<FindData>& entries;
        std::size_t next = 0;
    };

    FolderReader& below_;
    std::unordered_map<std::u16string, std::vector<FindData>> folders_;
};

RememberedFolders::RememberedFolders(Dir_File& files)
    : files_(files), previous_(files.reader_), memo_(std::make_unique<Memo>(*files.reader_)) {
    files_.reader_ = memo_.get();
}

RememberedFolders::~RememberedFolders() {
    files_.reader_ = previous_;
}

}  // namespace tavirel
