// SPDX-License-Identifier: MIT
// The preview of one file in a window of its own: the whole file as a diff, what the rules take
// out struck through, its line ends, code page and warnings. It writes nothing.
#pragma once

#include <windows.h>

#include <string>

namespace tavirel {

/// Opens the preview of the file `path`, owned by `owner`, not modal; it frees itself when closed.
/// Returns its window.
HWND openPreview(HWND owner, const std::u16string& path);

}  // namespace tavirel
