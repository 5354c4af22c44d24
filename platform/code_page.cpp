// SPDX-License-Identifier: MIT
// The code page's shared side: our strict UTF-8, and the ASCII and reserved units that every code
// page passes through unchanged; the platform's twin converts the rest.

#include "code_page.h"

#include <cstdio>

#include "code_page_internal.h"
#include "errors.h"

namespace tavirel {
namespace codepage {

bool isUtf8Name(std::string_view name) {
    std::string squeezed;
    for (char c : name) {
        if (c != '-' && c != '_') squeezed += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return squeezed == "UTF8";
}

void appendCodePoint(char32_t cp, std::u16string& out) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// Strict UTF-8: overlong forms, encoded surrogates and code points past U+10FFFF do not decode.
std::u16string decodeUtf8(std::string_view bytes) {
    // Every byte gives at most one unit: write into room for all of them, then trim.
    std::u16string out(bytes.size(), u'\0');
    char16_t* o = out.data();
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            *o++ = b;
            ++i;
            continue;
        }
        std::size_t len = 0;
        char32_t cp = 0;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2, cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3, cp = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4, cp = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        }
        bool ok = len != 0 && i + len <= n && s[i + 1] >= lo && s[i + 1] <= hi;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) ok = false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (!ok) {
            *o++ = reservedUnitFor(b);
            ++i;
        } else if (cp < 0x10000) {
            *o++ = static_cast<char16_t>(cp);
            i += len;
        } else {
            cp -= 0x10000;
            *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            i += len;
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

std::string hexUnit(char32_t c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
    return buf;
}

// The code point that starts at text[i], with i advanced past it; a lone surrogate that is not
// a reserved unit has no encoding in any code page.
char32_t takeCodePoint(std::u16string_view text, std::size_t& i) {
    const char16_t u = text[i++];
    if (u >= 0xD800 && u <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
        return 0x10000 + ((static_cast<char32_t>(u - 0xD800) << 10) | (text[i++] - 0xDC00));
    }
    if (u >= 0xD800 && u <= 0xDFFF)
        throw EncodeError("unpaired surrogate " + hexUnit(u) + " cannot be encoded");
    return u;
}

std::string encodeUtf8(std::u16string_view text) {
    // A unit takes at most three bytes (a pair of surrogates four for two): room for the worst.
    std::string out(text.size() * 3, '\0');
    char* o = out.data();
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t u = text[i];
        if (u < 0x80) {
            *o++ = static_cast<char>(u);
            ++i;
            continue;
        }
        if (isReservedUnit(u)) {
            *o++ = static_cast<char>(u - 0xDC00);
            ++i;
            continue;
        }
        const char32_t cp = takeCodePoint(text, i);
        if (cp < 0x800) {
            *o++ = static_cast<char>(0xC0 | (cp >> 6));
        } else if (cp < 0x10000) {
            *o++ = static_cast<char>(0xE0 | (cp >> 12));
            *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        } else {
            *o++ = static_cast<char>(0xF0 | (cp >> 18));
            *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        }
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return out;
}

}  // namespace codepage

using namespace codepage;

const CodePage& CodePage::system() {
    static const CodePage* const instance = [] {
        try {
            return new CodePage(systemCodesetName());
        } catch (const Error&) {
            return new CodePage("UTF-8");
        }
    }();
    return *instance;
}

std::u16string CodePage::decode(std::string_view bytes) const {
    if (utf8_) return decodeUtf8(bytes);
    std::u16string out;
    out.reserve(bytes.size());
    Converter::Use converter(*converter_);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[pos]);
        if (b < 0x80) {
            out.push_back(b);
            ++pos;
        } else {
            converter.decodeOne(bytes, pos, out);
        }
    }
    return out;
}

std::string CodePage::encode(std::u16string_view text) const {
    if (utf8_) return encodeUtf8(text);
    std::string out;
    out.reserve(text.size() * 2);
    Converter::Use converter(*converter_);
    std::u32string run;  // characters the platform converts, together
    std::size_t i = 0;
    while (i < text.size()) {
        const char16_t u = text[i];
        if (u < 0x80 || isReservedUnit(u)) {
            if (!run.empty()) {
                converter.encodeRun(run, out);
                run.clear();
            }
            out.push_back(static_cast<char>(u < 0x80 ? u : u - 0xDC00));
            ++i;
        } else {
            run.push_back(takeCodePoint(text, i));
        }
    }
    if (!run.empty()) converter.encodeRun(run, out);
    return out;
}

CodePage::CodePage(std::string codeset) : name_(std::move(codeset)), utf8_(isUtf8Name(name_)) {
    if (!utf8_) converter_ = std::make_unique<Converter>(name_);
}

CodePage::~CodePage() = default;

}  // namespace tavirel
