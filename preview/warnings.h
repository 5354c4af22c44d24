// SPDX-License-Identifier: MIT
// Where the classic rules remove or leave something that is not a comment. The rules cut at
// markers wherever they stand; a small lexer of our own knows where the real comments, string
// and character literals are, and each place where the two disagree becomes a warning. What the
// batch writes is the rules' result either way: where the lexer finds no such place, the rules
// remove exactly the comments it found, and its pass can give that result (stripIfClean).
//
// The lexer runs on every file; the traced conversion (trace.h) runs only on a file where the
// lexer saw something suspect, so clean code costs one pass.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "code_page.h"
#include "conversion.h"
#include "language.h"

namespace tavirel {

enum class WarningKind {
    SwallowedCode,     // a marker in a block comment cuts off its "*/": the block runs on over code
    MarkerInString,    // a line marker or "/*" inside a string or character literal
    UnclosedBlock,     // a "/*" with no later "*/": kept, with everything after it
    StrayClose,        // a "*/" outside any comment, kept in the result
    NestedBlock,       // a "/*" inside a block comment whose outer tail stays as code
    ContinuedComment,  // a "//" comment continued by a backslash: the rules keep its next line
    // The syntax rules': where they could not be sure and kept the text as code.
    UnterminatedLiteral,  // a string or character literal not closed on its line
    RawDelimiter,         // a raw string whose delimiter is not a valid one
};

/// The name printed after a warning: "swallowed-code", "marker-in-string", ...
std::string_view kindName(WarningKind kind);

struct Warning {
    WarningKind kind;
    std::size_t line;    // 1-based; LF, CR LF and a lone CR each end a line, as in an editor
    std::size_t column;  // 1-based, in code units
    std::string text;    // one sentence, plain ASCII
};

/// The warnings for a file whose loaded text (every line ending CR LF) is `text` and whose
/// result after both passes is `result`, in text order.
std::vector<Warning> findWarnings(std::u16string_view text, std::u16string_view result, Language language);

/// Both passes' result for a file converted on its bytes (ASCII, its lines all ending in `ends`),
/// taken from the lexer's comments in the one pass that looks for warnings: where it finds
/// nothing to warn of, the rules remove exactly those comments. None where it finds anything,
/// or anything the rules would take otherwise. A CleanStrip for the conversion.
std::optional<std::string> stripIfClean(std::string_view bytes, Language language, LineEnds ends);

/// The warnings of a file the batch converted, whose bytes are `fileBytes`. Under the syntax
/// rules: the places where they could not be sure. Under the classic rules: from its text where
/// the conversion kept it; for a file converted on its bytes, from its bytes, and the text is
/// loaded only where the lexer sees something suspect.
std::vector<Warning> findWarnings(const SourceConversion& conversion, std::string_view fileBytes,
                                  Language language, const CodePage& page = CodePage::system());

}  // namespace tavirel
