// SPDX-License-Identifier: MIT
#include <windows.h>

#include "test_support.h"

namespace tavirel::testing {

std::u16string textOf(const std::filesystem::path& path) {
    return path.u16string();
}

FileIdentity identityOf(const std::filesystem::path& path) {
    const HANDLE h = CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (h != INVALID_HANDLE_VALUE) {
        GetFileInformationByHandle(h, &info);
        CloseHandle(h);
    }
    return {(static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
            (static_cast<std::int64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                info.ftLastWriteTime.dwLowDateTime};
}

bool underWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

void setStateFolder(const std::filesystem::path& folder) {
    SetEnvironmentVariableW(L"LOCALAPPDATA", folder.wstring().c_str());
}

}  // namespace tavirel::testing
