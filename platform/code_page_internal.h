// SPDX-License-Identifier: MIT
// What the code page's twins share: the strict UTF-8 of our own and the pieces of a conversion.
#pragma once

#include <cstdint>
#include <memory>
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

    /// One decode or encode on one thread. The conversion state it works with is its own while it
    /// lives, so that any number of threads convert in the same code page at once.
    class Use {
    public:
        explicit Use(const Converter& converter);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

        /// Decodes the one character at bytes[pos], advancing pos past it, or carries its first
        /// byte as a reserved unit: a character is taken only if it encodes back to its own bytes.
        void decodeOne(std::string_view bytes, std::size_t& pos, std::u16string& out);
        /// Encodes code points that are neither ASCII nor reserved units; throws EncodeError.
        void encodeRun(std::u32string_view run, std::string& out);

    private:
        const Converter& converter_;
        std::uintptr_t state_[2] = {};  // the platform's handles or numbers
    };

    std::string name;
    struct Platform;  // what the twin keeps for every Use
    std::unique_ptr<Platform> platform;
};

}  // namespace tavirel
