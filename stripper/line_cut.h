// SPDX-License-Identifier: MIT
// The line pass in one sweep: for a file converted on its bytes and for the traced conversion
// alike. It gives what DeletStr_Right gives for a line marker, and passes over the lines without
// one in whole stretches.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <type_traits>

#include "word_scan.h"

namespace tavirel {

/// Whether in[at, n) starts with `marker`: compared a unit at a time, as markers are a unit or two
/// long and mostly differ at once, where a library compare would cost a call each.
template <typename Unit>
bool startsAt(const Unit* in, std::size_t n, std::size_t at, std::basic_string_view<Unit> marker) {
    if (n - at < marker.size()) return false;
    for (std::size_t k = 0; k < marker.size(); ++k) {
        if (in[at + k] != marker[k]) return false;
    }
    return true;
}

/// Cuts each LF-terminated line of in[0, n) at its first `marker` (non-empty): the rest of the line goes, its
/// line end included. `out` is told what stays: out.keep(from, to) for a stretch of `in`, and
/// out.lineEnd(cut, lf) for the line end of a line cut at `cut` whose LF stood at `lf`. After the last LF:
/// with `openLastLine` the rest is a line too, cut alike and given a line end (lf == n) whether cut or not;
/// otherwise it goes.
template <typename Unit, typename Out>
void cutLines(const Unit* in, std::size_t n, std::basic_string_view<Unit> marker, bool openLastLine,
              Out& out) {
    if (!openLastLine) {
        while (n > 0 && in[n - 1] != Unit('\n')) --n;
    }
    using Target = std::make_unsigned_t<Unit>;
    const std::array<Target, 2> targets{Target('\n'), static_cast<Target>(marker[0])};
    std::size_t kept = 0;  // uncut lines are kept in stretches: from here to the next cut
    // A line holds its LF last: a marker with an LF before its end is in none.
    const bool inLines = marker.find(Unit('\n')) >= marker.size() - 1;
    const bool lfFirst = marker[0] == Unit('\n');
    // Where an LF can be no part of the marker, only the marker's first unit needs a look.
    const bool markerOnly = inLines && !lfFirst;
    const bool asciiFirst = static_cast<Target>(marker[0]) < 0x80;
    Marks<Unit, 1> first(in, n, {static_cast<unsigned char>(asciiFirst ? marker[0] : '\n')});
    Marks<Unit, 1> lineFeeds(in, n, {'\n'});
    std::size_t pos = 0;
    for (;;) {
        const std::size_t at = markerOnly && asciiFirst ? first.next(pos) : findAny(in, pos, n, targets);
        if (at == n) break;
        if (!inLines || (in[at] == Unit('\n') && !lfFirst) || !startsAt(in, n, at, marker)) {
            pos = at + 1;
            continue;
        }
        out.keep(kept, at);
        const std::size_t lf = lineFeeds.next(at);
        out.lineEnd(at, lf);
        kept = pos = lf < n ? lf + 1 : n;
    }
    out.keep(kept, n);
    if (kept < n && in[n - 1] != Unit('\n')) out.lineEnd(n, n);
}

}  // namespace tavirel
