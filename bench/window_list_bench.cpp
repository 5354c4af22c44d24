// SPDX-License-Identifier: MIT
// Lists a tree of 100,000 sources in the real window (offscreen) and times it against
// `tavirel-batch --list` on the same tree; also reports the longest stretch the window went
// without handling its events, measured by a 5 ms timer.
//
//   window_list_bench PATH-TO-tavirel-batch
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "event_pump.h"
#include "frm_main.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH-TO-tavirel-batch\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    char pattern[] = "/tmp/tavirel-window-bench-XXXXXX";
    const fs::path root = mkdtemp(pattern);
    const char* const extensions[] = {"c", "cpp", "h", "asm", "dt", "inc"};
    for (int i = 0; i < 100000; ++i) {
        const fs::path dir = root / ("m" + std::to_string(i % 50)) / ("p" + std::to_string(i % 1000));
        if (i < 1000) fs::create_directories(dir);
        std::ofstream(dir / ("File" + std::to_string(i) + "." + extensions[i % 6]));
    }

    const std::string command = std::string(argv[1]) + " --list " + root.string() + " > /dev/null";
    // The first run warms the cache for both.
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[1]);
        return 1;
    }
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return 1;
    const double batchSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    tavirel::installEventPump();
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    tavirel::FrmMain::Options options;
    options.programFolder = tavirel::engineText(QString::fromStdString(root.string()));
    tavirel::FrmMain window(options);
    ticker.start(5);
    sinceTick.start();
    const auto t1 = std::chrono::steady_clock::now();
    window.start();
    const double windowSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t1).count();
    const QString status = window.findChild<QLineEdit*>("TxtStatus")->text();

    std::printf("tavirel-batch --list: %.3f s\n", batchSeconds);
    std::printf("window listing:       %.3f s (%.2f times), status %s\n", windowSeconds,
                windowSeconds / batchSeconds, status.toStdString().c_str());
    std::printf("longest time without handling events: %lld ms\n", static_cast<long long>(longestGap));
    fs::remove_all(root);
    return 0;
}
