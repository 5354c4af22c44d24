// SPDX-License-Identifier: MIT
// Straight transcriptions of the line cut and the block removal as first written: split every
// line into a table, rescan the whole text for every block. Kept only here, as the reference the
// engine's linear versions must match text for text and yield for yield.
#pragma once

#include <string>
#include <vector>

namespace literal {

// The 1-based position of `sub` in `s` at or after `start`, or 0. Nothing is found in the empty
// text; the empty `sub` is found at `start`.
inline std::size_t inStr(std::size_t start, const std::u16string& s, const std::u16string& sub) {
    if (s.empty() || start > s.size()) return 0;
    if (sub.empty()) return start;
    const auto p = s.find(sub, start - 1);
    return p == std::u16string::npos ? 0 : p + 1;
}

inline std::u16string deletStrRight(const std::u16string& mainStr, const std::u16string& subStr,
                                    int& yields) {
    std::vector<std::u16string> lines;
    std::size_t start = 1;
    for (;;) {
        ++yields;
        const std::size_t p = inStr(start, mainStr, u"\n");
        if (p == 0) break;
        lines.push_back(mainStr.substr(start - 1, p - start + 1));
        start = p + 1;
    }
    if (start == 1) return {};
    lines.emplace_back();  // the element past the last LF, always empty
    std::u16string result;
    for (const auto& line : lines) {
        const std::size_t d = inStr(1, line, subStr);
        result += d != 0 ? line.substr(0, d - 1) + u"\r\n" : line;
    }
    return result;
}

// With the agreed rule for a stop marker before the first start marker: the stop marker is
// looked for at or after the start marker. An empty stop marker leaves the text as it is.
inline std::u16string deletStrMid(std::u16string s, const std::u16string& startStr,
                                  const std::u16string& stopStr, int& yields) {
    if (stopStr.empty()) {
        ++yields;
        return s;
    }
    for (;;) {
        ++yields;
        const std::size_t a = inStr(1, s, startStr);
        std::size_t b = inStr(1, s, stopStr);
        if (a == 0 || b == 0) return s;
        if (b >= a) {
            const std::u16string stretch = s.substr(a - 1, (b - a) + stopStr.size());
            s.erase(s.find(stretch), stretch.size());  // the first copy of the stretch, as written
        } else {
            b = inStr(a, s, stopStr);
            if (b == 0) return s;
            s.erase(a - 1, (b - a) + stopStr.size());
        }
    }
}

}  // namespace literal
