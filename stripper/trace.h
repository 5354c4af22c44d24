// SPDX-License-Identifier: MIT
// The conversion of one file with the origin of every character it keeps: where each unit of the
// result stood in the file's own text. This is what lets a preview show exactly what the rules
// remove and a diff line up the old file with the new. It gives the same result as the engine's
// passes (the tests prove it against the literal versions) but never yields and keeps no state,
// so any thread may run it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "conversion.h"

namespace tavirel {

/// The line rule with origins: the engine's text of a file (every line followed by CR LF), each
/// unit traced to its position in `fileText`. A line's own CR and LF keep their positions.
TracedText traceLoad(std::u16string_view fileText, LineEnds ends);

/// The syntax rules on a loaded text, each unit of the result traced to its position in `text`.
TracedText traceSyntax(std::u16string_view text, Language language, RawStrings raw, const KeptComments& keep,
                       std::vector<SyntaxDoubt>& doubts);

/// DeletStr_Right(text, lineMarker) then DeletStr_Mid(..., "/*", "*/"), each unit of the result
/// traced to its position in `text`. A cut line's CR LF is the line's own where it had one.
TracedText traceStrip(std::u16string_view text, std::u16string_view lineMarker);

/// The rest of the road for a text loaded by traceLoad(): the passes and the new file text.
TracedConversion traceLoaded(TracedText loaded, LineEnds ends, Language language,
                             RuleSet rules = RuleSet::Classic, RawStrings raw = RawStrings::Never,
                             const KeptComments& keep = {});

/// Traces the conversion of a decoded file text with the given line ends, language and rules.
TracedConversion traceConversion(std::u16string_view fileText, LineEnds ends, Language language,
                                 RuleSet rules = RuleSet::Classic, RawStrings raw = RawStrings::Never,
                                 const KeptComments& keep = {});

/// Where each doubt stands: its line and column in `text`, the text the rules ran on.
void placeDoubts(std::vector<SyntaxDoubt>& doubts, std::u16string_view text);
void placeDoubts(std::vector<SyntaxDoubt>& doubts, std::string_view text);

}  // namespace tavirel
