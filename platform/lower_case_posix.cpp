// SPDX-License-Identifier: MIT
#include <locale.h>
#include <wctype.h>

#include "lower_case.h"

namespace tavirel {

std::u16string toLower(std::u16string text) {
    // C.UTF-8 is built into the C library, so the mapping does not hang on the user's locale.
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    for (char16_t& u : text) {
        if (u >= u'A' && u <= u'Z') {
            u = static_cast<char16_t>(u + (u'a' - u'A'));
        } else if (u >= 0x80 && (u < 0xD800 || u > 0xDFFF) && unicode) {
            const wint_t lower = towlower_l(u, unicode);
            if (lower < 0x10000 && (lower < 0xD800 || lower > 0xDFFF)) u = static_cast<char16_t>(lower);
        }
    }
    return text;
}

}  // namespace tavirel
