// SPDX-License-Identifier: MIT
#include "warnings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "trace.h"
#include "word_scan.h"

namespace tavirel {
namespace {

using Pos = std::uint32_t;
constexpr Pos kNone = UINT32_MAX;

enum class Region : std::uint8_t { Literal, LineComment, BlockComment };

struct Range {
    Pos start, end;  // [start, end)
    Region region;
};

// What one pass of the lexer learns: where the real comments and literals are, and the places
// where the rules may go wrong.
struct Lexed {
    std::vector<Range> ranges;  // in text order, not overlapping
    bool suspect = false;       // anything below, or a marker inside a literal
    struct Swallow {
        Pos block, marker, close;  // a line marker on the line of the block's "*/", before it
    };
    std::vector<Swallow> swallowed;
    struct Nested {
        Pos block, inner, end;  // a "/*" inside the block [block, end)
    };
    std::vector<Nested> nested;
    std::vector<Pos> continued;  // "//" comments that a backslash continues
    bool unclosed = false;       // a block comment that the text ends inside
};

bool isBlank(char32_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
}
bool isIdentifier(char32_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}
bool isDigit(char32_t c) {
    return c >= u'0' && c <= u'9';
}

template <typename Char>
bool sameAs(const Char* s, std::size_t n, std::string_view ascii) {
    if (n != ascii.size()) return false;
    for (std::size_t k = 0; k < n; ++k) {
        if (static_cast<char32_t>(s[k]) != static_cast<unsigned char>(ascii[k])) return false;
    }
    return true;
}

// Runs on the loaded text's code units, or on the bytes of an ASCII file whose lines all end
// alike: the two differ only in line ends, which the lexer takes alike.
template <typename Char>
class Lexer {
public:
    /// With `onlySuspect`, the lexer keeps no ranges and stops at the first doubt: all that is
    /// asked is whether to look closer.
    ///
    /// With `strip` too, the lexer writes there what is left without the comments, each line
    /// comment giving way to the line end `lineEnd`, and takes as a doubt whatever would make the
    /// rules' result another.
    Lexer(std::basic_string_view<Char> text, Language language, bool onlySuspect = false,
          std::string* strip = nullptr, std::string_view lineEnd = {})
        : strip_(strip),
          lineEnd_(lineEnd),
          s_(text.data()),
          n_(static_cast<Pos>(text.size())),
          c_(language == Language::CFamily),
          ranges_(!onlySuspect),
          code_(s_, n_, {'/', '"', '\'', static_cast<unsigned char>(c_ ? '#' : ';')}),
          lineFeeds_(s_, n_, {'\n'}),
          // The "*" of "/*" cannot also close it: the search starts after the opener.
          inside_(s_, n_, {'*', '/', static_cast<unsigned char>(c_ ? '/' : ';')}) {}

    Lexed run() {
        Pos i = 0;
        while ((i = code_.next(i)) < n_ && (ranges_ || !out_.suspect)) {
            switch (s_[i]) {
                case u'/':
                    if (i + 1 < n_ && s_[i + 1] == u'*') {
                        i = blockComment(i);
                    } else if (c_ && i + 1 < n_ && s_[i + 1] == u'/') {
                        i = lineComment(i);
                    } else {
                        ++i;
                    }
                    break;
                case u';': i = lineComment(i); break;
                case u'"': i = c_ && rawPrefix(i) ? rawString(i) : literal(i, u'"'); break;
                case u'\'': i = c_ && digitSeparator(i) ? i + 1 : literal(i, u'\''); break;
                case u'#': i = directive(i); break;
                default: ++i; break;
            }
        }
        if (strip_ && !out_.suspect) {
            keep(n_);
            // The last line gets its line end, as every line of the rules' result has one.
            if (n_ > 0 && s_[n_ - 1] != '\n') strip_->append(lineEnd_);
        }
        return std::move(out_);
    }

private:
    // To the end of the line, and on over every line a trailing backslash joins to it (C only).
    Pos lineComment(Pos i) {
        Pos j = i;
        for (;;) {
            j = lineFeeds_.next(j);
            Pos last = j;
            while (last > i && (s_[last - 1] == u'\r')) --last;
            if (!c_ || j >= n_ || last == i || s_[last - 1] != u'\\') break;
            if (out_.continued.empty() || out_.continued.back() != i) out_.continued.push_back(i);
            out_.suspect = true;
            ++j;  // the comment goes on over the next line
        }
        addRange({i, j, Region::LineComment});
        if (strip_) {
            keep(i);
            if (j < n_) strip_->append(lineEnd_);
            kept_ = j < n_ ? j + 1 : n_;
        }
        return j;
    }

