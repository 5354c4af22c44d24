// SPDX-License-Identifier: MIT
#include "win32_util.h"

#include <vector>

namespace tavirel::win32 {

std::wstring longPath(std::u16string_view path) {
    std::wstring p = wide(path);
    if (p.size() < MAX_PATH - 12 || p.rfind(L"\\\\?\\", 0) == 0) return p;
    const DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
    if (n == 0) return p;
    std::vector<wchar_t> full(n);
    GetFullPathNameW(p.c_str(), n, full.data(), nullptr);
    std::wstring absolute(full.data());
    if (absolute.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + absolute.substr(2);
    return L"\\\\?\\" + absolute;
}

std::string reasonFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH: return "No such file or directory";
        case ERROR_ACCESS_DENIED: return "Permission denied";
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return "in use by another program";
        case ERROR_DIRECTORY: return "Not a directory";
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return "No space left on device";
        case ERROR_WRITE_PROTECT: return "Read-only file system";
        case ERROR_FILENAME_EXCED_RANGE: return "File name too long";
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: return "File exists";
        case ERROR_NO_DATA:
        case ERROR_BROKEN_PIPE: return "Broken pipe";
        case ERROR_INVALID_HANDLE: return "Bad file descriptor";
        default: return "Windows error " + std::to_string(error);
    }
}

}  // namespace tavirel::win32
