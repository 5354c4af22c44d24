// SPDX-License-Identifier: MIT
// A file's conversion as a unified diff, in the format of `diff -u` and `git diff`. The lines are
// lined up by where each character of the new file came from (trace.h), not by a search, so the
// diff costs one pass and shows exactly the lines the rules change.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "trace.h"

namespace tavirel {

/// One step of a line-by-line comparison of an old file and its conversion, in the order a diff
/// prints them: lines are numbered from 0, each side's lines split after each LF.
struct LineStep {
    enum Op { Equal, Delete, Insert };
    Op op;
    std::size_t oldLine;  // the old line (for Insert: the one the new line goes before)
    std::size_t newLine;  // the new line (for Delete: the one the old line would go before)
};

/// Lines up the old file text with the new one of `traced`, its traced conversion: a new line is
/// the same as an old one when all of it, line end included, was taken whole from that line.
std::vector<LineStep> alignLines(std::u16string_view oldText, const TracedConversion& traced);

/// The diff of `oldBytes` (whose decoded text is `oldText`) against `newBytes`, with headers
/// "--- a/NAME" and "+++ b/NAME", three lines of context and "\ No newline at end of file"
/// where it applies. `traced` is the traced conversion of `oldText`; `newBytes` its encoding.
/// Lines are the files' own bytes, so bytes that do not decode appear as they are. Empty when
/// the two are equal.
std::string unifiedDiff(std::string_view name, std::string_view oldBytes, std::string_view newBytes,
                        std::u16string_view oldText, const TracedConversion& traced);

}  // namespace tavirel
