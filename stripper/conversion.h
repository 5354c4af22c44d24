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

#include <cstdint>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

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

/// Which rules find the comments. Classic: cut each line at its first line marker, then remove
/// each "/*" through the next "*/", wherever they stand.
/// Syntax: comments found by the language's syntax, so that strings and lines stay and the code
/// still builds (syntax_rules.h); no size limit.
enum class RuleSet {
    Classic,
    Syntax,
};

/// A place where the syntax rules could not be sure, and left the text as code.
struct SyntaxDoubt {
    enum class Kind {
        UnterminatedLiteral,  // a string or character literal not closed on its line
        UnclosedBlock,        // a "/*" with no "*/" after it: the rest of the file stays
        RawDelimiter,         // a raw string whose delimiter is not a valid one
    };
    Kind kind;
    std::size_t pos;         // in the text the rules ran on; see line and column
    std::size_t line = 0;    // 1-based: each LF, CR LF or lone CR ends a line
    std::size_t column = 0;  // 1-based, in code units
};

/// The origin of a line end that the rules add rather than take from the file.
constexpr std::uint32_t kAdded = UINT32_MAX;

/// A text and, for each of its units, a position in the text it was made from (or kAdded).
struct TracedText {
    std::u16string text;
    std::vector<std::uint32_t> from;
};

/// The whole road of one file's text with origins: what a preview shows, a diff lines up and
/// the warnings hold against the lexer.
struct TracedConversion {
    TracedText loaded;    // the text as loaded; origins: positions in the file text
    TracedText stripped;  // the result; origins: positions in loaded.text
    TracedText newFile;   // the new file text (LF again for an LF file); origins: in the file text
    std::vector<SyntaxDoubt> doubts;  // the syntax rules': positions in loaded.text
};

/// The comments the syntax rules leave in place.
struct KeptComments {
    /// A file's first comment, when it holds a copyright or licence notice ("copyright",
    /// "license", "licence", "SPDX-License-Identifier", in any letter case).
    bool license = false;
    /// Every comment this extended regular expression matches somewhere in; none when null.
    std::shared_ptr<const std::regex> pattern;

    bool any() const { return license || pattern; }
    /// Whether the comment whose text (markers included, as UTF-8) is `comment` stays.
    bool keeps(std::string_view comment, bool first) const;
};

/// An extended regular expression for KeptComments::pattern, matched on comments as UTF-8;
/// throws std::regex_error.
std::shared_ptr<const std::regex> keepPattern(std::u16string_view pattern);

/// For a file converted on its bytes by the classic rules: one pass that gives both passes'
/// result where it finds nothing in the file to warn of, and none where it does (both passes then
/// run). The warnings' lexer is one (warnings.h).
using CleanStrip = std::optional<std::string> (*)(std::string_view bytes, Language language, LineEnds ends);

struct ConversionOptions {
    RuleSet rules = RuleSet::Classic;
    /// Where the warnings are wanted: their look and the conversion in one pass.
    CleanStrip cleanStrip = nullptr;
    KeptComments keep = {};  // the syntax rules only
    /// Also give the trace of the conversion. The result is then taken from it: one analysis of
    /// the file serves the conversion, its warnings and a diff or preview of it.
    bool trace = false;
};

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
    // With ConversionOptions::trace, for a file Changed or Unchanged.
    std::optional<TracedConversion> trace;
    RuleSet rules = RuleSet::Classic;
    // Where the syntax rules could not be sure, in text order.
    std::vector<SyntaxDoubt> doubts;
    // The result came from ConversionOptions::cleanStrip: the file holds nothing to warn of.
    bool clean = false;
};

/// The conversion of the file `name` holding `bytes`: sets `strop.lng` from the name, loads,
/// cuts the line comments, removes the blocks, and encodes the result with the file's line ends.
/// Touches no file. Yields as the engine's operations do, except when tracing, which never yields.
SourceConversion convertBytes(StrOPT& strop, const std::u16string& name, std::string_view bytes,
                              const CodePage& page = CodePage::system(), ConversionOptions options = {});

/// convertBytes() for a file that has been read; a file too large to read is passed over.
SourceConversion convertSource(StrOPT& strop, const SourceFile& file, ConversionOptions options = {});

}  // namespace tavirel
