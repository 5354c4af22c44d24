// SPDX-License-Identifier: MIT
// The syntax rules in one sweep: comments found as the language's own lexer finds them, so that
// markers in strings, character literals and header names stay, and every line stays where it
// was. For a file converted on its bytes and on code units, traced or not.
//
// C family: line splices (a backslash before a line end) join lines first, as the compiler does,
// and stay in the file where they are code; "//" runs to the end of the spliced line; "/*" does not
// nest. Assembler: ";" outside a quoted string, and "/*" ... "*/" outside strings and ";" comments.
//
// A removed comment leaves each line end it spanned; one on a single line between two tokens
// leaves a space; whitespace it leaves at a line's end goes. Where the lexer cannot be sure (an
// unterminated literal, an unclosed comment, a bad raw-string delimiter) the text stays as code
// and a doubt names the place.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "conversion.h"
#include "language.h"
#include "utf8.h"
#include "word_scan.h"

namespace tavirel {

namespace syntax {

template <typename Unit>
constexpr bool isBlank(Unit c) {
    return c == Unit(' ') || c == Unit('\t') || c == Unit('\f') || c == Unit('\v');
}

template <typename Unit>
constexpr bool isLineEnd(Unit c) {
    return c == Unit('\n') || c == Unit('\r');
}

template <typename Unit>
constexpr bool isIdentifier(Unit c) {
    return (c >= Unit('a') && c <= Unit('z')) || (c >= Unit('A') && c <= Unit('Z')) ||
           (c >= Unit('0') && c <= Unit('9')) || c == Unit('_') || c == Unit('$');
}

template <typename Unit>
constexpr bool isDigit(Unit c) {
    return c >= Unit('0') && c <= Unit('9');
}

// What a sweep keeps of in[0, n), without origins: what a conversion needs. The sweep never keeps
// more units than it reads (a space stands for a comment of two units or more), so the text is
// written into room sized once; `room` more units are there for the caller to add.
template <typename String>
class KeptText {
public:
    using Unit = typename String::value_type;

    KeptText(const Unit* in, std::size_t n, std::size_t room = 0) : in_(in), text_(n + room, Unit()) {}

    void keep(std::size_t a, std::size_t b) {
        assert(size_ + (b - a) <= text_.size());
        std::copy(in_ + a, in_ + b, text_.data() + size_);
        size_ += b - a;
    }
    void space() {
        assert(size_ < text_.size());
        text_[size_++] = Unit(' ');
    }
    void trimBlanks() {
        while (size_ > 0 && isBlank(text_[size_ - 1])) --size_;
    }
    Unit last() const { return size_ == 0 ? Unit() : text_[size_ - 1]; }
    // Units of the caller's own, in the room it asked for.
    void add(std::basic_string_view<Unit> units) {
        assert(size_ + units.size() <= text_.size());
        size_ += units.copy(text_.data() + size_, units.size());
    }

    String take() && {
        text_.resize(size_);
        return std::move(text_);
    }

private:
    const Unit* in_;
    String text_;
    std::size_t size_ = 0;
};

// One sweep over in[0, n). Out takes: keep(from, to), a stretch of `in`; space(), a space the
// rules add; trimBlanks(), dropping the blanks last kept; last(), the unit last kept or 0.
template <typename Unit, typename Out>
class Sweep {
public:
    Sweep(const Unit* in, std::size_t n, const KeptComments& keep, Out& out, std::vector<SyntaxDoubt>& doubts)
        : in_(in), n_(n), keep_(keep), out_(out), doubts_(doubts), lineEnds_(in, n, {'\n', '\r'}) {}

    void cFamily(RawStrings raw) {
        Marks<Unit, 4> code(in_, n_, {'/', '"', '\'', '#'});
        std::size_t i = 0;
        while ((i = code.next(i)) < n_) {
            const Unit c = in_[i];
            if (c == Unit('/')) {
                const std::size_t j = logical(i + 1);
                if (j < n_ && in_[j] == Unit('/')) {
                    i = lineComment(i, j + 1);
                } else if (j < n_ && in_[j] == Unit('*')) {
                    i = blockComment(i, j + 1, true);
                    if (i == kUnclosed) return finish();
                } else {
                    ++i;
                }
            } else if (c == Unit('"')) {
                i = doubleQuote(i, raw);
            } else if (c == Unit('\'')) {
                i = separatorAt(i) ? i + 1 : quoted(i, Unit('\''), true);
            } else {
                i = directive(i);
            }
        }
        finish();
    }

