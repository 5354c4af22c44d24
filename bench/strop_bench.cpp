// SPDX-License-Identifier: MIT
// Speed of the stripping engine on texts at the size limit, against the literal versions that
// rescan the whole text per block. Items are code units: items_per_second is units per second.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "../tests/literal_strop.h"
#include "strop.h"
#include "text_file.h"

namespace {

using tavirel::StrOPT;

// A C source of about `units` code units: functions, line and block comments, strings.
std::u16string realisticSource(std::size_t units) {
    static const char16_t* const pieces[] = {
        u"/*\r\n * Copyright notice and a longer description of what this file holds.\r\n */\r\n",
        u"#include <stdio.h>\r\n",
        u"static int counter; // how many times the loop ran\r\n",
        u"int add(int a, int b) /* inline candidate */ {\r\n    return a + b;\r\n}\r\n",
        u"    printf(\"url: http://example/path\\n\"); // prints the address\r\n",
        u"    for (i = 0; i < n; ++i) {\r\n        total += values[i] * 2;\r\n    }\r\n",
        u"/** Documentation block\r\n *  @param x the value\r\n */\r\n",
        u"\r\n",
    };
    std::mt19937 rng(1);
    std::u16string text;
    while (text.size() < units) text += pieces[rng() % std::size(pieces)];
    text.resize(units - 2);
    text += u"\r\n";
    return text;
}

std::u16string repeat(const std::u16string& piece, int times) {
    std::u16string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

void BM_RealSource_AutoThenMid(benchmark::State& state) {
    const std::u16string text = realisticSource(65536);
    StrOPT opt;
    opt.lng = u"c";
    for (auto _ : state) benchmark::DoNotOptimize(opt.DeletStr_Mid(opt.DeletStr_Auto(text), u"/*", u"*/"));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_RealSource_AutoThenMid);

void BM_EmptyBlocks_Mid(benchmark::State& state) {
    const std::u16string text = repeat(u"/**/", 16384);
    StrOPT opt;
    for (auto _ : state) benchmark::DoNotOptimize(opt.DeletStr_Mid(text, u"/*", u"*/"));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_EmptyBlocks_Mid);

void BM_EmptyBlocks_MidLiteral(benchmark::State& state) {
    const std::u16string text = repeat(u"/**/", 16384);
    int yields = 0;
    for (auto _ : state) benchmark::DoNotOptimize(literal::deletStrMid(text, u"/*", u"*/", yields));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_EmptyBlocks_MidLiteral)->Unit(benchmark::kMillisecond);

void BM_CommentLines_Right(benchmark::State& state) {
    const std::u16string text = repeat(u"//\r\n", 32768);
    StrOPT opt;
    for (auto _ : state) benchmark::DoNotOptimize(opt.DeletStr_Right(text, u"//"));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_CommentLines_Right);

void BM_CommentLines_RightLiteral(benchmark::State& state) {
    const std::u16string text = repeat(u"//\r\n", 32768);
    int yields = 0;
    for (auto _ : state) benchmark::DoNotOptimize(literal::deletStrRight(text, u"//", yields));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_CommentLines_RightLiteral);

class FileFixture : public benchmark::Fixture {
public:
    void SetUp(const benchmark::State&) override {
        char pattern[] = "/tmp/tavirel-bench-XXXXXX";
        dir = mkdtemp(pattern);
        path = dir + "/source.c";
        text = realisticSource(65536);
        tavirel::writeTextFile(std::u16string(path.begin(), path.end()), text);
    }
    void TearDown(const benchmark::State&) override { std::filesystem::remove_all(dir); }
    std::string dir, path;
    std::u16string text;
};

BENCHMARK_F(FileFixture, Load64KiB)(benchmark::State& state) {
    StrOPT opt;
    const std::u16string name(path.begin(), path.end());
    for (auto _ : state) benchmark::DoNotOptimize(opt.LoadStr_FormFile(name));
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

BENCHMARK_F(FileFixture, Save64KiB)(benchmark::State& state) {
    const std::u16string name(path.begin(), path.end());
    for (auto _ : state) tavirel::writeTextFile(name, text);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

BENCHMARK_F(FileFixture, Save64KiBFlushed)(benchmark::State& state) {
    const std::u16string name(path.begin(), path.end());
    tavirel::WriteOptions flushed;
    flushed.flushToDisk = true;
    for (auto _ : state) tavirel::writeTextFile(name, text, flushed);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

}  // namespace

BENCHMARK_MAIN();
