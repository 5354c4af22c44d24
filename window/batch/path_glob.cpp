// SPDX-License-Identifier: MIT
#include "path_glob.h"

#include <string>

#include "folder_enum.h"
#include "lower_case.h"

namespace tavirel {
namespace {

bool isSeparator(char16_t c) {
    return c == u'/' || c == kPathSeparator;
}

bool sameChar(char16_t a, char16_t b) {
    if (isSeparator(a) && isSeparator(b)) return true;
    return a == b;
}

// One of a set "[...]" at pattern[p] (just past "["): whether `c` is in it, and where it ends.
bool inSet(std::u16string_view pattern, std::size_t& p, char16_t c) {
    const bool negated = p < pattern.size() && pattern[p] == u'!';
    if (negated) ++p;
    bool found = false;
    const std::size_t first = p;
    for (; p < pattern.size() && (pattern[p] != u']' || p == first); ++p) {
        if (p + 2 < pattern.size() && pattern[p + 1] == u'-' && pattern[p + 2] != u']') {
            found = found || (pattern[p] <= c && c <= pattern[p + 2]);
            p += 2;
        } else {
            found = found || pattern[p] == c;
        }
    }
    ++p;  // past "]"
    return found != negated;
}

// The whole of `text` against the whole of `pattern`; "*" never takes a separator.
bool globMatch(std::u16string_view pattern, std::u16string_view text) {
    std::size_t p = 0, t = 0;
    std::size_t starP = std::u16string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = ++p;
            starT = t;
            continue;
        }
        if (p < pattern.size()) {
            std::size_t next = p + 1;
            bool match;
            if (pattern[p] == u'?') {
                match = !isSeparator(text[t]);
            } else if (pattern[p] == u'[' && pattern.find(u']', p + 2) != std::u16string_view::npos) {
                match = !isSeparator(text[t]) && inSet(pattern, next, text[t]);
            } else {
                match = sameChar(pattern[p], text[t]);
            }
            if (match) {
                p = next;
                ++t;
                continue;
            }
        }
        // Back to the last "*", which takes one more character, never a separator.
        if (starP == std::u16string_view::npos || isSeparator(text[starT])) return false;
        p = starP;
        t = ++starT;
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace

bool pathMatches(std::u16string_view pattern, std::u16string_view path) {
#ifdef _WIN32
    const std::u16string lowerPattern = toLower(std::u16string(pattern));
    const std::u16string lowerPath = toLower(std::u16string(path));
    pattern = lowerPattern;
    path = lowerPath;
#endif
    bool anchored = false;
    for (char16_t c : pattern) anchored = anchored || isSeparator(c);
    if (!anchored) {
        // Any one part.
        for (std::size_t start = 0; start <= path.size();) {
            std::size_t end = start;
            while (end < path.size() && !isSeparator(path[end])) ++end;
            if (globMatch(pattern, path.substr(start, end - start))) return true;
            start = end + 1;
        }
        return false;
    }
    while (!pattern.empty() && isSeparator(pattern.back())) pattern.remove_suffix(1);  // "build/" is "build"
    for (std::size_t end = 0; end <= path.size(); ++end) {
        if ((end == path.size() || isSeparator(path[end])) && globMatch(pattern, path.substr(0, end)))
            return true;
    }
    return false;
}

}  // namespace tavirel
