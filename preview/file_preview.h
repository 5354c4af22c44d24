// SPDX-License-Identifier: MIT
// What the preview of one file shows: its change, line by line with the removed stretches marked,
// its line ends and code page, and its warnings. Computed by the batch's own code on the file as
// it is now; nothing is written.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "conversion.h"
#include "warnings.h"

namespace tavirel {

/// One line of the whole file shown as a diff with every line as context.
struct PreviewLine {
    enum class Kind { Same, Removed, Added };
    Kind kind;
    std::size_t oldLine;  // 1-based number in the file as it is; 0 for an added line
    std::u16string text;  // without its line end
    // For a removed line: the stretches [start, end) of `text` that the rules take out.
    std::vector<std::pair<std::size_t, std::size_t>> removed;
};

struct FilePreview {
    SourceConversion::Outcome outcome = SourceConversion::Outcome::Unchanged;
    LineEnds lineEnds = LineEnds::Lf;
    bool finalLineEnd = true;        // whether the file's last line ends in a line end
    std::string codePage;            // the name of the code page the file is read in
    std::size_t undecodable = 0;     // bytes that do not decode in it, carried through unchanged
    std::vector<PreviewLine> lines;  // empty for a file that is passed over
    std::vector<Warning> warnings;
};

/// The preview of the file `path` by the rules of `options` (the classic rules by default).
/// Throws FileError when it cannot be read.
FilePreview previewFile(const std::u16string& path, const ConversionOptions& options = {});

/// The texts every window's preview shows: the line ends and the code page; why the file is
/// passed over or left as it is (the empty text when a conversion changes it).
std::u16string describeFile(const FilePreview& preview);
std::u16string verdictOf(const FilePreview& preview);

}  // namespace tavirel
