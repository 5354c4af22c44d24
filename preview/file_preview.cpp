// SPDX-License-Identifier: MIT
#include "file_preview.h"

#include <algorithm>

#include "code_page.h"
#include "strop.h"
#include "text_file.h"
#include "trace.h"
#include "unified_diff.h"

namespace tavirel {
namespace {

// [start, end) of each line of `text` without its line end, and where the next line starts.
struct Line {
    std::size_t start, end, next;
};

std::vector<Line> linesOf(std::u16string_view text) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find(u'\n', start);
        const std::size_t next = lf == std::u16string_view::npos ? text.size() : lf + 1;
        std::size_t end = lf == std::u16string_view::npos ? text.size() : lf;
        if (end > start && text[end - 1] == u'\r') --end;
        lines.push_back({start, end, next});
        start = next;
    }
    return lines;
}

}  // namespace

FilePreview previewFile(const std::u16string& path, const ConversionOptions& options) {
    using Outcome = SourceConversion::Outcome;
    FilePreview p;
    p.codePage = CodePage::system().name();
    StrOPT stripper;
    const SourceFile file(path, options.rules == RuleSet::Syntax ? SIZE_MAX : StrOPT::kReadLimitBytes);
    ConversionOptions withTrace = options;
    withTrace.trace = true;
    const SourceConversion conversion = convertSource(stripper, file, withTrace);
    p.outcome = conversion.outcome;
    p.lineEnds = conversion.lineEnds;
    if (p.outcome != Outcome::Changed && p.outcome != Outcome::Unchanged) return p;

    const Language language = *conversion.language;
    p.warnings = findWarnings(conversion, file.bytes(), language);
    const std::u16string oldText = CodePage::system().decode(file.bytes());
    p.finalLineEnd = !oldText.empty() && (oldText.back() == u'\n' || oldText.back() == u'\r');
    p.undecodable = static_cast<std::size_t>(std::count_if(oldText.begin(), oldText.end(), isReservedUnit));
    const TracedConversion& traced = *conversion.trace;

    // What the new file keeps of the old one; the rest is removed.
    std::vector<bool> kept(oldText.size(), false);
    for (std::uint32_t from : traced.newFile.from) {
        if (from != kAdded) kept[from] = true;
    }
    const std::vector<Line> oldLines = linesOf(oldText);
    const std::vector<Line> newLines = linesOf(traced.newFile.text);
    for (const LineStep& step : alignLines(oldText, traced)) {
        if (step.op == LineStep::Insert) {
            const Line& l = newLines[step.newLine];
            p.lines.push_back(
                {PreviewLine::Kind::Added, 0, traced.newFile.text.substr(l.start, l.end - l.start), {}});
            continue;
        }
        const Line& l = oldLines[step.oldLine];
        PreviewLine line{step.op == LineStep::Equal ? PreviewLine::Kind::Same : PreviewLine::Kind::Removed,
                         step.oldLine + 1,
                         oldText.substr(l.start, l.end - l.start),
                         {}};
        if (line.kind == PreviewLine::Kind::Removed) {
            for (std::size_t k = l.start; k < l.end; ++k) {
                if (kept[k]) continue;
                if (!line.removed.empty() && line.removed.back().second == k - l.start) {
                    ++line.removed.back().second;
                } else {
                    line.removed.push_back({k - l.start, k - l.start + 1});
                }
            }
        }
        p.lines.push_back(std::move(line));
    }
    return p;
}

std::u16string describeFile(const FilePreview& preview) {
    using Outcome = SourceConversion::Outcome;
    std::u16string text;
    // The line ends are known only of a file that was read as text.
    if (preview.outcome == Outcome::Changed || preview.outcome == Outcome::Unchanged) {
        text = preview.lineEnds == LineEnds::Lf ? u"行尾：LF（写回时仍为 LF）"
                                                : u"行尾：CR 或 CR LF（写回时每行以 CR LF 结尾）";
        text += u"　";
    }
    const std::u16string page(preview.codePage.begin(), preview.codePage.end());  // an ASCII name
    text += u"代码页：" + page;
    if (preview.undecodable > 0) {
        const std::string n = std::to_string(preview.undecodable);
        text += u"\n这个文件不是 " + page + u" 编码：有 " + std::u16string(n.begin(), n.end()) +
                u" 个字节无法解码，写回时原样保留。";
    }
    return text;
}

std::u16string verdictOf(const FilePreview& preview) {
    using Outcome = SourceConversion::Outcome;
    switch (preview.outcome) {
        case Outcome::Empty: return u"空文件：转换时跳过，不会改写。";
        case Outcome::TooLarge: return u"文本超过 65536 个字符：转换时跳过，不会改写。";
        case Outcome::UnknownLanguage:
            return u"无法从文件名得知语言（c、cpp、h、asm、dt、inc）：转换时跳过，不会改写。";
        case Outcome::Unchanged: return u"没有要删除的内容：文件不会被改写。";
        case Outcome::Changed: break;
    }
    return {};
}

}  // namespace tavirel
