// SPDX-License-Identifier: MIT
#include "conversion.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "block_sweep.h"
#include "line_cut.h"
#include "line_load.h"
#include "strop.h"
#include "syntax_rules.h"
#include "text_file.h"
#include "trace.h"
#include "utf8.h"
#include "word_scan.h"

namespace tavirel {

LineEnds lineEndsOf(std::string_view bytes) {
    // An empty view may have no data to search.
    return !bytes.empty() && std::memchr(bytes.data(), '\r', bytes.size()) ? LineEnds::Classic : LineEnds::Lf;
}

std::u16string_view LineReader::readLine() {
    const std::u16string_view rest = text_.substr(pos_);
    const std::size_t end = rest.find(ends_ == LineEnds::Lf ? u'\n' : u'\r');
    if (end == std::u16string_view::npos) {
        pos_ = text_.size();
        return rest;
    }
    pos_ += end + 1;
    if (ends_ == LineEnds::Classic && pos_ < text_.size() && text_[pos_] == u'\n') ++pos_;
    return rest.substr(0, end);
}

std::u16string textOfFile(std::u16string_view fileText, LineEnds ends) {
    // Room for each terminator that gains a unit, counted first: a file may be large.
    struct Text {
        std::u16string_view in;
        char16_t* o;
        void keep(std::size_t from, std::size_t to) {
            std::copy(in.data() + from, in.data() + to, o);
            o += to - from;
        }
        void lineEnd(std::size_t, std::size_t) { *o++ = u'\r', *o++ = u'\n'; }
    };
    std::size_t added = 2;  // a last line without a terminator gets CR LF
    if (ends == LineEnds::Lf) {
        added += static_cast<std::size_t>(std::count(fileText.begin(), fileText.end(), u'\n'));
    } else {
        for (std::size_t k = 0; (k = nextUnit(fileText.data(), k, fileText.size(), '\r')) < fileText.size();
             ++k)
            added += k + 1 == fileText.size() || fileText[k + 1] != u'\n';
    }
    std::u16string text(fileText.size() + added, u'\0');
    Text out{fileText, text.data()};
    loadLines(fileText, ends, out);
    text.resize(static_cast<std::size_t>(out.o - text.data()));
    return text;
}

std::u16string fileTextOf(std::u16string result, LineEnds ends) {
    if (ends == LineEnds::Classic) return result;
    std::size_t w = 0;
    for (std::size_t r = 0; r < result.size(); ++r) {
        if (result[r] == u'\r' && r + 1 < result.size() && result[r + 1] == u'\n') continue;
        result[w++] = result[r];
    }
    result.resize(w);
    return result;
}

namespace {

// What one look at a file's bytes tells, eight bytes at a time. The line feeds of a file without
// a CR are counted only where asked for: nothing else needs them.
struct ByteCounts {
    bool ascii = true;
    std::size_t lineFeeds = 0;
    std::size_t carriageReturns = 0;
    std::size_t crLfs = 0;  // LFs right after a CR
};

// The high bit of each zero byte of a word, exactly (no borrow runs from one byte to the next).
inline std::uint64_t zeroMask(std::uint64_t y) {
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
    return ~(((y & low7) + low7) | y | low7);
}

// The number of high bits in a word that has no others: a multiply adds them up.
inline std::size_t highBits(std::uint64_t m) {
    return static_cast<std::size_t>(((m >> 7) * 0x0101010101010101ULL) >> 56);
}

// Whether every byte is ASCII: the bytes or'ed together, sixty-four at a time.
bool asciiOnly(std::string_view bytes) {
    std::uint64_t high = 0;
    std::size_t k = 0;
#if defined(__SSE2__)
    const auto at = [&bytes](std::size_t i) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
    };
    __m128i any = _mm_setzero_si128();
    for (; k + 64 <= bytes.size(); k += 64)
        any = _mm_or_si128(
            any, _mm_or_si128(_mm_or_si128(at(k), at(k + 16)), _mm_or_si128(at(k + 32), at(k + 48))));
    for (; k + 16 <= bytes.size(); k += 16) any = _mm_or_si128(any, at(k));
    if (_mm_movemask_epi8(any)) return false;
#endif
    for (; k + 8 <= bytes.size(); k += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + k, 8);
        high |= word;
    }
    for (; k < bytes.size(); ++k) high |= static_cast<unsigned char>(bytes[k]);
    return (high & 0x8080808080808080ULL) == 0;
}

