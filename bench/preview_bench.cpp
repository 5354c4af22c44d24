// SPDX-License-Identifier: MIT
// Speed of the warnings and the diff on texts at the size limit. Items are code units:
// items_per_second is units per second.
#include <benchmark/benchmark.h>

#include <random>

#include "code_page.h"
#include "conversion.h"
#include "memory.h"
#include "strop.h"
#include "syntax_rules.h"
#include "unified_diff.h"
#include "warnings.h"

namespace {

using namespace tavirel;

// C source of about `units` code units; `withHazards` adds URLs in strings and comments.
std::u16string source(std::size_t units, bool withHazards) {
    static const char16_t* const clean[] = {
        u"/*\r\n * Copyright notice and a longer description of what this file holds.\r\n */\r\n",
        u"#include <stdio.h>\r\n",
        u"static int counter; // how many times the loop ran\r\n",
        u"int add(int a, int b) /* inline candidate */ {\r\n    return a + b;\r\n}\r\n",
        u"    printf(\"%d items, %s\\n\", n, name); // prints the count\r\n",
        u"    for (i = 0; i < n; ++i) {\r\n        total += values[i] * 2 / 3;\r\n    }\r\n",
        u"/** Documentation block\r\n *  @param x the value\r\n */\r\n",
        u"    c = '\\''; s = \"it's \\\"quoted\\\"\";\r\n",
        u"\r\n",
    };
    static const char16_t* const hazards[] = {
        u"    printf(\"url: http://example/path\\n\"); // prints the address\r\n",
        u"/* see http://example/doc */\r\n",
    };
    std::mt19937 rng(1);
    std::u16string text;
    while (text.size() < units) {
        text += withHazards && rng() % 20 == 0 ? hazards[rng() % 2] : clean[rng() % std::size(clean)];
    }
    text.resize(units - 2);
    text += u"\r\n";
    return text;
}

void warnings(benchmark::State& state, bool withHazards) {
    const std::u16string text = source(65536, withHazards);
    StrOPT opt;
    opt.lng = u"c";
    const std::u16string result = opt.DeletStr_Mid(opt.DeletStr_Auto(text), u"/*", u"*/");
    std::size_t found = 0;
    for (auto _ : state) {
        const auto w = findWarnings(text, result, Language::CFamily);
        found = w.size();
        benchmark::DoNotOptimize(w);
    }
    state.counters["warnings"] = static_cast<double>(found);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
void BM_Warnings_CleanSource(benchmark::State& state) {
    warnings(state, false);
}

// An ASCII file whose lines end alike, as most are: lexed on its bytes.
void BM_Warnings_CleanBytes(benchmark::State& state) {
    const CodePage utf8("UTF-8");
    std::string bytes = utf8.encode(source(65536, false));
    StrOPT opt;
    const SourceConversion c = convertBytes(opt, u"x.c", bytes, utf8);
    for (auto _ : state) benchmark::DoNotOptimize(findWarnings(c, bytes, Language::CFamily, utf8));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_Warnings_CleanBytes);
void BM_Warnings_SourceWithHazards(benchmark::State& state) {
    warnings(state, true);
}
BENCHMARK(BM_Warnings_CleanSource);
BENCHMARK(BM_Warnings_SourceWithHazards);

// The syntax rules' sweep alone, on the bytes of an ASCII file and on code units.
template <typename Unit>
void syntaxSweep(benchmark::State& state, const std::basic_string<Unit>& text) {
    for (auto _ : state) {
        syntax::KeptText<std::basic_string<Unit>> out(text.data(), text.size());
        std::vector<SyntaxDoubt> doubts;
        stripSyntax(text.data(), text.size(), Language::CFamily, RawStrings::Always, KeptComments{}, out,
                    doubts);
        benchmark::DoNotOptimize(std::move(out).take());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_SyntaxRules_Bytes(benchmark::State& state) {
    const std::u16string units = source(65536, true);
    syntaxSweep(state, std::string(units.begin(), units.end()));
}
BENCHMARK(BM_SyntaxRules_Bytes);

void BM_SyntaxRules_Units(benchmark::State& state) {
    syntaxSweep(state, source(65536, true));
}
BENCHMARK(BM_SyntaxRules_Units);

void BM_UnifiedDiff(benchmark::State& state) {
    const CodePage utf8("UTF-8");
    const std::string bytes = utf8.encode(source(65536, true));
    const std::u16string text = utf8.decode(bytes);
    StrOPT opt;
    const SourceConversion c = convertBytes(opt, u"x.c", bytes, utf8);
    for (auto _ : state) {
        const TracedConversion traced = traceConversion(text, c.lineEnds, Language::CFamily);
        benchmark::DoNotOptimize(unifiedDiff("x.c", bytes, c.bytes, text, traced));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_UnifiedDiff);

}  // namespace

// The allocator as the programs set it up.
int main(int argc, char** argv) {
    tavirel::keepFreedMemory();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