    void assembler() {
        Marks<Unit, 4> code(in_, n_, {';', '"', '\'', '/'});
        std::size_t i = 0;
        while ((i = code.next(i)) < n_) {
            const Unit c = in_[i];
            if (c == Unit(';')) {
                const std::size_t end = lineEndFrom(i);
                if (!kept(i, end)) {
                    out_.keep(kept_, i);
                    out_.trimBlanks();
                    kept_ = end;
                }
                i = end;
            } else if (c == Unit('/')) {
                if (i + 1 < n_ && in_[i + 1] == Unit('*')) {
                    i = blockComment(i, i + 2, false);
                    if (i == kUnclosed) return finish();
                } else {
                    ++i;
                }
            } else {
                i = quoted(i, c, false);
            }
        }
        finish();
    }

private:
    static constexpr std::size_t kUnclosed = SIZE_MAX;

    void finish() { out_.keep(kept_, n_); }

    // Whether the comment [start, end) is one the run keeps. The first comment of a file, and
    // the comments right below it with only blanks and line ends between, are its first.
    bool kept(std::size_t start, std::size_t end) { return keep_.any() && keeps(start, end); }

    // The look itself, out of the sweep's loop: only a run that keeps some comments takes it.
    bool keeps(std::size_t start, std::size_t end) {
        bool first = comments_ == 0;
        if (!first && firstEnd_ != SIZE_MAX) {
            std::size_t p = firstEnd_;
            while (p < start && (isBlank(in_[p]) || isLineEnd(in_[p]))) ++p;
            first = p == start;
        }
        ++comments_;
        std::string text;
        if constexpr (sizeof(Unit) == 1) {
            text.assign(in_ + start, in_ + end);
        } else {
            appendUtf8(text, std::u16string_view(in_ + start, end - start));
        }
        const bool keeps = keep_.keeps(text, first);
        if (first) firstEnd_ = keeps ? end : SIZE_MAX;
        // Kept, it is still a comment: a directive may follow it.
        if (keeps) noteComment(start, end);
        return keeps;
    }

    // The length of the line end at i, or 0.
    std::size_t lineEndAt(std::size_t i) const {
        if (i >= n_) return 0;
        if (in_[i] == Unit('\n')) return 1;
        if (in_[i] == Unit('\r')) return i + 1 < n_ && in_[i + 1] == Unit('\n') ? 2 : 1;
        return 0;
    }

    // Past the splice at i (a backslash, blanks as compilers allow, a line end), or i.
    std::size_t pastSplice(std::size_t i) const {
        if (i >= n_ || in_[i] != Unit('\\')) return i;
        std::size_t j = i + 1;
        while (j < n_ && isBlank(in_[j])) ++j;
        const std::size_t e = lineEndAt(j);
        return e ? j + e : i;
    }

    // The position of the next character after splicing, from i.
    std::size_t logical(std::size_t i) const {
        for (std::size_t j; (j = pastSplice(i)) != i;) i = j;
        return i;
    }

    // The start of the line end that ends the physical line holding i, or n.
    std::size_t lineEndFrom(std::size_t i) const { return lineEnds_.next(i); }

    // Whether the physical line ending at `end` (a line end's start) ends in a splice.
    bool spliced(std::size_t lineStart, std::size_t end) const {
        while (end > lineStart && isBlank(in_[end - 1])) --end;
        return end > lineStart && in_[end - 1] == Unit('\\');
    }

    // Each line end within [from, to) kept; the blanks before the first go.
    void keepLineEnds(std::size_t from, std::size_t to) {
        bool first = true;
        for (std::size_t k = from; (k = lineEndFrom(k)) < to;) {
            if (first) out_.trimBlanks(), first = false;
            const std::size_t e = lineEndAt(k);
            out_.keep(k, k + e);
            k += e;
        }
    }

    // A comment [start, end) removed: the code before it kept, and what it leaves in its place.
    void remove(std::size_t start, std::size_t end, bool splices) {
        out_.keep(kept_, start);
        kept_ = end;
        const std::size_t lines = lineEndFrom(start);
        if (lines < end) {
            keepLineEnds(start, end);
        }
        noteComment(start, end, lines);
        std::size_t next = splices ? logical(end) : end;
        std::size_t blanks = end;
        while (blanks < n_ && isBlank(in_[blanks])) ++blanks;
        if (blanks >= n_ || isLineEnd(in_[blanks])) {
            // Nothing but blanks after it: the line ends where its code does.
            out_.trimBlanks();
            kept_ = blanks;
        } else if (next >= n_ || isLineEnd(in_[next])) {
            out_.trimBlanks();
        } else if (lines >= end && !isBlank(in_[next])) {
            const auto left = out_.last();
            if (left != 0 && !isBlank(left) && !isLineEnd(left)) out_.space();
        }
    }