ByteCounts countBytes(std::string_view bytes, bool lineFeedsAsked) {
    constexpr std::uint64_t ones = 0x0101010101010101ULL;
    ByteCounts c;
    // Most files have no CR: for them a search for one and a look at the high bits tell all.
    if (!lineFeedsAsked && lineEndsOf(bytes) == LineEnds::Lf) {
        c.ascii = asciiOnly(bytes);
        return c;
    }
    std::uint64_t high = 0;
    std::size_t k = 0;
#if defined(__SSE2__)
    {
        // Sixteen bytes a step, each line end counted in a byte lane of its own; the lanes are
        // added up before they could overflow.
        const __m128i zero = _mm_setzero_si128(), lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
        const auto total = [&zero](__m128i lanes) {
            const __m128i sums = _mm_sad_epu8(lanes, zero);
            return static_cast<std::size_t>(
                _mm_cvtsi128_si64(_mm_add_epi64(sums, _mm_unpackhi_epi64(sums, sums))));
        };
        int highs = 0;
        __m128i lastCrs = zero;  // the CRs of the block before
        while (k + 16 <= bytes.size()) {
            __m128i lfs = zero, crs = zero, pairs = zero;
            for (int step = 0; step < 255 && k + 16 <= bytes.size(); ++step, k += 16) {
                const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + k));
                highs |= _mm_movemask_epi8(block);
                const __m128i isLf = _mm_cmpeq_epi8(block, lf), isCr = _mm_cmpeq_epi8(block, cr);
                // A CR one byte back: this block's shifted up, the last of the block before.
                const __m128i crBefore = _mm_or_si128(_mm_slli_si128(isCr, 1), _mm_srli_si128(lastCrs, 15));
                lfs = _mm_sub_epi8(lfs, isLf);
                crs = _mm_sub_epi8(crs, isCr);
                pairs = _mm_sub_epi8(pairs, _mm_and_si128(isLf, crBefore));
                lastCrs = isCr;
            }
            c.lineFeeds += total(lfs);
            c.carriageReturns += total(crs);
            c.crLfs += total(pairs);
        }
        if (highs) high = 0x80;
    }
#endif
    for (; k + 8 <= bytes.size(); k += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + k, 8);
        high |= word;
        const std::uint64_t lfs = zeroMask(word ^ (ones * '\n')), crs = zeroMask(word ^ (ones * '\r'));
        c.lineFeeds += highBits(lfs);
        c.carriageReturns += highBits(crs);
        // LFs whose byte before, in this word or the last of the one before, is a CR.
        c.crLfs += highBits(lfs & ((crs << 8) | (k > 0 && bytes[k - 1] == '\r' ? 0x80 : 0)));
    }
    for (; k < bytes.size(); ++k) {
        high |= static_cast<unsigned char>(bytes[k]);
        c.lineFeeds += bytes[k] == '\n';
        c.carriageReturns += bytes[k] == '\r';
        c.crLfs += bytes[k] == '\n' && k > 0 && bytes[k - 1] == '\r';
    }
    c.ascii = (high & 0x8080808080808080ULL) == 0;
    return c;
}

// A file of ASCII bytes whose lines all end in LF, or all in CR LF: its units are its bytes, and
// its text differs from them only in line ends, which no marker touches. Such a file, which is
// most source files, is converted on its bytes in two passes instead of seven on code units.
bool convertibleAsBytes(const ByteCounts& c) {
    if (!c.ascii) return false;
    // No CR at all, or every CR followed by an LF and every LF preceded by a CR.
    return c.carriageReturns == 0 || (c.carriageReturns == c.lineFeeds && c.crLfs == c.lineFeeds);
}

// Whether the line feeds of a file must be counted to tell if its text, every line ending in
// CR LF, is longer than the classic rules take: each LF gains at most a CR, and the last line a
// CR LF.
bool lengthInDoubt(std::string_view bytes) {
    return 2 * bytes.size() + 2 > StrOPT::kSizeLimit;
}