    // What stands from the last comment up to `to` stays.
    void keep(Pos to) {
        if constexpr (sizeof(Char) == 1) strip_->append(s_ + kept_, to - kept_);
        kept_ = to;
    }

    // A block comment [i, end) goes; the rules take "/*/" as a whole comment, the "/" of a "*//"
    // as a line marker's, and a "/" kept before a "*" kept after as the start of another.
    void stripBlock(Pos i, Pos end) {
        if (i + 2 < n_ && s_[i + 2] == u'/') out_.suspect = true;
        if (c_ && end < n_ && s_[end] == u'/') out_.suspect = true;
        keep(i);
        kept_ = end;
        if (!strip_->empty() && strip_->back() == '/' && end < n_ && s_[end] == u'*') out_.suspect = true;
    }

    // Whether a line feed stands in [from, to).
    bool lineFeedIn(Pos from, Pos to) const { return nextUnit(s_, from, to, '\n') < to; }

    Pos blockComment(Pos i) {
        const Char marker = c_ ? '/' : ';';
        // The first line marker on the line of the last one seen: the markers are looked at,
        // not every line feed, which a block comment is mostly made of.
        Pos markerOnLine = kNone;
        Pos inner = kNone;
        for (Pos j = i + 2; (j = inside_.next(j)) < n_; ++j) {
            const Char c = s_[j];
            if (c == u'*' && j + 1 < n_ && s_[j + 1] == u'/') {
                const Pos end = j + 2;
                if (markerOnLine != kNone && !lineFeedIn(markerOnLine, j)) {
                    out_.swallowed.push_back({i, markerOnLine, j});
                    out_.suspect = true;
                }
                if (inner != kNone) {
                    out_.nested.push_back({i, inner, end});
                    out_.suspect = true;
                }
                addRange({i, end, Region::BlockComment});
                if (strip_) stripBlock(i, end);
                return end;
            } else if (c == u'/' && j + 1 < n_ && s_[j + 1] == u'*') {
                if (inner == kNone) inner = j;
            } else if (c == marker && (!c_ || (j + 1 < n_ && s_[j + 1] == u'/'))) {
                if (markerOnLine == kNone || lineFeedIn(markerOnLine, j)) markerOnLine = j;
            }
        }
        addRange({i, n_, Region::BlockComment});
        out_.unclosed = out_.suspect = true;
        return n_;
    }

    // A quoted literal that closes on its own line (a backslash escapes the next unit, and in C
    // joins the next line). A quote that no quote closes is an ordinary character, like the
    // apostrophe of "can't" in an #error or of "af'" in assembler.
    Pos literal(Pos i, char16_t quote) {
        for (Pos j = i + 1; j < n_; ++j) {
            const Char c = s_[j];
            if (c == quote) return addLiteral(i, j + 1);
            if (c == u'\n') break;
            if (c == u'\\' && j + 1 < n_) {
                ++j;
                if (s_[j] == u'\r' && j + 1 < n_ && s_[j + 1] == u'\n') ++j;
                if (s_[j] == u'\n' && !c_) break;
            }
        }
        return i + 1;
    }

    Pos addLiteral(Pos start, Pos end) {
        addRange({start, end, Region::Literal});
        for (Pos k = start; k + 1 < end; ++k) {
            const Char a = s_[k], b = s_[k + 1];
            if ((a == u'/' && (b == u'*' || (c_ && b == u'/'))) || (!c_ && a == u';')) out_.suspect = true;
        }
        if (!c_ && s_[end - 1] == u';') out_.suspect = true;
        return end;
    }

