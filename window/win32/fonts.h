// SPDX-License-Identifier: MIT
// Fonts that show the tool's Chinese texts on any Windows: the face asked for where it can, else a
// Chinese face the system has.
#pragma once

#include <windows.h>

#include <string_view>

namespace tavirel {

/// 宋体 where the system has it, else another Chinese face it has; 宋体 when it has none of them,
/// for the font mapper to stand in for.
const wchar_t* chineseFace();

/// Whether `font` itself has a glyph for every character of `text`.
bool covers(HFONT font, std::wstring_view text);

/// The system's message font at `dpi`, or the Chinese face at its size where that font cannot
/// show `text`. The caller deletes it.
HFONT messageFont(UINT dpi, std::wstring_view text);

}  // namespace tavirel
