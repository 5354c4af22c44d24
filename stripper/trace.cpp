// SPDX-License-Identifier: MIT
#include "trace.h"

#include <algorithm>

#include "block_sweep.h"
#include "line_cut.h"
#include "line_load.h"
#include "syntax_rules.h"

namespace tavirel {
namespace {

// A sweep's output with origins: the stretches of `in` it keeps, each unit traced to its place.
struct Tracing {
    std::u16string_view in;
    TracedText t;
    Tracing(std::u16string_view text, std::size_t room) : in(text) {
        t.text.reserve(room);
        t.from.reserve(room);
    }
    void keep(std::size_t from, std::size_t to) {
        t.text.append(in.substr(from, to - from));
        for (std::size_t k = from; k < to; ++k) t.from.push_back(static_cast<std::uint32_t>(k));
    }
};

}  // namespace

TracedText traceLoad(std::u16string_view fileText, LineEnds ends) {
    struct Traced : Tracing {
        using Tracing::Tracing;
        void lineEnd(std::size_t cr, std::size_t lf) {
            t.text += u"\r\n";
            for (std::size_t k : {cr, lf}) {
                t.from.push_back(k == std::u16string_view::npos ? kAdded : static_cast<std::uint32_t>(k));
            }
        }
    } out(fileText, fileText.size() + 2);
    loadLines(fileText, ends, out);
    return std::move(out.t);
}

TracedText traceStrip(std::u16string_view text, std::u16string_view lineMarker) {
    // Both passes only drop units, except the CR a cut line may gain: at most one per line.
    const std::size_t room =
        text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), u'\n'));

    // The line pass: every LF-terminated line is cut at its first marker; a cut line ends in CR
    // LF (its own where it had a CR before its LF); what follows the last LF is dropped.
    struct Lines : Tracing {
        using Tracing::Tracing;
        void lineEnd(std::size_t cut, std::size_t lf) {
            const bool ownCr = lf > cut && in[lf - 1] == u'\r';
            t.text += u"\r\n";
            t.from.push_back(ownCr ? static_cast<std::uint32_t>(lf - 1) : kAdded);
            t.from.push_back(static_cast<std::uint32_t>(lf));
        }
    } lines(text, room);
    cutLines(text.data(), text.size(), lineMarker, false, lines);
    const std::u16string& lineText = lines.t.text;
    const std::vector<std::uint32_t>& lineFrom = lines.t.from;
    const std::size_t w = lineText.size();

    // The block pass: the one sweep of block_sweep.h, each unit kept with its origin.
    struct Traced {
        const std::u16string& in;
        const std::vector<std::uint32_t>& from;
        TracedText t;
        void keep(std::size_t a, std::size_t b) {
            t.text.append(in, a, b - a);
            t.from.insert(t.from.end(), from.begin() + static_cast<std::ptrdiff_t>(a),
                          from.begin() + static_cast<std::ptrdiff_t>(b));
        }
        void dropLast() {
            t.text.pop_back();
            t.from.pop_back();
        }
        bool endsWithSlash() const { return !t.text.empty() && t.text.back() == u'/'; }
    } out{lineText, lineFrom, {}};
    out.t.text.reserve(w);
    out.t.from.reserve(w);
    sweepBlocks(lineText.data(), w, out);
    return std::move(out.t);
}

TracedText traceSyntax(std::u16string_view text, Language language, RawStrings raw, const KeptComments& keep,
                       std::vector<SyntaxDoubt>& doubts) {
    struct Traced : Tracing {
        using Tracing::Tracing;
        void space() {
            t.text += u' ';
            t.from.push_back(kAdded);
        }
        void trimBlanks() {
            while (!t.text.empty() && syntax::isBlank(t.text.back())) {
                t.text.pop_back();
                t.from.pop_back();
            }
        }
        char16_t last() const { return t.text.empty() ? u'\0' : t.text.back(); }
    } out(text, text.size());
    stripSyntax(text.data(), text.size(), language, raw, keep, out, doubts);
    placeDoubts(doubts, text);
    return std::move(out.t);
}

namespace {

template <typename Unit>
void place(std::vector<SyntaxDoubt>& doubts, std::basic_string_view<Unit> text) {
    std::size_t line = 1;
    std::size_t lineStart = 0;
    std::size_t k = 0;
    for (SyntaxDoubt& d : doubts) {
        for (; k < d.pos && k < text.size(); ++k) {
            const Unit c = text[k];
            if (c == Unit('\n') || (c == Unit('\r') && (k + 1 >= text.size() || text[k + 1] != Unit('\n')))) {
                ++line;
                lineStart = k + 1;
            }
        }
        d.line = line;
        d.column = d.pos - lineStart + 1;
    }
}

}  // namespace

void placeDoubts(std::vector<SyntaxDoubt>& doubts, std::u16string_view text) {
    place(doubts, text);
}

void placeDoubts(std::vector<SyntaxDoubt>& doubts, std::string_view text) {
    place(doubts, text);
}

TracedConversion traceConversion(std::u16string_view fileText, LineEnds ends, Language language,
                                 RuleSet rules, RawStrings raw, const KeptComments& keep) {
    return traceLoaded(traceLoad(fileText, ends), ends, language, rules, raw, keep);
}

TracedConversion traceLoaded(TracedText loaded, LineEnds ends, Language language, RuleSet rules,
                             RawStrings raw, const KeptComments& keep) {
    TracedConversion t;
    t.loaded = std::move(loaded);
    t.stripped = rules == RuleSet::Syntax ? traceSyntax(t.loaded.text, language, raw, keep, t.doubts)
                                          : traceStrip(t.loaded.text, lineMarkerOf(language));
    const TracedText& s = t.stripped;
    t.newFile.text.reserve(s.text.size());
    t.newFile.from.reserve(s.text.size());
    for (std::size_t k = 0; k < s.text.size(); ++k) {
        // An LF file is written with LF: each CR LF of the result loses its CR.
        if (ends == LineEnds::Lf && s.text[k] == u'\r' && k + 1 < s.text.size() && s.text[k + 1] == u'\n')
            continue;
        t.newFile.text += s.text[k];
        t.newFile.from.push_back(s.from[k] == kAdded ? kAdded : t.loaded.from[s.from[k]]);
    }
    return t;
}

}  // namespace tavirel
