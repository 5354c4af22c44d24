// SPDX-License-Identifier: MIT
// Code pages other than UTF-8 through the system's MultiByteToWideChar and WideCharToMultiByte; the
// system's ANSI code page as the one files are read in. A character is taken only when it comes
// back to exactly its own bytes, so that a byte that does not decode survives as a reserved unit.
#include <windows.h>

#include <algorithm>
#include <cctype>

#include "code_page.h"
#include "code_page_internal.h"
#include "errors.h"

namespace tavirel {
namespace {

UINT numberOf(const std::string& name) {
    std::string n;
    for (char c : name) {
        if (c != '-' && c != '_') n += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    static const struct {
        const char* name;
        UINT number;
    } known[] = {{"GBK", 936},      {"GB2312", 936},       {"GB18030", 54936}, {"BIG5", 950},
                 {"SHIFTJIS", 932}, {"SJIS", 932},         {"EUCKR", 949},     {"ISO88591", 28591},
                 {"LATIN1", 28591}, {"WINDOWS1252", 1252}, {"ASCII", 20127}};
    for (const auto& k : known) {
        if (n == k.name) return k.number;
    }
    for (const char* prefix : {"CP", "WINDOWS"}) {
        const std::size_t p = std::string(prefix).size();
        if (n.rfind(prefix, 0) == 0 && n.size() > p &&
            std::all_of(n.begin() + static_cast<std::ptrdiff_t>(p), n.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            return static_cast<UINT>(std::stoul(n.substr(p)));
        }
    }
    return 0;
}

// The bytes of `wide` in the code page; empty when the system cannot say.
std::string toBytes(UINT cp, const wchar_t* wide, int units) {
    const int n = WideCharToMultiByte(cp, 0, wide, units, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(cp, 0, wide, units, out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring toWide(UINT cp, const char* bytes, int length, DWORD flags) {
    const int n = MultiByteToWideChar(cp, flags, bytes, length, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(cp, flags, bytes, length, out.data(), n);
    return out;
}

}  // namespace

// The system's conversions keep no state between calls: every thread may use them at once.
struct CodePage::Converter::Platform {
    UINT number;
};

CodePage::Converter::Converter(const std::string& codeset) : name(codeset) {
    const UINT number = numberOf(codeset);
    if (number == 0 || !IsValidCodePage(number)) throw Error("unknown codeset " + codeset);
    platform = std::make_unique<Platform>(Platform{number});
}

CodePage::Converter::~Converter() = default;

CodePage::Converter::Use::Use(const Converter& converter) : converter_(converter) {
    state_[0] = converter.platform->number;
}

CodePage::Converter::Use::~Use() = default;

void CodePage::Converter::Use::decodeOne(std::string_view bytes, std::size_t& pos, std::u16string& out) {
    const auto cp = static_cast<UINT>(state_[0]);
    const std::size_t most = std::min<std::size_t>(bytes.size() - pos, 4);
    for (std::size_t length = 1; length <= most; ++length) {
        const char* at = bytes.data() + pos;
        const std::wstring wide = toWide(cp, at, static_cast<int>(length), MB_ERR_INVALID_CHARS);
        const bool pair = wide.size() == 2 && wide[0] >= 0xD800 && wide[0] <= 0xDBFF && wide[1] >= 0xDC00 &&
                          wide[1] <= 0xDFFF;
        if (wide.empty() || (wide.size() != 1 && !pair)) continue;
        if (wide.size() == 1 && wide[0] >= 0xD800 && wide[0] <= 0xDFFF) break;
        if (toBytes(cp, wide.data(), static_cast<int>(wide.size())) != std::string_view(at, length)) break;
        out.append(wide.begin(), wide.end());
        pos += length;
        return;
    }
    out.push_back(codepage::reservedUnitFor(static_cast<unsigned char>(bytes[pos])));
    ++pos;
}

void CodePage::Converter::Use::encodeRun(std::u32string_view run, std::string& out) {
    const auto cp = static_cast<UINT>(state_[0]);
    std::u16string units;
    for (char32_t c : run) codepage::appendCodePoint(c, units);
    const std::wstring wide(units.begin(), units.end());
    // Whatever comes back as something else had no place in the code page: refused, never
    // replaced by a look-alike or a "?".
    const std::string bytes = toBytes(cp, wide.c_str(), static_cast<int>(wide.size()));
    if (!bytes.empty() && toWide(cp, bytes.data(), static_cast<int>(bytes.size()), 0) == wide) {
        out += bytes;
        return;
    }
    for (char32_t c : run) {
        std::u16string one;
        codepage::appendCodePoint(c, one);
        const std::wstring w(one.begin(), one.end());
        const std::string b = toBytes(cp, w.c_str(), static_cast<int>(w.size()));
        if (b.empty() || toWide(cp, b.data(), static_cast<int>(b.size()), 0) != w) {
            throw EncodeError("character " + codepage::hexUnit(c) + " cannot be represented in " +
                              converter_.name);
        }
    }
    out += bytes;
}

std::string CodePage::systemCodesetName() {
    const UINT acp = GetACP();
    return acp == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(acp);
}

}  // namespace tavirel
