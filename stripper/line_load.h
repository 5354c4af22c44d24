// SPDX-License-Identifier: MIT
// The line rule in one sweep: how a file text becomes the engine's text, each line followed by
// CR LF. For the conversion and for the traced conversion alike.
#pragma once

#include <cstddef>
#include <string_view>

#include "conversion.h"
#include "word_scan.h"

namespace tavirel {

/// Splits `fileText` into lines by the rule of `ends` and tells `out` what the engine's text is
/// made of: out.keep(from, to) for a line's units, then out.lineEnd(cr, lf) for the CR LF that
/// follows it, where `cr` and `lf` are the positions of the file's own CR and LF, or npos for one
/// the rule adds (an LF file's CR; a lone CR's LF; both, after a last line without a terminator).
template <typename Out>
void loadLines(std::u16string_view fileText, LineEnds ends, Out& out) {
    constexpr std::size_t none = std::u16string_view::npos;
    const char terminator = ends == LineEnds::Lf ? '\n' : '\r';
    const std::size_t n = fileText.size();
    std::size_t pos = 0;
    while (pos < n) {
        const std::size_t end = nextUnit(fileText.data(), pos, n, terminator);
        out.keep(pos, end);
        if (end == n) {
            out.lineEnd(none, none);
            break;
        }
        if (ends == LineEnds::Lf) {
            out.lineEnd(none, end);
            pos = end + 1;
        } else if (end + 1 < n && fileText[end + 1] == u'\n') {
            out.lineEnd(end, end + 1);
            pos = end + 2;
        } else {
            out.lineEnd(end, none);
            pos = end + 1;
        }
    }
}

}  // namespace tavirel
