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
#include <mutex>
#include <vector>

#include "code_page.h"
#include "code_page_internal.h"
#include "errors.h"

namespace tavirel {
namespace {

const auto kBadIconv = reinterpret_cast<iconv_t>(-1);

// The two directions of one conversion. An iconv descriptor carries state from call to call, so
// each pair serves one thread at a time.
struct Pair {
    iconv_t to;    // code page to UTF-32LE
    iconv_t from;  // UTF-32LE to code page
};

Pair openPair(const std::string& name) {
    const iconv_t to = iconv_open("UTF-32LE", name.c_str());
    const iconv_t from = iconv_open(name.c_str(), "UTF-32LE");
    if (to == kBadIconv || from == kBadIconv) {
        if (to != kBadIconv) iconv_close(to);
        if (from != kBadIconv) iconv_close(from);
        throw Error("unknown codeset " + name);
    }
    return {to, from};
}

}  // namespace

// The pairs no Use holds now: as many as threads ever converted at once, no more.
struct CodePage::Converter::Platform {
    std::mutex mutex;
    std::vector<Pair> idle;
};

CodePage::Converter::Converter(const std::string& codeset)
    : name(codeset), platform(std::make_unique<Platform>()) {
    platform->idle.push_back(openPair(name));
}

CodePage::Converter::~Converter() {
    for (const Pair& p : platform->idle) {
        iconv_close(p.to);
        iconv_close(p.from);
    }
}

CodePage::Converter::Use::Use(const Converter& converter) : converter_(converter) {
    Pair pair{};
    {
        std::lock_guard lock(converter.platform->mutex);
        if (!converter.platform->idle.empty()) {
            pair = converter.platform->idle.back();
            converter.platform->idle.pop_back();
        }
    }
    if (!pair.to) pair = openPair(converter.name);  // opened before by this name: cannot fail
    state_[0] = reinterpret_cast<std::uintptr_t>(pair.to);
    state_[1] = reinterpret_cast<std::uintptr_t>(pair.from);
}

CodePage::Converter::Use::~Use() {
    const Pair pair{reinterpret_cast<iconv_t>(state_[0]), reinterpret_cast<iconv_t>(state_[1])};
    std::lock_guard lock(converter_.platform->mutex);
    try {
        converter_.platform->idle.push_back(pair);
    } catch (...) {
        iconv_close(pair.to);
        iconv_close(pair.from);
    }
}

void CodePage::Converter::Use::decodeOne(std::string_view bytes, std::size_t& pos, std::u16string& out) {
    const auto to = reinterpret_cast<iconv_t>(state_[0]);
    const auto from = reinterpret_cast<iconv_t>(state_[1]);
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

void CodePage::Converter::Use::encodeRun(std::u32string_view run, std::string& out) {
    const auto from = reinterpret_cast<iconv_t>(state_[1]);
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
            throw EncodeError("character " + codepage::hexUnit(bad) + " cannot be represented in " +
                              converter_.name);
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
