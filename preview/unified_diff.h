// A file's conversion as a unified diff, in the format of `diff -u` and `git diff`. The lines are
// lined up by where each character of the new file came from (trace.h), not by a search, so the
// diff costs one pass and shows exactly the lines the rules change.
#pragma once

#include <string>
#include <string_view>

#include "trace.h"

namespace tavirel {

/// The diff of `oldBytes` (whose decoded text is `oldText`) against `newBytes`, with headers
/// "--- a/NAME" and "+++ b/NAME", three lines of context and "\ No newline at end of file"
/// where it applies. `traced` is the traced conversion of `oldText`; `newBytes` its encoding.
/// Lines are the files' own bytes, so bytes that do not decode appear as they are. Empty when
/// the two are equal.
std::string unifiedDiff(std::string_view name, std::string_view oldBytes, std::string_view newBytes,
                        std::u16string_view oldText, const TracedConversion& traced);

}  // namespace tavirel
