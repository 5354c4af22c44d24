// SPDX-License-Identifier: MIT
// tavirel [--syntax] [FOLDER]: the window, on FOLDER or else on the program's own folder, with the
// classic rules or the syntax rules.
#include <QApplication>
#include <cstdio>
#include <string_view>

#include "code_page.h"
#include "event_pump.h"
#include "frm_main.h"
#include "interrupt.h"
#include "memory.h"
#include "undo_journal.h"

int main(int argc, char** argv) {
    tavirel::catchInterrupts();
    tavirel::keepFreedMemory();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tavirel");
    tavirel::FrmMain::Options options;
    // tavirel [--syntax] [FOLDER]; the folder's bytes as given, read in the engine's code page.
    int folders = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--syntax") {
            options.rules = tavirel::RuleSet::Syntax;
        } else if (arg.empty() || arg[0] == '-' || ++folders > 1) {
            std::fputs("usage: tavirel [--syntax] [FOLDER]\n", stderr);
            return 2;
        } else {
            options.startFolder = tavirel::CodePage::system().decode(arg);
        }
    }
    tavirel::installEventPump();
    tavirel::FrmMain window(options);
    window.start();
    const int status = QApplication::exec();
    tavirel::finishForgetting();
    return status;
}
