// SPDX-License-Identifier: MIT
#include <windows.h>

#include "fonts.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace tavirel {
namespace {

bool fontExists(const wchar_t* face) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
    bool found = false;
    const HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(
        screen, &wanted,
        [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM data) -> int {
            *reinterpret_cast<bool*>(data) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

}  // namespace

const wchar_t* chineseFace() {
    static const wchar_t* const face = [] {
        for (const wchar_t* f : {L"宋体", L"SimSun", L"NSimSun", L"Microsoft YaHei", L"WenQuanYi Micro Hei",
                                 L"WenQuanYi Zen Hei", L"Noto Sans CJK SC", L"Noto Serif CJK SC"}) {
            if (fontExists(f)) return f;
        }
        return L"宋体";
    }();
    return face;
}

bool covers(HFONT font, std::wstring_view text) {
    const HDC screen = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(screen, font);
    std::vector<WORD> glyphs(text.size());
    const DWORD n = GetGlyphIndicesW(screen, text.data(), static_cast<int>(text.size()), glyphs.data(),
                                     GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    return n == text.size() && std::find(glyphs.begin(), glyphs.end(), 0xFFFF) == glyphs.end();
}

HFONT messageFont(UINT dpi, std::wstring_view text) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    if (covers(font, text)) return font;
    DeleteObject(font);
    LOGFONTW chinese = metrics.lfMessageFont;
    chinese.lfCharSet = GB2312_CHARSET;
    wcsncpy(chinese.lfFaceName, chineseFace(), LF_FACESIZE - 1);
    return CreateFontIndirectW(&chinese);
}

}  // namespace tavirel
