// SPDX-License-Identifier: MIT
// The six language keys and the two syntaxes they stand for: the one table that the search, the
// line rule, the warnings and the command line all read.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tavirel {

/// The two syntaxes the rules know.
enum class Language {
    CFamily,    // c, cpp, h: line comments start at "//"
    Assembler,  // asm, dt, inc: line comments start at ";"
};

/// Where the syntax rules read a C++ raw string, R"delim( ... )delim": in C, R is an identifier
/// like any other, and a header may be either.
enum class RawStrings {
    Never,
    Always,
    WhereValid,  // only where the delimiter is a valid one
};

struct LanguageKey {
    std::u16string_view key;  // an extension, lower case
    Language language;
    RawStrings rawStrings;
};

/// The six keys in the order of the window's switches.
inline constexpr std::array<LanguageKey, 6> kLanguageKeys{{
    {u"c", Language::CFamily, RawStrings::Never},
    {u"cpp", Language::CFamily, RawStrings::Always},
    {u"h", Language::CFamily, RawStrings::WhereValid},
    {u"asm", Language::Assembler, RawStrings::Never},
    {u"dt", Language::Assembler, RawStrings::Never},
    {u"inc", Language::Assembler, RawStrings::Never},
}};

/// The language of a language key; none for a key outside the six.
constexpr std::optional<Language> languageOf(std::u16string_view key) {
    for (const LanguageKey& k : kLanguageKeys) {
        if (k.key == key) return k.language;
    }
    return std::nullopt;
}

/// Where a language key reads raw strings; never for a key outside the six.
constexpr RawStrings rawStringsOf(std::u16string_view key) {
    for (const LanguageKey& k : kLanguageKeys) {
        if (k.key == key) return k.rawStrings;
    }
    return RawStrings::Never;
}

/// The line-comment marker of a language: "//" or ";".
constexpr std::u16string_view lineMarkerOf(Language language) {
    return language == Language::CFamily ? u"//" : u";";
}

/// The same marker as bytes, for a file converted on its bytes.
constexpr std::string_view lineMarkerBytesOf(Language language) {
    return language == Language::CFamily ? "//" : ";";
}

}  // namespace tavirel
