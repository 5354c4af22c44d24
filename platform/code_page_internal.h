// SPDX-License-Identifier: MIT
// What the code page's twins share: the strict UTF-8 of our own and the pieces of a conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "code_page.h"

namespace tavirel::codepage {

bool isUtf8Name(std::string_view name);
void appendCodePoint(char32_t cp, std::u16string& out);
inline char16_t reservedUnitFor(unsigned char byte) {
    return static_cast<char16_t>(0xDC00 + byte);
}
std::string hexUnit(char32_t c);
/// The code point that starts at text[i], with i advanced past it; throws EncodeError for a lone
/// surrogate that is not a reserved unit.
char32_t takeCodePoint(std::u16string_view text, std::size_t& i);
std::u16string decodeUtf8(std::string_view bytes);
std::string encodeUtf8(std::u16string_view text);

}  // namespace tavirel::codepage

namespace tavirel {

// The platform's conversion of a code page other than UTF-8; each twin defines its members.
struct CodePage::Converter {
    /// Throws Error for a code page the platform does not know.
    explicit Converter(const std::string& name);
    ~Converter();
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    /// Decodes the one character at bytes[pos], advancing pos past it, or carries its first
    /// byte as a reserved unit: a character is taken only if it encodes back to its own bytes.
    void decodeOne(std::string_view bytes, std::size_t& pos, std::u16string& out) const;
    /// Encodes code points that are neither ASCII nor reserved units; throws EncodeError.
    void encodeRun(std::u32string_view run, std::string& out) const;

    std::string name;
    std::uintptr_t state[2] = {};  // the platform's handles or numbers
};

}  // namespace tavirel