// How many units the text of such a file has, from counts with its line feeds.
std::size_t textLengthOf(std::string_view bytes, const ByteCounts& c) {
    const std::size_t open = bytes.empty() || bytes.back() == '\n' ? 0 : 2;  // the last line gets CR LF
    return (c.carriageReturns == 0 ? bytes.size() + c.lineFeeds : bytes.size()) + open;
}

// Both passes on such a file's bytes, giving the new file's bytes with its own line ends: the
// sweeps of line_cut.h and block_sweep.h, the file's last line a line of its own.
std::string stripBytes(std::string_view bytes, LineEnds ends, std::string_view marker) {
    const std::string_view lineEnd = ends == LineEnds::Lf ? "\n" : "\r\n";
    const std::size_t n = bytes.size();
    const char* const b = bytes.data();
    struct Lines {
        const char* in;
        std::string_view end;  // the file's own
        std::string text;
        void keep(std::size_t from, std::size_t to) { text.append(in + from, to - from); }
        void lineEnd(std::size_t, std::size_t) { text.append(end); }
    } lines{b, lineEnd, {}};
    lines.text.reserve(n + lineEnd.size());
    cutLines(b, n, marker, true, lines);

    struct Bytes {
        const char* in;
        std::string text;
        void keep(std::size_t from, std::size_t to) { text.append(in + from, to - from); }
        void dropLast() { text.pop_back(); }
        bool endsWithSlash() const { return !text.empty() && text.back() == '/'; }
    } out{lines.text.data(), {}};
    out.text.reserve(lines.text.size());
    sweepBlocks(lines.text.data(), lines.text.size(), out);
    return std::move(out.text);
}

}  // namespace

namespace {

// The conversion taken from its trace: what the batch writes and what a diff or preview shows
// come from the one analysis.
SourceConversion& convertTraced(SourceConversion& c, std::string_view bytes, const CodePage& page,
                                RawStrings raw, const KeptComments& keep) {
    using Outcome = SourceConversion::Outcome;
    TracedText loaded = traceLoad(page.decode(bytes), c.lineEnds);
    if (c.rules == RuleSet::Classic && loaded.text.size() > StrOPT::kSizeLimit)
        return c.outcome = Outcome::TooLarge, c;
    if (loaded.text.empty()) return c.outcome = Outcome::Empty, c;
    if (!c.language) return c.outcome = Outcome::UnknownLanguage, c;
    c.trace = traceLoaded(std::move(loaded), c.lineEnds, *c.language, c.rules, raw, keep);
    c.doubts = c.trace->doubts;
    c.bytes = page.encode(c.trace->newFile.text);
    c.outcome = c.bytes == bytes ? Outcome::Unchanged : Outcome::Changed;
    if (c.outcome == Outcome::Unchanged) c.bytes.clear();
    return c;
}

// The syntax rules, on the file's bytes where they are its units (as for the classic rules) and
// otherwise on its text. No size limit.
SourceConversion& convertSyntax(SourceConversion& c, std::string_view bytes, const ByteCounts& counts,
                                const CodePage& page, RawStrings raw, const KeptComments& keep) {
    using Outcome = SourceConversion::Outcome;
    if (bytes.empty()) return c.outcome = Outcome::Empty, c;
    if (!c.language) return c.outcome = Outcome::UnknownLanguage, c;
    if (convertibleAsBytes(counts)) {
        syntax::KeptText<std::string> out(bytes.data(), bytes.size(), 2);
        stripSyntax(bytes.data(), bytes.size(), *c.language, raw, keep, out, c.doubts);
        placeDoubts(c.doubts, bytes);
        // The last line gets its line end, as every line of a loaded text has one.
        if (bytes.back() != '\n') out.add(c.lineEnds == LineEnds::Lf ? "\n" : "\r\n");
        c.bytes = std::move(out).take();
    } else {
        std::u16string result;
        {
            // The loaded text goes before the result is encoded: a file may be large.
            const std::u16string text = textOfFile(page.decode(bytes), c.lineEnds);
            if (text.empty()) return c.outcome = Outcome::Empty, c;
            syntax::KeptText<std::u16string> out(text.data(), text.size());
            stripSyntax(text.data(), text.size(), *c.language, raw, keep, out, c.doubts);
            placeDoubts(c.doubts, text);
            result = std::move(out).take();
        }
        c.bytes = page.encode(fileTextOf(std::move(result), c.lineEnds));
    }
    c.outcome = c.bytes == bytes ? Outcome::Unchanged : Outcome::Changed;
    if (c.outcome == Outcome::Unchanged) c.bytes.clear();
    return c;
}

}  // namespace