    // "//" at `start`, its text from `from`: to the end of the spliced line.
    std::size_t lineComment(std::size_t start, std::size_t from) {
        std::size_t lineStart = from;
        std::size_t end = lineEndFrom(from);
        while (end < n_ && spliced(lineStart, end)) {
            lineStart = end + lineEndAt(end);
            end = lineEndFrom(lineStart);
        }
        if (!kept(start, end)) remove(start, end, false);
        return end;
    }

    // "/*" at `start`, its text from `from`, through the first "*/": where to go on from, or
    // kUnclosed, and the rest stays as it is.
    std::size_t blockComment(std::size_t start, std::size_t from, bool splices) {
        for (std::size_t k = from;;) {
            k = nextUnit(in_, k, n_, '*');
            if (k >= n_) break;
            const std::size_t j = splices ? logical(k + 1) : k + 1;
            if (j < n_ && in_[j] == Unit('/')) {
                if (kept(start, j + 1)) return j + 1;
                remove(start, j + 1, splices);
                return kept_;
            }
            k = k + 1;
        }
        doubts_.push_back({SyntaxDoubt::Kind::UnclosedBlock, start});
        return kUnclosed;
    }

    // A literal opened by `quote` at `start`; where it is not closed on its line, it is code to
    // the line's end. Escapes and splices only in C.
    std::size_t quoted(std::size_t start, Unit quote, bool escapes) {
        const std::array<unsigned char, 4> targets{static_cast<unsigned char>(quote), '\\', '\n', '\r'};
        for (std::size_t k = start + 1;;) {
            k = findAny(in_, k, n_, targets);
            if (k < n_ && in_[k] == quote) return k + 1;
            if (k < n_ && in_[k] == Unit('\\')) {
                if (!escapes) {
                    ++k;
                    continue;
                }
                const std::size_t j = pastSplice(k);
                k = j != k ? j : logical(k + 1) + 1;
                continue;
            }
            doubts_.push_back({SyntaxDoubt::Kind::UnterminatedLiteral, start});
            return k;
        }
    }

    // A '"' at i: a raw string where the prefix and the language make one, or a string.
    std::size_t doubleQuote(std::size_t i, RawStrings raw) {
        const std::size_t prefix = raw == RawStrings::Never ? SIZE_MAX : rawPrefixBefore(i);
        if (prefix == SIZE_MAX) return quoted(i, Unit('"'), true);
        // The delimiter: at most 16 characters, none of them a space, a parenthesis, a backslash
        // or a control character, then "(".
        std::size_t d = i + 1;
        while (d < n_ && d - (i + 1) <= 16 && in_[d] != Unit('(') && in_[d] > Unit(' ') &&
               in_[d] < Unit(0x7F) && in_[d] != Unit(')') && in_[d] != Unit('\\') && in_[d] != Unit('"'))
            ++d;
        if (d >= n_ || in_[d] != Unit('(') || d - (i + 1) > 16) {
            if (raw == RawStrings::WhereValid) return quoted(i, Unit('"'), true);
            doubts_.push_back({SyntaxDoubt::Kind::RawDelimiter, prefix});
            return lineEndFrom(i);
        }
        const std::size_t delimiter = i + 1;
        const std::size_t length = d - delimiter;
        // Splices do not apply inside a raw string: the first ")delim\"" closes it.
        for (std::size_t k = d + 1;;) {
            k = nextUnit(in_, k, n_, ')');
            if (k >= n_) break;
            if (k + 1 + length < n_ && std::equal(in_ + delimiter, in_ + d, in_ + k + 1) &&
                in_[k + 1 + length] == Unit('"'))
                return k + 2 + length;
            ++k;
        }
        doubts_.push_back({SyntaxDoubt::Kind::UnterminatedLiteral, prefix});
        return n_;
    }

    // Where the raw-string prefix ending before the '"' at i starts: R, LR, uR, UR or u8R, itself
    // not the tail of a longer identifier; SIZE_MAX for none.
    std::size_t rawPrefixBefore(std::size_t i) const {
        if (i == 0 || in_[i - 1] != Unit('R')) return SIZE_MAX;
        std::size_t p = i - 1;
        if (p >= 2 && in_[p - 1] == Unit('8') && in_[p - 2] == Unit('u')) {
            p -= 2;
        } else if (p >= 1 &&
                   (in_[p - 1] == Unit('L') || in_[p - 1] == Unit('u') || in_[p - 1] == Unit('U'))) {
            p -= 1;
        }
        return p == 0 || !isIdentifier(in_[p - 1]) ? p : SIZE_MAX;
    }

