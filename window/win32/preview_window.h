// SPDX-License-Identifier: MIT
// The preview of one file in a window of its own: the whole file as a diff, what the rules take
// out struck through, its line ends, code page and warnings. It writes nothing.
#pragma once

#include <windows.h>

#include <string>

#include "conversion.h"

namespace tavirel {

/// Opens the preview of the file `path` by the rules of `options`, owned by `owner`, not modal;
/// its 按语法删除注释 box shows the other rules' result. It frees itself when closed. Returns its
/// window.
HWND openPreview(HWND owner, const std::u16string& path, const ConversionOptions& options = {});

}  // namespace tavirel
