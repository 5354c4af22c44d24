// SPDX-License-Identifier: MIT
// The system's 8-bit code page: how file contents, file names and paths become texts (UTF-16
// code units) and back.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tavirel {

/// A byte 0x80..0xFF that does not decode is carried as the unit U+DC00 + byte. Decoded
/// characters never fall in this range, since encoded surrogates do not decode.
constexpr char16_t kReservedFirst = 0xDC80;
constexpr char16_t kReservedLast = 0xDCFF;

constexpr bool isReservedUnit(char16_t u) {
    return u >= kReservedFirst && u <= kReservedLast;
}

/// One codeset, converted by the platform (UTF-8 has a hand-written path of our own).
/// Decoding never fails and encode(decode(bytes)) == bytes for every byte string: a byte that
/// does not start a character encoding back to exactly the same bytes is carried as a reserved
/// unit. Encoding fails with EncodeError on a character the codeset lacks; it never substitutes.
/// The codeset must agree with ASCII on bytes below 0x80, as every 8-bit code page does.
class CodePage {
public:
    /// `codeset` is a name such as "UTF-8", "GBK", "GB18030" or "CP936". Throws Error if unknown.
    explicit CodePage(std::string codeset);
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    /// The code page of the user's locale (LC_CTYPE; on Windows the ANSI code page), opened once;
    /// UTF-8 under the C or POSIX locale, or when the locale's codeset is unknown.
    static const CodePage& system();
    /// The name system() uses, read the way the C library (or Windows) does.
    static std::string systemCodesetName();

    const std::string& name() const { return name_; }

    std::u16string decode(std::string_view bytes) const;
    std::string encode(std::u16string_view text) const;

    /// The platform's conversion of a code page other than UTF-8, one character at a time: what
    /// it holds is the platform twin's own.
    struct Converter;

private:
    std::string name_;
    bool utf8_ = false;
    std::unique_ptr<Converter> converter_;
};

}  // namespace tavirel
