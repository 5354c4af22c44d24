// SPDX-License-Identifier: MIT
// libFuzzer target: one whole file, bytes to bytes, as the batch converts it, against a plain
// byte-level model of the line rules and the literal versions of the two passes.
// Build with -DTAVIREL_FUZZ=ON and clang; run ./file_fuzz -dict=../tests/fuzz/file.dict.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../literal_strop.h"
#include "code_page.h"
#include "conversion.h"
#include "strop.h"

namespace {

using tavirel::CodePage;
using Outcome = tavirel::SourceConversion::Outcome;

void check(bool ok) {
    if (!ok) std::abort();
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
    for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) {
        s.replace(p, from.size(), to);
    }
    return s;
}

// The line rules on bytes: no CR anywhere, lines end at LF; else at CR or CR LF. Each line is
// decoded on its own, which gives the whole file's decoding because CR and LF never sit inside a
// character.
std::u16string modelText(std::string_view bytes, const CodePage& page) {
    const bool lf = bytes.find('\r') == std::string_view::npos;
    std::u16string text;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find(lf ? '\n' : '\r', start);
        if (end == std::string_view::npos) end = bytes.size();
        text += page.decode(bytes.substr(start, end - start));
        text += u"\r\n";
        start = end + 1;
        if (!lf && end < bytes.size() && start < bytes.size() && bytes[start] == '\n') ++start;
    }
    return text;
}

// The bytes the batch should leave in the file, by the model and the literal passes.
std::string modelBytes(std::string_view bytes, bool asm_, const CodePage& page, Outcome& outcome) {
    const std::u16string text = modelText(bytes, page);
    if (text.size() > tavirel::StrOPT::kSizeLimit) return outcome = Outcome::TooLarge, std::string(bytes);
    if (text.empty()) return outcome = Outcome::Empty, std::string(bytes);
    int yields = 0;
    const std::u16string result =
        literal::deletStrMid(literal::deletStrRight(text, asm_ ? u";" : u"//", yields), u"/*", u"*/", yields);
    std::string out = page.encode(result);
    if (bytes.find('\r') == std::string_view::npos) out = replaceAll(out, "\r\n", "\n");
    outcome = out == bytes ? Outcome::Unchanged : Outcome::Changed;
    return out;
}

std::string converted(std::string_view bytes, bool asm_, const CodePage& page, Outcome& outcome) {
    tavirel::StrOPT opt;
    const tavirel::SourceConversion c =
        tavirel::convertBytes(opt, asm_ ? u"/src/x.ASM" : u"/src/x.c", bytes, page);
    outcome = c.outcome;
    check(opt.lng == (asm_ ? u"asm" : u"c"));
    return c.outcome == Outcome::Changed ? c.bytes : std::string(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool asm_ = data[0] & 1;
    static const CodePage utf8("UTF-8");
    static const CodePage gbk("GBK");
    const CodePage& page = (data[0] & 2) ? gbk : utf8;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    check(page.encode(page.decode(bytes)) == bytes);
    Outcome expectedOutcome, outcome;
    const std::string expected = modelBytes(bytes, asm_, page, expectedOutcome);
    const std::string actual = converted(bytes, asm_, page, outcome);
    check(outcome == expectedOutcome);
    check(actual == expected);

    // The same source with CR LF line ends gives the same result apart from its line ends.
    if (bytes.find('\r') == std::string_view::npos && outcome != Outcome::TooLarge) {
        Outcome crlfOutcome;
        const std::string crlf =
            converted(replaceAll(std::string(bytes), "\n", "\r\n"), asm_, page, crlfOutcome);
        check(replaceAll(crlf, "\r\n", "\n") ==
              actual + (actual.empty() || actual.back() == '\n' ? "" : "\n"));
    }
    return 0;
}
