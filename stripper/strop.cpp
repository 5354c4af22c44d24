// SPDX-License-Identifier: MIT
#include "strop.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "block_sweep.h"
#include "code_page.h"
#include "conversion.h"
#include "dir_file.h"
#include "event_yield.h"
#include "language.h"
#include "line_cut.h"
#include "lower_case.h"
#include "text_file.h"
#include "word_scan.h"

namespace tavirel {
namespace {

constexpr auto npos = std::u16string::npos;

// The first occurrence of the non-empty `marker` in [p, end), or nullptr. Markers are a unit or
// two, and blocks may stand close together: a plain scan beats the general search's setup.
inline const char16_t* scanFor(const char16_t* p, const char16_t* end, const std::u16string& marker) {
    const std::size_t n = marker.size();
    if (static_cast<std::size_t>(end - p) < n) return nullptr;
    const char16_t* const last = end - n;
    const char16_t* const m = marker.data();
    for (; p <= last; ++p) {
        if (*p != m[0]) continue;
        std::size_t k = 1;
        while (k < n && p[k] == m[k]) ++k;
        if (k == n) return p;
    }
    return nullptr;
}

// The conversion's block sweep, with a yield per block removed and one more.
std::u16string sweepCommentBlocks(const std::u16string& text) {
    struct Kept {
        const char16_t* in;
        std::u16string text;
        void keep(std::size_t from, std::size_t to) { text.append(in + from, to - from); }
        void dropLast() {
            text.pop_back();
            yieldToEventLoop();
        }
        bool endsWithSlash() const { return !text.empty() && text.back() == u'/'; }
    } out{text.data(), {}};
    out.text.reserve(text.size());
    sweepBlocks(text.data(), text.size(), out);
    yieldToEventLoop();
    return std::move(out.text);
}

}  // namespace

std::u16string StrOPT::LoadStr_FormFile(std::u16string FileName) {
    if (FileName.empty()) return {};
    SetLang(FileName);
    const SourceFile file(FileName, kReadLimitBytes);
    if (file.tooLarge()) return kSizeSentinel;
    const std::u16string text = textOfFile(CodePage::system().decode(file.bytes()), lineEndsOf(file.bytes()));
    if (text.size() > kSizeLimit) return kSizeSentinel;
    if (text.empty()) return kEmptySentinel;
    return text;
}

std::u16string StrOPT::DeleteStr_FromFile(std::u16string FileName, std::u16string str) {
    if (FileName.empty()) return {};
    SetLang(FileName);
    const SourceFile file(FileName);
    const std::u16string fileText = CodePage::system().decode(file.bytes());
    std::u16string result;
    for (LineReader input(fileText, LineEnds::Classic); !input.atEnd();) {
        const std::u16string_view line = input.readLine();
        result += line.substr(0, line.find(str));
        result += u'\n';
    }
    return result;
}

std::u16string StrOPT::DeletStr_Right(std::u16string mainStr, std::u16string subStr) {
    // The conversion's line sweep, with the yields of a loop over the lines: one per LF passed
    // and one more. The text is this call's own copy, so a nested call cannot move it.
    std::u16string result;
    result.reserve(mainStr.size());
    if (subStr.empty()) {
        // Every line is cut at its start.
        for (char16_t c : mainStr) {
            if (c != u'\n') continue;
            yieldToEventLoop();
            result += u"\r\n";
        }
        yieldToEventLoop();
        return result;
    }
    struct Lines {
        const char16_t* in;
        std::u16string& text;
        void keep(std::size_t from, std::size_t to) {
            if (from == to) return;
            for (std::size_t k = from; (k = nextUnit(in, k, to, '\n')) < to; ++k) yieldToEventLoop();
            text.append(in + from, to - from);
        }
        void lineEnd(std::size_t, std::size_t) {
            yieldToEventLoop();
            text.push_back(u'\r');
            text.push_back(u'\n');
        }
    } lines{mainStr.data(), result};
    cutLines(mainStr.data(), mainStr.size(), std::u16string_view(subStr), false, lines);
    yieldToEventLoop();
    return result;
}

std::u16string StrOPT::DeletStr_Mid(std::u16string mainStr, std::u16string startStr, std::u16string stopStr) {
    if (stopStr.empty()) {
        yieldToEventLoop();
        return mainStr;
    }
    if (startStr == u"/*" && stopStr == u"*/") return sweepCommentBlocks(mainStr);
    // Any other pair of markers. Removing a block from the front of the text again and again would
    // rescan and move the whole text per block. Instead the current text is kept as buf[0, w)
    // followed by buf[r, end): removed stretches become the gap between them. buf[0, w) never holds a whole
    // start marker, so the next one begins at most startStr.size() - 1 units before w and every
    // unit is scanned a bounded number of times.
    std::u16string& buf = mainStr;
    const std::size_t end = buf.size();
    std::size_t w = 0;
    std::size_t r = 0;

    auto length = [&] { return w + (end - r); };
    auto at = [&](std::size_t i) { return i < w ? buf[i] : buf[r + (i - w)]; };
    auto matchesAt = [&](std::size_t p, const std::u16string& marker) {
        if (p + marker.size() > length()) return false;
        for (std::size_t k = 0; k < marker.size(); ++k) {
            if (at(p + k) != marker[k]) return false;
        }
        return true;
    };
    // First occurrence of a non-empty marker at or after `from`, in positions of the current text.
    auto find = [&](const std::u16string& marker, std::size_t from) __attribute__((always_inline)) {
        for (std::size_t p = from; p < w; ++p) {
            if (matchesAt(p, marker)) return p;
        }
        const char16_t* const rest = buf.data() + r;
        const char16_t* const hit = scanFor(rest + (from > w ? from - w : 0), buf.data() + end, marker);
        return hit ? w + static_cast<std::size_t>(hit - rest) : npos;
    };

    for (;;) {
        yieldToEventLoop();
        std::size_t a;
        if (startStr.empty()) {
            a = length() > 0 ? 0 : npos;
        } else {
            a = find(startStr, w >= startStr.size() - 1 ? w - (startStr.size() - 1) : 0);
        }
        if (a == npos) break;
        // A stray stop marker before the first start marker is left alone.
        const std::size_t b = find(stopStr, a);
        if (b == npos) break;
        const std::size_t e = b + stopStr.size();

        if (a >= w) {
            const std::size_t kept = a - w;
            if (kept != 0 && w != r) std::copy(buf.begin() + r, buf.begin() + r + kept, buf.begin() + w);
            w += kept;
            r += kept + (e - a);
        } else if (e >= w) {
            r += e - w;
            w = a;
        } else {
            // The block ends inside the kept part: what follows it there goes back before r.
            std::copy_backward(buf.begin() + e, buf.begin() + w, buf.begin() + r);
            r -= w - e;
            w = a;
        }
    }
    buf.erase(w, r - w);
    return mainStr;
}

std::u16string StrOPT::DeletStr_Auto(std::u16string mainStr) {
    const std::optional<Language> language =
        languageOf(lng);  // before any yield: a nested call may change lng
    if (!language) return kUnknownLanguage;
    return DeletStr_Right(std::move(mainStr), std::u16string(lineMarkerOf(*language)));
}

void StrOPT::SetLang(std::u16string FileName) {
    lng = languageKeyOf(std::move(FileName));
}

std::u16string StrOPT::languageKeyOf(std::u16string FileName) {
    Dir_File dir;
    return toLower(dir.GetExtName(std::move(FileName)));
}

}  // namespace tavirel
