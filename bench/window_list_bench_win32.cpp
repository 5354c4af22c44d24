// SPDX-License-Identifier: MIT
// Lists a tree of 100,000 sources in the real Windows window and times it against
// `tavirel-batch.exe --list` on the same tree; also reports the longest stretch the window went
// without handling its messages, measured by a 5 ms timer.
//
//   window_list_bench.exe PATH-TO-tavirel-batch.exe
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "event_pump.h"
#include "frm_main.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

Clock::time_point lastTick;
std::vector<std::pair<double, double>> gaps;  // (end, length) in ms

void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
    const Clock::time_point now = Clock::now();
    gaps.emplace_back(std::chrono::duration<double, std::milli>(now.time_since_epoch()).count(),
                      std::chrono::duration<double, std::milli>(now - lastTick).count());
    lastTick = now;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH-TO-tavirel-batch.exe\n", argv[0]);
        return 2;
    }
    const fs::path root =
        fs::temp_directory_path() / ("tavirel-window-bench-" + std::to_string(GetCurrentProcessId()));
    const char* const extensions[] = {"c", "cpp", "h", "asm", "dt", "inc"};
    for (int i = 0; i < 100000; ++i) {
        const fs::path dir = root / ("m" + std::to_string(i % 50)) / ("p" + std::to_string(i % 1000));
        if (i < 1000) fs::create_directories(dir);
        std::ofstream(dir / ("File" + std::to_string(i) + "." + extensions[i % 6]));
    }

    // cmd.exe takes off one pair of quotes around the whole line.
    const std::string command = "\"\"" + std::string(argv[1]) + "\" --list \"" + root.string() + "\" > NUL\"";
    // The first run warms the cache for both.
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[1]);
        return 1;
    }
    const Clock::time_point t0 = Clock::now();
    if (std::system(command.c_str()) != 0) return 1;
    const double batchSeconds = std::chrono::duration<double>(Clock::now() - t0).count();

    tavirel::installEventPump();
    tavirel::FrmMain::Options options;
    options.programFolder = root.u16string();
    options.quitWhenClosed = false;
    tavirel::FrmMain window(options);
    SetTimer(nullptr, 0, 5, tick);
    lastTick = Clock::now();
    const Clock::time_point t1 = Clock::now();
    window.start();
    const double windowSeconds = std::chrono::duration<double>(Clock::now() - t1).count();

    std::printf("tavirel-batch.exe --list: %.3f s\n", batchSeconds);
    std::printf("window listing:           %.3f s (%.2f times)\n", windowSeconds,
                windowSeconds / batchSeconds);
    const double start = std::chrono::duration<double, std::milli>(t1.time_since_epoch()).count();
    std::sort(gaps.begin(), gaps.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::printf("longest times without handling messages:");
    for (std::size_t i = 0; i < std::min<std::size_t>(5, gaps.size()); ++i) {
        std::printf(" %.0f ms (ending at %.0f ms)", gaps[i].second, gaps[i].first - start);
    }
    std::printf("\n");
    std::fflush(stdout);
    fs::remove_all(root);
    return 0;
}
