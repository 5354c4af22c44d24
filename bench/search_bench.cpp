// SPDX-License-Identifier: MIT
// The recursive search over a tree of 100,000 entries in 5,000 folders, a tenth of them *.c,
// side by side with find(1) on the same tree. Both run with a warm cache.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "dir_file.h"

namespace {

namespace fs = std::filesystem;

struct Tree {
    Tree() {
        char pattern[] = "/tmp/tavirel-search-bench-XXXXXX";
        root = mkdtemp(pattern);
        // 50 folders of 99 subfolders each: 5,000 folders holding 19 files each, 2 of them *.c.
        const char* const extensions[] = {"h", "cpp", "txt", "o", "asm", "inc", "dt", "md", "py"};
        for (int top = 0; top < 50; ++top) {
            const fs::path topDir = root / ("module" + std::to_string(top));
            for (int sub = -1; sub < 99; ++sub) {
                const fs::path dir = sub < 0 ? topDir : topDir / ("part" + std::to_string(sub));
                fs::create_directories(dir);
                for (int f = 0; f < 19; ++f) {
                    const std::string ext = f < 2 ? "c" : extensions[f % std::size(extensions)];
                    std::ofstream(dir / ("file" + std::to_string(f) + "." + ext));
                }
            }
        }
    }
    ~Tree() { fs::remove_all(root); }
    fs::path root;
};

const Tree& tree() {
    static const Tree instance;
    return instance;
}

struct CountingList : tavirel::ItemList {
    void AddItem(const std::u16string&) override { ++count; }
    std::size_t count = 0;
};

void BM_SearchFiles(benchmark::State& state) {
    const std::string root = tree().root.string();
    const std::u16string dir(root.begin(), root.end());
    tavirel::Dir_File files;
    for (auto _ : state) {
        CountingList list;
        files.SearchFiles(dir, u"c", list);
        if (list.count != 10000) state.SkipWithError("wrong count");
    }
}
BENCHMARK(BM_SearchFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Find(benchmark::State& state) {
    const std::string command = "find " + tree().root.string() + " -name '*.c' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) state.SkipWithError("find failed");
    }
}
BENCHMARK(BM_Find)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
