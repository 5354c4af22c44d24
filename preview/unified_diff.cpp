// SPDX-License-Identifier: MIT
#include "unified_diff.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tavirel {
namespace {

constexpr std::size_t kContext = 3;

// [start, end) of each line: the text split after every LF; a last line may lack its LF.
template <typename Text>
std::vector<std::pair<std::size_t, std::size_t>> linesOf(const Text& text) {
    std::vector<std::pair<std::size_t, std::size_t>> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        const std::size_t end = lf == Text::npos ? text.size() : lf + 1;
        lines.emplace_back(start, end);
        start = end;
    }
    return lines;
}

std::string range(std::size_t start, std::size_t count) {
    // An empty side names the line before it; a side of one line needs no count.
    if (count == 0) return std::to_string(start) + ",0";
    if (count == 1) return std::to_string(start + 1);
    return std::to_string(start + 1) + "," + std::to_string(count);
}

}  // namespace

std::vector<LineStep> alignLines(std::u16string_view oldText, const TracedConversion& traced) {
    const auto oldTextLines = linesOf(oldText);
    const std::u16string& newText = traced.newFile.text;
    const auto newTextLines = linesOf(newText);

    // A new line is the same as an old one when all of it, line end included, was taken whole
    // and in one piece from that old line.
    std::vector<LineStep> steps;
    std::size_t i = 0;
    const auto& from = traced.newFile.from;
    for (std::size_t j = 0; j < newTextLines.size(); ++j) {
        const auto [a, b] = newTextLines[j];
        std::size_t match = SIZE_MAX;
        if (from[a] != kAdded) {
            const std::size_t origin = from[a];
            const auto line = std::upper_bound(oldTextLines.begin(), oldTextLines.end(), origin,
                                               [](std::size_t p, const auto& l) { return p < l.first; }) -
                              1;
            bool whole = line->first == origin && line->second - line->first == b - a;
            for (std::size_t k = a + 1; whole && k < b; ++k) whole = from[k] == from[k - 1] + 1;
            if (whole) match = static_cast<std::size_t>(line - oldTextLines.begin());
        }
        if (match == SIZE_MAX) continue;
        for (; i < match; ++i) steps.push_back({LineStep::Delete, i, j});
        steps.push_back({LineStep::Equal, i++, j});
    }
    // The new lines that match none go in before the next equal line, after the deletions, as
    // diff prints a change.
    std::vector<LineStep> ordered;
    std::size_t nextNew = 0;
    for (const LineStep& s : steps) {
        if (s.op == LineStep::Equal) {
            for (; nextNew < s.newLine; ++nextNew) ordered.push_back({LineStep::Insert, s.oldLine, nextNew});
            ++nextNew;
        }
        ordered.push_back(s);
    }
    for (; i < oldTextLines.size(); ++i) ordered.push_back({LineStep::Delete, i, nextNew});
    for (; nextNew < newTextLines.size(); ++nextNew) {
        ordered.push_back({LineStep::Insert, oldTextLines.size(), nextNew});
    }
    return ordered;
}

std::string unifiedDiff(std::string_view name, std::string_view oldBytes, std::string_view newBytes,
                        std::u16string_view oldText, const TracedConversion& traced) {
    if (oldBytes == newBytes) return {};
    using Op = LineStep;
    const std::vector<LineStep> ordered = alignLines(oldText, traced);
    const auto oldLines = linesOf(oldBytes);
    const auto newLines = linesOf(newBytes);

    std::string out = "--- a/" + std::string(name) + "\n+++ b/" + std::string(name) + "\n";
    auto emit = [&](char mark, std::string_view bytes, std::pair<std::size_t, std::size_t> line) {
        out += mark;
        out.append(bytes.substr(line.first, line.second - line.first));
        if (line.second == bytes.size() && (bytes.empty() || bytes.back() != '\n')) {
            out += "\n\\ No newline at end of file\n";
        }
    };
    std::size_t k = 0;
    while (k < ordered.size()) {
        while (k < ordered.size() && ordered[k].op == Op::Equal) ++k;
        if (k == ordered.size()) break;
        // A hunk: from three lines before this change to three after the last change that is
        // no more than six equal lines from the one before it.
        std::size_t begin = k;
        for (std::size_t c = 0; c < kContext && begin > 0 && ordered[begin - 1].op == Op::Equal; ++c) --begin;
        std::size_t end = k;
        for (;;) {
            while (end < ordered.size() && ordered[end].op != Op::Equal) ++end;
            std::size_t equal = end;
            while (equal < ordered.size() && ordered[equal].op == Op::Equal && equal - end < 2 * kContext + 1)
                ++equal;
            if (equal < ordered.size() && ordered[equal].op != Op::Equal && equal - end <= 2 * kContext) {
                end = equal;
                continue;
            }
            end = std::min(end + kContext, ordered.size());
            break;
        }
        std::size_t oldStart = SIZE_MAX, newStart = SIZE_MAX, oldCount = 0, newCount = 0;
        for (std::size_t s = begin; s < end; ++s) {
            const LineStep& step = ordered[s];
            if (step.op != Op::Insert) {
                oldStart = std::min(oldStart, step.oldLine);
                ++oldCount;
            }
            if (step.op != Op::Delete) {
                newStart = std::min(newStart, step.newLine);
                ++newCount;
            }
        }
        if (oldStart == SIZE_MAX) oldStart = ordered[begin].oldLine;
        if (newStart == SIZE_MAX) newStart = ordered[begin].newLine;
        out += "@@ -" + range(oldStart, oldCount) + " +" + range(newStart, newCount) + " @@\n";
        for (std::size_t s = begin; s < end; ++s) {
            const LineStep& step = ordered[s];
            if (step.op == Op::Equal) emit(' ', oldBytes, oldLines[step.oldLine]);
            if (step.op == Op::Delete) emit('-', oldBytes, oldLines[step.oldLine]);
            if (step.op == Op::Insert) emit('+', newBytes, newLines[step.newLine]);
        }
        k = end;
    }
    return out;
}

}  // namespace tavirel
