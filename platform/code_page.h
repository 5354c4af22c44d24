// SPDX-License-Identifier: MIT
// The system's 8-bit code page: how file contents, file names and paths become texts (UTF-16
// code units) and back.
#pragma once

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

/// One codeset, converted with the C library's iconv (UTF-8 has a hand-written path).
/// Decoding never fails and encode(decode(bytes)) == bytes for every byte string: a byte that
/// does not start a character encoding back to exactly the same bytes is carried as a reserved
/// unit. Encoding fails with EncodeError on a character the codeset lacks; it never substitutes.
/// The codeset must agree with ASCII on bytes below 0x80, as every 8-bit code page does.
class CodePage {
public:
    /// `codeset` is an iconv name such as "UTF-8", "GBK" or "GB18030". Throws Error if unknown.
    explicit CodePage(std::string codeset);
    ~CodePage();
    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    /// The codeset of the user's locale (LC_CTYPE), opened once; UTF-8 under the C or POSIX
    /// locale, or when the locale's codeset is unknown to iconv.
    static const CodePage& system();
    /// The name system() uses, read from the environment the way setlocale() does.
    static std::string systemCodesetName();

    const std::string& name() const { return name_; }

    std::u16string decode(std::string_view bytes) const;
    std::string encode(std::u16string_view text) const;

private:
    void decodeOne(std::string_view bytes, std::size_t& pos, std::u16string& out) const;
    void encodeRun(std::u32string_view run, std::string& out) const;

    std::string name_;
    bool utf8_ = false;
    void* toUnicode_ = nullptr;    // iconv_t: codeset -> UTF-32LE
    void* fromUnicode_ = nullptr;  // iconv_t: UTF-32LE -> codeset
};

}  // namespace tavirel
