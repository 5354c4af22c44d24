// SPDX-License-Identifier: MIT
// The block pass, "/*" through the next "*/", in one sweep: for a file converted on its bytes and
// for the traced conversion alike. It gives what DeletStr_Mid(text, "/*", "*/") gives, without
// rescanning: what is kept never holds a "/*", so a block starts where a "*" follows the last unit
// kept, a "/", and ends at the first "*/" from that "*" on; without one, the rest stays.
#pragma once

#include <cstddef>

#include "word_scan.h"

namespace tavirel {

/// Sweeps in[0, n), telling `out` what stays: out.keep(from, to) for a stretch of `in`, and
/// out.dropLast() when the last unit kept is the "/" of a block; out.endsWithSlash() says whether
/// the last unit kept is a "/".
template <typename Unit, typename Out>
void sweepBlocks(const Unit* in, std::size_t n, Out& out) {
    Marks<Unit, 1> stars(in, n, {'*'});
    std::size_t i = 0;
    while (i < n) {
        const std::size_t star = stars.next(i);
        out.keep(i, star);
        i = star;
        if (i == n) break;
        if (!out.endsWithSlash()) {
            out.keep(i, i + 1);
            ++i;
            continue;
        }
        // A start marker: its "/" is the last unit kept. Its stop marker may share the "*".
        std::size_t j = i;
        for (;;) {
            j = stars.next(j);
            if (j + 1 >= n) {
                j = n;
                break;
            }
            if (in[j + 1] == '/') break;
            ++j;
        }
        if (j >= n) {
            out.keep(i, n);
            break;
        }
        out.dropLast();
        i = j + 2;
    }
}

}  // namespace tavirel
