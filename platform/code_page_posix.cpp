// SPDX-License-Identifier: MIT
// Code pages other than UTF-8 through the C library's iconv; the locale's codeset as the C library
// reads it.

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "code_page.h"
#include "code_page_internal.h"
#include "errors.h"

namespace tavirel {
namespace {

const auto kBadIconv = reinterpret_cast<iconv_t>(-1);

iconv_t toUnicode(const CodePage::Converter& c) {
    return reinterpret_cast<iconv_t>(c.state[0]);
}
iconv_t fromUnicode(const CodePage::Converter& c) {
    return reinterpret_cast<iconv_t>(c.state[1]);
}

}  // namespace

CodePage::Converter::Converter(const std::string& codeset) : name(codeset) {
    iconv_t to = iconv_open("UTF-32LE", name.c_str());
    iconv_t from = iconv_open(name.c_str(), "UTF-32LE");
    if (to == kBadIconv || from == kBadIconv) {
        if (to != kBadIconv) iconv_close(to);
        if (from != kBadIconv) iconv_close(from);
        throw Error("unknown codeset " + name);
    }
    state[0] = reinterpret_cast<std::uintptr_t>(to);
    state[1] = reinterpret_cast<std::uintptr_t>(from);
}

CodePage::Converter::~Converter() {
    iconv_close(toUnicode(*this));
    iconv_close(fromUnicode(*this));
}

void CodePage::Converter::decodeOne(std::string_view bytes, std::size_t& pos, std::u16string& out) const {
    const iconv_t to = toUnicode(*this);
    const iconv_t from = fromUnicode(*this);
    const std::size_t window = std::min<std::size_t>(bytes.size() - pos, 8);

    iconv(to, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes.data() + pos);
    std::size_t inLeft = window;
    char32_t cp = 0;
    char* outp = reinterpret_cast<char*>(&cp);
    std::size_t outLeft = sizeof cp;  // room for exactly one character
    iconv(to, &in, &inLeft, &outp, &outLeft);
    const std::size_t used = window - inLeft;

    bool ok = outLeft == 0 && used > 0 && !(cp >= 0xD800 && cp <= 0xDFFF) && cp <= 0x10FFFF;
    if (ok) {
        char back[32];
        iconv(from, nullptr, nullptr, nullptr, nullptr);
        char* src = reinterpret_cast<char*>(&cp);
        std::size_t srcLeft = sizeof cp;
        char* dst = back;
        std::size_t dstLeft = sizeof back;
        ok = iconv(from, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1) &&
             iconv(from, nullptr, nullptr, &dst, &dstLeft) != static_cast<std::size_t>(-1) &&
             std::string_view(back, sizeof back - dstLeft) == bytes.substr(pos, used);
    }
    if (ok) {
        codepage::appendCodePoint(cp, out);
        pos += used;
    } else {
        out.push_back(codepage::reservedUnitFor(static_cast<unsigned char>(bytes[pos])));
        ++pos;
    }
}

void CodePage::Converter::encodeRun(std::u32string_view run, std::string& out) const {
    const iconv_t from = fromUnicode(*this);
    iconv(from, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(run.data()));
    std::size_t inLeft = run.size() * sizeof(char32_t);
    char buf[4096];
    while (inLeft > 0) {
        char* dst = buf;
        std::size_t dstLeft = sizeof buf;
        const std::size_t r = iconv(from, &in, &inLeft, &dst, &dstLeft);
        out.append(buf, sizeof buf - dstLeft);
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            char32_t bad;
            std::memcpy(&bad, in, sizeof bad);
            throw EncodeError("character " + codepage::hexUnit(bad) + " cannot be represented in " + name);
        }
    }
    char* dst = buf;
    std::size_t dstLeft = sizeof buf;
    iconv(from, nullptr, nullptr, &dst, &dstLeft);
    out.append(buf, sizeof buf - dstLeft);
}

std::string CodePage::systemCodesetName() {
    std::string locale;
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(var);
        if (value && *value) {
            locale = value;
            break;
        }
    }
    if (locale.empty() || locale == "C" || locale == "POSIX") return "UTF-8";
    locale_t loc = newlocale(LC_CTYPE_MASK, "", nullptr);
    if (!loc) return "UTF-8";  // not installed: the C library itself would fall back to C
    std::string codeset = nl_langinfo_l(CODESET, loc);
    freelocale(loc);
    if (codeset.empty() || codeset == "ANSI_X3.4-1968") return "UTF-8";
    return codeset;
}

}  // namespace tavirel
