// SPDX-License-Identifier: MIT
// Code units as UTF-8, for what is matched against a regular expression: a pair as its
// character, a lone half or a unit that stands for an undecodable byte as U+FFFD.
#pragma once

#include <string>
#include <string_view>

#include "code_page.h"

namespace tavirel {

/// One code point (below U+110000, not a surrogate) as UTF-8.
inline void appendCodePoint(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
        out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                static_cast<char>(0x80 | (c & 0x3F))};
    } else {
        out += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
}

inline void appendUtf8(std::string& out, std::u16string_view units) {
    for (std::size_t k = 0; k < units.size(); ++k) {
        char32_t c = units[k];
        if (c >= 0xD800 && c < 0xDC00 && k + 1 < units.size() && units[k + 1] >= 0xDC00 &&
            units[k + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++k] - 0xDC00);
        } else if ((c >= 0xD800 && c < 0xE000) || isReservedUnit(units[k])) {
            c = 0xFFFD;
        }
        appendCodePoint(out, c);
    }
}

}  // namespace tavirel
