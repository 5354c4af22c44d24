// SPDX-License-Identifier: MIT
#include <windows.h>

#include "lower_case.h"

namespace tavirel {

std::u16string toLower(std::u16string text) {
    // ASCII here; the rest through the system's own mapping, run by run, never handing it a
    // surrogate (a reserved unit stays what it is).
    std::size_t i = 0;
    while (i < text.size()) {
        char16_t& u = text[i];
        if (u < 0x80 || (u >= 0xD800 && u <= 0xDFFF)) {
            if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u + (u'a' - u'A'));
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && text[end] >= 0x80 && (text[end] < 0xD800 || text[end] > 0xDFFF)) ++end;
        std::wstring run(text.begin() + static_cast<std::ptrdiff_t>(i),
                         text.begin() + static_cast<std::ptrdiff_t>(end));
        std::wstring lower(run.size(), L'\0');
        const int n =
            LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, run.c_str(), static_cast<int>(run.size()),
                          lower.data(), static_cast<int>(lower.size()), nullptr, nullptr, 0);
        if (n == static_cast<int>(run.size())) {
            for (std::size_t k = 0; k < run.size(); ++k) text[i + k] = static_cast<char16_t>(lower[k]);
        }
        i = end;
    }
    return text;
}

}  // namespace tavirel