    // R"delim( ... )delim", with an optional encoding prefix before the R.
    bool rawPrefix(Pos i) const {
        if (i == 0 || s_[i - 1] != u'R') return false;
        Pos b = i - 1;
        while (b > 0 && isIdentifier(s_[b - 1])) --b;
        for (const char* prefix : {"R", "LR", "uR", "UR", "u8R"}) {
            if (sameAs(s_ + b, i - b, prefix)) return true;
        }
        return false;
    }

    Pos rawString(Pos i) {
        Pos open = i + 1;
        while (open < n_ && open - i <= 17 && s_[open] != u'(' && !isBlank(s_[open]) && s_[open] != u'\\')
            ++open;
        if (open >= n_ || s_[open] != u'(') return literal(i, u'"');
        std::basic_string<Char> close(1, ')');
        close.append(s_ + i + 1, open - i - 1);
        close += '"';
        const std::basic_string_view<Char> rest(s_ + open + 1, n_ - open - 1);
        const std::size_t at = rest.find(close);
        if (at == std::u16string_view::npos) return i + 1;
        const Pos end = open + 1 + static_cast<Pos>(at + close.size());
        return addLiteral(i, end);
    }

    // C++14 digit separators: 1'000'000 and 0xFF'FF are numbers, not character literals.
    bool digitSeparator(Pos i) const {
        if (i == 0 || i + 1 >= n_ || !isIdentifier(s_[i + 1])) return false;
        Pos b = i;
        while (b > 0 && (isIdentifier(s_[b - 1]) || s_[b - 1] == u'\'' || s_[b - 1] == u'.')) --b;
        return b < i && isDigit(s_[b]);
    }

    // #include <...> names a header: what stands between the angle brackets is no comment.
    Pos directive(Pos i) {
        // Only blanks may stand before it on its line.
        for (Pos k = i; k > 0 && s_[k - 1] != u'\n'; --k) {
            if (s_[k - 1] != u' ' && s_[k - 1] != u'\t') return i + 1;
        }
        Pos j = i + 1;
        while (j < n_ && (s_[j] == u' ' || s_[j] == u'\t')) ++j;
        const Pos word = j;
        while (j < n_ && isIdentifier(s_[j])) ++j;
        if (!sameAs(s_ + word, j - word, "include") && !sameAs(s_ + word, j - word, "include_next") &&
            !sameAs(s_ + word, j - word, "import")) {
            return j;
        }
        while (j < n_ && (s_[j] == u' ' || s_[j] == u'\t')) ++j;
        if (j >= n_ || s_[j] != u'<') return j;
        for (Pos k = j + 1; k < n_ && s_[k] != u'\n'; ++k) {
            if (s_[k] == u'>') return addLiteral(j, k + 1);
        }
        return j + 1;
    }

    void addRange(Range r) {
        if (ranges_) out_.ranges.push_back(r);
    }

    std::string* strip_;
    std::string_view lineEnd_;
    Pos kept_ = 0;  // where what stays goes on, with `strip_`
    const Char* s_;
    Pos n_;
    bool c_;
    bool ranges_;
    Marks<Char, 4> code_;       // what may start a comment, a literal or a directive
    Marks<Char, 1> lineFeeds_;  // where a line comment may end
    Marks<Char, 3> inside_;     // what matters inside a block comment
    Lexed out_;
};

// Whether a "/*" or a "*/" is left: each holds a "*", which is rare outside comments.
template <typename Char>
bool holdsBlockMarker(std::basic_string_view<Char> result) {
    const Pos n = static_cast<Pos>(result.size());
    Marks<Char, 1> stars(result.data(), n, {'*'});
    for (Pos k = 0; (k = stars.next(k)) < n; ++k) {
        if ((k > 0 && result[k - 1] == u'/') || (k + 1 < n && result[k + 1] == u'/')) return true;
    }
    return false;
}

// The second stage, for a suspect file: what the rules really remove, from the traced passes,
// held against what the lexer knows.
class Analysis {
public:
    // `traced` is the result of both passes on `text`, traced to it.
    Analysis(std::u16string_view text, TracedText traced, Language language, const Lexed& lexed)
        : t_(text), language_(language), marker_(lineMarkerOf(language)), lexed_(lexed) {
        removed_.assign(text.size(), true);
        for (Pos from : traced.from) {
            if (from != kAdded) removed_[from] = false;
        }
        result_ = std::move(traced.text);
        resultFrom_ = std::move(traced.from);
        for (Pos k = 0; k < text.size(); ++k) {
            if (text[k] == u'\n') lineFeeds_.push_back(k);
        }
    }

