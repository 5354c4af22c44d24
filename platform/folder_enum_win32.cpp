// SPDX-License-Identifier: MIT
// Folder enumeration with FindFirstFileW: every name exactly as stored, whatever the code page,
// and each entry's own attribute word, which the search reads as the system always has.
#include <windows.h>

#include "errors.h"
#include "folder_enum.h"
#include "win32_util.h"

namespace tavirel {

const char16_t kPathSeparator = u'\\';

namespace {

void fill(const WIN32_FIND_DATAW& found, FindData& data) {
    data.dwFileAttributes = found.dwFileAttributes;
    data.cFileName = win32::text(found.cFileName);
}

class Win32Listing : public FolderListing {
public:
    explicit Win32Listing(HANDLE find) : find_(find) {}
    ~Win32Listing() override { FindClose(find_); }

    bool findNext(FindData& data) override {
        WIN32_FIND_DATAW found;
        if (!FindNextFileW(find_, &found)) return false;
        fill(found, data);
        return true;
    }

private:
    HANDLE find_;
};

class Win32FolderReader : public FolderReader {
public:
    std::unique_ptr<FolderListing> findFirst(const std::u16string& path, FindData& data) override {
        WIN32_FIND_DATAW found;
        const HANDLE find = FindFirstFileExW(win32::longPath(path + u"*.*").c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (find == INVALID_HANDLE_VALUE) return nullptr;
        fill(found, data);
        return std::make_unique<Win32Listing>(find);
    }
};

std::u16string joined(const std::u16string& folder, std::u16string_view name) {
    if (!folder.empty() && folder.back() == u'\\') return folder + std::u16string(name);
    return folder + u'\\' + std::u16string(name);
}

}  // namespace

bool folderOrFileVisible(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(win32::longPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

void createFolder(const std::u16string& path) {
    if (!CreateDirectoryW(win32::longPath(path).c_str(), nullptr))
        throw FileError(path, win32::reasonFor(GetLastError()));
}

std::string folderUnreadableReason(const std::u16string& path) {
    if (path.empty()) return "no folder named";
    const DWORD attributes = GetFileAttributesW(win32::longPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return win32::reasonFor(GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return "Not a directory";
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW(win32::longPath(joined(path, u"*")).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return win32::reasonFor(GetLastError());
    FindClose(find);
    return {};
}

std::u16string userStateFolder() {
    std::wstring value(MAX_PATH, L'\0');
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) return {};
    if (n >= value.size()) {
        value.resize(n);
        if (GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), n) != n - 1) return {};
        value.resize(n - 1);
    } else {
        value.resize(n);
    }
    return win32::text(value);
}

std::u16string absolutePath(const std::u16string& path) {
    const std::wstring wide(path.begin(), path.end());
    const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring whole(n, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), n, whole.data(), nullptr);
    if (got == 0 || got >= n) return path;
    whole.resize(got);
    return win32::text(whole);
}

std::u16string programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return u".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::u16string folder = win32::text(path);
    const std::size_t slash = folder.find_last_of(u"\\/");
    if (slash != std::u16string::npos) folder.resize(slash);
    // A drive root is the drive letter and the colon alone, as the picker gives it.
    return folder;
}

FolderReader& systemFolderReader() {
    static Win32FolderReader reader;
    return reader;
}

}  // namespace tavirel