SourceConversion convertBytes(StrOPT& strop, const std::u16string& name, std::string_view bytes,
                              const CodePage& page, ConversionOptions options) {
    using Outcome = SourceConversion::Outcome;
    SourceConversion c;
    strop.SetLang(name);
    c.language = languageOf(strop.lng);
    const bool lengthAsked = options.rules == RuleSet::Classic && !options.trace && lengthInDoubt(bytes);
    const ByteCounts counts = countBytes(bytes, lengthAsked);
    c.lineEnds = counts.carriageReturns == 0 ? LineEnds::Lf : LineEnds::Classic;
    c.rules = options.rules;
    const RawStrings raw = rawStringsOf(strop.lng);
    if (options.trace) return std::move(convertTraced(c, bytes, page, raw, options.keep));
    if (options.rules == RuleSet::Syntax)
        return std::move(convertSyntax(c, bytes, counts, page, raw, options.keep));
    if (convertibleAsBytes(counts)) {
        if (lengthAsked && textLengthOf(bytes, counts) > StrOPT::kSizeLimit)
            return c.outcome = Outcome::TooLarge, c;
        if (bytes.empty()) return c.outcome = Outcome::Empty, c;
        if (!c.language) return c.outcome = Outcome::UnknownLanguage, c;
        if (options.cleanStrip) {
            if (std::optional<std::string> clean = options.cleanStrip(bytes, *c.language, c.lineEnds)) {
                c.bytes = std::move(*clean);
                c.clean = true;
            }
        }
        if (!c.clean) c.bytes = stripBytes(bytes, c.lineEnds, lineMarkerBytesOf(*c.language));
        c.outcome = c.bytes == bytes ? Outcome::Unchanged : Outcome::Changed;
        if (c.outcome == Outcome::Unchanged) c.bytes.clear();
        return c;
    }
    c.text = textOfFile(page.decode(bytes), c.lineEnds);
    if (c.text.size() > StrOPT::kSizeLimit) {
        c.outcome = Outcome::TooLarge;
        c.text.clear();
        return c;
    }
    if (c.text.empty()) {
        c.outcome = Outcome::Empty;
        return c;
    }
    c.result = strop.DeletStr_Auto(c.text);
    // A name without a dot gives a key from the whole path ("inc" is listed for "inc"): such a
    // file is left alone rather than written with "Error".
    if (c.result == StrOPT::kUnknownLanguage) {
        c.outcome = Outcome::UnknownLanguage;
        c.text.clear();
        c.result.clear();
        return c;
    }
    c.result = strop.DeletStr_Mid(std::move(c.result), u"/*", u"*/");
    // The result holds only characters of the file plus CR and LF, so it always encodes; it is
    // never empty, since the text's final CR LF survives both passes.
    c.bytes = page.encode(fileTextOf(c.result, c.lineEnds));
    if (c.result.empty() || c.bytes == bytes) {
        c.outcome = Outcome::Unchanged;
        c.bytes.clear();
    } else {
        c.outcome = Outcome::Changed;
    }
    return c;
}

bool KeptComments::keeps(std::string_view comment, bool first) const {
    if (license && first) {
        std::string lower(comment);
        for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        for (const std::string_view word : {"copyright", "license", "licence", "spdx-license-identifier"}) {
            if (lower.find(word) != std::string::npos) return true;
        }
    }
    return pattern && std::regex_search(comment.begin(), comment.end(), *pattern);
}

std::shared_ptr<const std::regex> keepPattern(std::u16string_view pattern) {
    // UTF-8, as the comments are matched.
    std::string utf8;
    appendUtf8(utf8, pattern);
    return std::make_shared<const std::regex>(utf8.begin(), utf8.end(), std::regex::extended);
}

SourceConversion convertSource(StrOPT& strop, const SourceFile& file, ConversionOptions options) {
    if (file.tooLarge()) {
        strop.SetLang(file.path());
        SourceConversion c;
        c.language = languageOf(strop.lng);
        c.outcome = SourceConversion::Outcome::TooLarge;
        return c;
    }
    return convertBytes(strop, file.path(), file.bytes(), CodePage::system(), options);
}

}  // namespace tavirel