    // Whether the '\'' at i separates digits of a number (1'000, 0x7FFF'FFFF): it follows a
    // preprocessing number and comes before a digit or letter.
    bool separatorAt(std::size_t i) const {
        if (i + 1 >= n_ || !isIdentifier(in_[i + 1]) || i == 0) return false;
        std::size_t p = i;
        for (;;) {
            while (p > 0 && (isIdentifier(in_[p - 1]) || in_[p - 1] == Unit('.') || in_[p - 1] == Unit('\'')))
                --p;
            // An exponent's sign belongs to the number: 1e+5'0.
            if (p >= 2 && (in_[p - 1] == Unit('+') || in_[p - 1] == Unit('-'))) {
                const Unit e = in_[p - 2];
                if (e == Unit('e') || e == Unit('E') || e == Unit('p') || e == Unit('P')) {
                    p -= 2;
                    continue;
                }
            }
            break;
        }
        if (p == i) return false;
        return isDigit(in_[p]) || (in_[p] == Unit('.') && p + 1 < i && isDigit(in_[p + 1]));
    }

    // The comment [start, end) as what a directive after it looks back past: where it ends, and
    // whether it stood first on its (last) line. `lines`: the first line end from `start`.
    void noteComment(std::size_t start, std::size_t end, std::size_t lines) {
        commentFirst_ = lines < end || firstOnLine(start);
        commentEnd_ = end;
    }
    void noteComment(std::size_t start, std::size_t end) { noteComment(start, end, lineEndFrom(start)); }

    // Whether only blanks and comments stand before i on its line.
    bool firstOnLine(std::size_t i) const {
        std::size_t b = i;
        while (b > 0 && b != commentEnd_ && isBlank(in_[b - 1])) --b;
        if (b == 0 || isLineEnd(in_[b - 1])) return true;
        return b == commentEnd_ && commentFirst_;
    }

    // A '#' at i: for #include, #include_next and #import, the header name is kept whole.
    std::size_t directive(std::size_t i) {
        if (!firstOnLine(i)) return i + 1;
        std::size_t p = i + 1;
        while (p < n_ && isBlank(in_[p])) ++p;
        const std::size_t name = p;
        while (p < n_ && isIdentifier(in_[p])) ++p;
        if (!isInclude(name, p)) return p > name ? p : i + 1;
        while (p < n_ && isBlank(in_[p])) ++p;
        if (p >= n_ || (in_[p] != Unit('<') && in_[p] != Unit('"'))) return p;
        const Unit close = in_[p] == Unit('<') ? Unit('>') : Unit('"');
        const std::size_t end = findAny(
            in_, p + 1, n_, std::array<unsigned char, 3>{static_cast<unsigned char>(close), '\n', '\r'});
        return end < n_ && in_[end] == close ? end + 1 : end;
    }

    bool isInclude(std::size_t from, std::size_t to) const {
        for (const std::string_view word : {"include", "include_next", "import"}) {
            if (to - from == word.size() &&
                std::equal(word.begin(), word.end(), in_ + from, [](char a, Unit b) { return Unit(a) == b; }))
                return true;
        }
        return false;
    }

    const Unit* in_;
    std::size_t n_;
    const KeptComments& keep_;
    std::size_t comments_ = 0;         // comments met so far
    std::size_t firstEnd_ = SIZE_MAX;  // where the first comment, if kept, ends so far
    Out& out_;
    std::vector<SyntaxDoubt>& doubts_;
    std::size_t kept_ = 0;  // where the code not yet kept begins
    // Where the last comment removed ended, and whether only blanks and comments stood before it.
    std::size_t commentEnd_ = SIZE_MAX;
    bool commentFirst_ = false;
    mutable Marks<Unit, 2> lineEnds_;
};

}  // namespace syntax

/// The syntax rules on in[0, n) for a file of `language`, keeping the comments `keep` names, telling `out`
/// what stays (see syntax::Sweep) and `doubts` where the lexer could not be sure.
template <typename Unit, typename Out>
void stripSyntax(const Unit* in, std::size_t n, Language language, RawStrings raw, const KeptComments& keep,
                 Out& out, std::vector<SyntaxDoubt>& doubts) {
    syntax::Sweep<Unit, Out> sweep(in, n, keep, out, doubts);
    if (language == Language::CFamily) {
        sweep.cFamily(raw);
    } else {
        sweep.assembler();
    }
}

}  // namespace tavirel
