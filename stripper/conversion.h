// SPDX-License-Identifier: MIT
// How a source file's bytes become the engine's text and back, and the whole conversion of one
// file as the batch runs it:
//
//   bytes --decode--> file text --line rule--> text (every line ending CR LF)
//         --DeletStr_Auto, DeletStr_Mid--> result --line ends of the file, encode--> new bytes
//
// A file that holds no CR at all is an LF file: its lines end at LF, and its result is written
// with LF again. Any other file follows the classic rule: a line ends at CR or CR LF, a lone LF is
// an ordinary character, and every line of the result ends in CR LF.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "code_page.h"
#include "language.h"

namespace tavirel {

class SourceFile;
class StrOPT;

enum class LineEnds {
    Classic,  // the file holds a CR: lines end at CR or CR LF
    Lf,       // no CR anywhere: lines end at LF
};

/// Lf when `bytes` hold no CR (0x0D) at all.
LineEnds lineEndsOf(std::string_view bytes);

/// Hands out a file text line by line, by the rule of its line ends. The last line runs to the
/// end of the text; a terminator at the very end starts no further line.
class LineReader {
public:
    LineReader(std::u16string_view fileText, LineEnds ends) : text_(fileText), ends_(ends) {}
    bool atEnd() const { return pos_ >= text_.size(); }
    /// The next line without its terminator.
    std::u16string_view readLine();

private:
    std::u16string_view text_;
    LineEnds ends_;
    std::size_t pos_ = 0;
};

/// The engine's text of a file: each of its lines followed by CR LF.
std::u16string textOfFile(std::u16string_view fileText, LineEnds ends);

/// The file text for a result: for an LF file every CR LF becomes LF; otherwise the result itself.
std::u16string fileTextOf(std::u16string result, LineEnds ends);

/// What the batch makes of one file.
struct SourceConversion {
    enum class Outcome {
        Changed,          // `bytes` differ from the file's: write them
        Unchanged,        // the conversion gives the file's own bytes: nothing to write
        Empty,            // no characters: passed over
        TooLarge,         // a text over StrOPT::kSizeLimit code units: passed over
        UnknownLanguage,  // the name gives none of the six language keys: passed over
    };
    Outcome outcome = Outcome::Unchanged;
    // The language of the file's name, taken before any yield: a run nested in one may give the
    // engine another file's.
    std::optional<Language> language;
    LineEnds lineEnds = LineEnds::Classic;
    // The text as loaded and after both passes, for a file converted on code units. Empty when
    // the file was passed over, or converted on its bytes: ASCII whose lines all end alike.
    std::u16string text;
    std::u16string result;
    std::string bytes;  // the new content when Changed
};

/// The conversion of the file `name` holding `bytes`: sets `strop.lng` from the name, loads,
/// cuts the line comments, removes the blocks, and encodes the result with the file's line ends.
/// Touches no file. Yields as the engine's operations do.
SourceConversion convertBytes(StrOPT& strop, const std::u16string& name, std::string_view bytes,
                              const CodePage& page = CodePage::system());

/// convertBytes() for a file that has been read; a file too large to read is passed over.
SourceConversion convertSource(StrOPT& strop, const SourceFile& file);

}  // namespace tavirel
