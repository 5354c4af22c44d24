// SPDX-License-Identifier: MIT
// What the Windows twins share: paths as the wide functions take them, errors as short reasons,
// and handles that close themselves.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

namespace tavirel::win32 {

/// The wide form of a text, for the W functions.
inline std::wstring wide(std::u16string_view text) {
    return {text.begin(), text.end()};
}
inline std::u16string text(std::wstring_view wide) {
    return {wide.begin(), wide.end()};
}

/// A path as the W functions take it: made absolute and given the \\?\ prefix where it is longer
/// than MAX_PATH allows, so that deep trees work.
std::wstring longPath(std::u16string_view path);

/// A short cause in plain ASCII, worded as on Linux where there is a match.
std::string reasonFor(DWORD error);

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

}  // namespace tavirel::win32