    std::vector<Warning> run() {
        literals();
        swallowed();
        nested();
        keptMarkers();
        continued();
        std::stable_sort(found_.begin(), found_.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<Warning> warnings;
        for (auto& [pos, warning] : found_) warnings.push_back(std::move(warning));
        return warnings;
    }

private:
    // The marker in quotes. Built a character at a time: GCC 12 at -O3 sees an overlap in the
    // concatenation that is not there (-Wrestrict).
    std::string quoted(std::u16string_view marker) const {
        std::string q(1, '"');
        for (char16_t c : marker) q += static_cast<char>(c);
        q += '"';
        return q;
    }

    std::size_t lineOf(Pos p) const {
        return static_cast<std::size_t>(std::lower_bound(lineFeeds_.begin(), lineFeeds_.end(), p) -
                                        lineFeeds_.begin()) +
               1;
    }
    std::string lineText(Pos p) const { return std::to_string(lineOf(p)); }
    Pos lineStartOf(Pos p) const {
        const auto it = std::lower_bound(lineFeeds_.begin(), lineFeeds_.end(), p);
        return it == lineFeeds_.begin() ? 0 : *(it - 1) + 1;
    }

    void add(WarningKind kind, Pos p, std::string text) {
        found_.push_back({p, Warning{kind, lineOf(p), p - lineStartOf(p) + 1, std::move(text)}});
    }

    const Range* rangeAt(Pos p) const {
        const auto& ranges = lexed_.ranges;
        auto it = std::upper_bound(ranges.begin(), ranges.end(), p,
                                   [](Pos q, const Range& r) { return q < r.start; });
        if (it == ranges.begin()) return nullptr;
        --it;
        return p < it->end ? &*it : nullptr;
    }
    bool inLiteral(Pos p) const {
        const Range* r = rangeAt(p);
        return r && r->region == Region::Literal;
    }
    bool isCode(Pos p) const {
        const Range* r = rangeAt(p);
        return !isBlank(t_[p]) && (!r || r->region == Region::Literal);
    }

    // The first unit after p that the rules keep.
    Pos runEnd(Pos p) const {
        while (p < removed_.size() && removed_[p]) ++p;
        return p;
    }
    // Where the rules cut p's line: its first line marker, or kNone.
    Pos cutOfLine(Pos p) const {
        const Pos start = lineStartOf(p);
        const std::size_t at = t_.substr(start).find(marker_);
        if (at == std::u16string_view::npos) return kNone;
        const Pos cut = start + static_cast<Pos>(at);
        const auto lf = std::lower_bound(lineFeeds_.begin(), lineFeeds_.end(), start);
        return lf != lineFeeds_.end() && cut > *lf ? kNone : cut;
    }
    // How many lines in [from, to) hold code that the rules remove.
    std::size_t codeLinesRemoved(Pos from, Pos to) const {
        std::size_t lines = 0, last = 0;
        for (Pos k = from; k < to; ++k) {
            if (!removed_[k] || !isCode(k)) continue;
            const std::size_t line = lineOf(k);
            if (line != last) ++lines, last = line;
        }
        return lines;
    }

    void literals() {
        for (const Range& r : lexed_.ranges) {
            if (r.region != Region::Literal) continue;
            for (Pos k = r.start; k < r.end; ++k) {
                if (t_.substr(k, marker_.size()) == marker_ && k + marker_.size() <= r.end && removed_[k] &&
                    cutOfLine(k) == k) {
                    add(WarningKind::MarkerInString, k,
                        quoted(marker_) +
                            " inside a string or character literal: the rules cut the line here, "
                            "and the rest of the literal and of the line go with it");
                }
                if (t_.substr(k, 2) == u"/*" && k + 2 <= r.end && removed_[k] &&
                    (k == 0 || !removed_[k - 1])) {
                    const Pos end = runEnd(k);
                    add(WarningKind::MarkerInString, k,
                        "\"/*\" inside a string or character literal: the rules remove everything from here "
                        "to "
                        "the next \"*/\", on line " +
                            lineText(end - 1) + ", " + std::to_string(codeLinesRemoved(k, end)) +
                            " lines of code with it");
                }
            }
        }
    }

    void swallowed() {
        for (const Lexed::Swallow& s : lexed_.swallowed) {
            if (!removed_[s.block]) continue;  // no later "*/": the "/*" stays, told below
            const Pos end = runEnd(s.block);
            const Pos close = s.close + 2;
            if (end <= close) continue;
            const std::size_t lines = codeLinesRemoved(close, end);
            if (lines == 0) continue;
            add(WarningKind::SwallowedCode, s.marker,
                quoted(marker_) +
                    " in this block comment also cuts off its \"*/\": the comment runs on to the "
                    "\"*/\" on line " +
                    lineText(end - 1) + " and removes " + std::to_string(lines) + " line" +
                    (lines == 1 ? "" : "s") + " of code");
        }
    }

    void nested() {
        for (const Lexed::Nested& n : lexed_.nested) {
            // The outer tail ends at the first "*/" after the inner block that no comment or
            // literal holds; the rules keep it, and the code before it.
            for (Pos k = n.end; k + 1 < t_.size(); ++k) {
                if (t_[k] != u'*' || t_[k + 1] != u'/' || rangeAt(k)) continue;
                if (removed_[k]) break;
                explained_.push_back(k);
                add(WarningKind::NestedBlock, n.inner,
                    "\"/*\" inside the block comment opened on line " + lineText(n.block) +
                        ": comments do not nest, so the rest of the outer comment up to the \"*/\" on line " +
                        lineText(k) + " stays in the result as code");
                break;
            }
        }
    }

    void keptMarkers() {
        bool openReported = false;
        for (std::size_t r = 0; r + 1 < result_.size(); ++r) {
            const bool open = result_[r] == u'/' && result_[r + 1] == u'*';
            if (!open && !(result_[r] == u'*' && result_[r + 1] == u'/')) continue;
            const Pos from = resultFrom_[r];
            if (from == kAdded || inLiteral(from)) continue;
            if (open && !openReported) {
                // The rules stop at the first start marker without a stop marker: it and every
                // comment after it stay.
                openReported = true;
                std::string why;
                for (const Lexed::Swallow& s : lexed_.swallowed) {
                    if (s.block == from) {
                        why = " once the " + quoted(marker_) + " on line " + lineText(s.marker) +
                              " cuts off its own";
                    }
                }
                add(WarningKind::UnclosedBlock, from,
                    "\"/*\" with no \"*/\" after it" + why +
                        ": the rules keep it, and every comment after it, as text");
            } else if (!open) {
                if (std::find(explained_.begin(), explained_.end(), from) != explained_.end()) continue;
                const Range* range = rangeAt(from);
                if (range && range->region == Region::BlockComment && t_.substr(range->start, 3) == u"/*/") {
                    add(WarningKind::StrayClose, from,
                        "\"*/\" of the comment opened by \"/*/\" on line " + lineText(range->start) +
                            ": the rules end that comment at once, so its text up to here stays");
                } else {
                    add(WarningKind::StrayClose, from, "\"*/\" outside any comment stays in the result");
                }
            }
        }
    }

    void continued() {
        for (Pos start : lexed_.continued) {
            const Range* r = rangeAt(start);
            if (!r) continue;
            const auto lf = std::lower_bound(lineFeeds_.begin(), lineFeeds_.end(), start);
            if (lf == lineFeeds_.end()) continue;
            for (Pos k = *lf + 1; k < r->end; ++k) {
                if (!removed_[k] && !isBlank(t_[k])) {
                    add(WarningKind::ContinuedComment, start,
                        "this \"//\" comment ends in a backslash and so goes on over the next line, which "
                        "the "
                        "rules keep as code");
                    break;
                }
            }
        }
    }

    std::u16string_view t_;
    Language language_;
    std::u16string_view marker_;
    const Lexed& lexed_;
    std::vector<bool> removed_;
    std::u16string result_;
    std::vector<Pos> resultFrom_;
    std::vector<Pos> lineFeeds_;
    std::vector<Pos> explained_;
    std::vector<std::pair<Pos, Warning>> found_;
};

}  // namespace

std::string_view kindName(WarningKind kind) {
    switch (kind) {
        case WarningKind::SwallowedCode: return "swallowed-code";
        case WarningKind::MarkerInString: return "marker-in-string";
        case WarningKind::UnclosedBlock: return "unclosed-block";
        case WarningKind::StrayClose: return "stray-close";
        case WarningKind::NestedBlock: return "nested-block";
        case WarningKind::ContinuedComment: return "continued-comment";
        case WarningKind::UnterminatedLiteral: return "unterminated-literal";
        case WarningKind::RawDelimiter: return "raw-string-delimiter";
    }
    return "warning";
}

std::vector<Warning> findWarnings(std::u16string_view text, std::u16string_view result, Language language) {
    if (text.size() >= kNone) return {};
    const Lexed lexed = Lexer<char16_t>(text, language).run();
    if (!lexed.suspect && !holdsBlockMarker(result)) return {};
    return Analysis(text, traceStrip(text, lineMarkerOf(language)), language, lexed).run();
}

std::optional<std::string> stripIfClean(std::string_view bytes, Language language, LineEnds ends) {
    if (bytes.size() >= kNone) return std::nullopt;
    std::string result;
    result.reserve(bytes.size() + 2);
    if (Lexer<char>(bytes, language, true, &result, ends == LineEnds::Lf ? "\n" : "\r\n").run().suspect ||
        holdsBlockMarker(std::string_view(result)))
        return std::nullopt;
    return result;
}

std::vector<Warning> findWarnings(const SourceConversion& conversion, std::string_view fileBytes,
                                  Language language, const CodePage& page) {
    if (conversion.rules == RuleSet::Syntax) {
        std::vector<Warning> found;
        for (const SyntaxDoubt& d : conversion.doubts) {
            switch (d.kind) {
                case SyntaxDoubt::Kind::UnterminatedLiteral:
                    found.push_back({WarningKind::UnterminatedLiteral, d.line, d.column,
                                     "literal not closed on its line: the rest of the line is kept as code"});
                    break;
                case SyntaxDoubt::Kind::UnclosedBlock:
                    found.push_back({WarningKind::UnclosedBlock, d.line, d.column,
                                     "\"/*\" without a closing \"*/\": the rest of the file is kept"});
                    break;
                case SyntaxDoubt::Kind::RawDelimiter:
                    found.push_back(
                        {WarningKind::RawDelimiter, d.line, d.column,
                         "raw string with an invalid delimiter: the rest of the line is kept as code"});
                    break;
            }
        }
        return found;
    }
    if (conversion.trace) {
        // Traced already, for a diff or a preview: the lexer decides whether to look closer.
        const TracedConversion& t = *conversion.trace;
        if (t.loaded.text.size() >= kNone) return {};
        const Lexed lexed = Lexer<char16_t>(t.loaded.text, language).run();
        if (!lexed.suspect && !holdsBlockMarker(std::u16string_view(t.stripped.text))) return {};
        return Analysis(t.loaded.text, t.stripped, language, lexed).run();
    }
    if (!conversion.text.empty()) return findWarnings(conversion.text, conversion.result, language);
    if (conversion.clean || fileBytes.size() >= kNone) return {};
    // Converted on its bytes: lexed on them too, and loaded only for a closer look.
    const std::string_view result = conversion.outcome == SourceConversion::Outcome::Changed
                                        ? std::string_view(conversion.bytes)
                                        : fileBytes;
    if (!Lexer<char>(fileBytes, language, true).run().suspect && !holdsBlockMarker(result)) return {};
    const std::u16string text = textOfFile(page.decode(fileBytes), conversion.lineEnds);
    if (text.size() >= kNone) return {};
    return Analysis(text, traceStrip(text, lineMarkerOf(language)), language,
                    Lexer<char16_t>(text, language).run())
        .run();
}

}  // namespace tavirel
