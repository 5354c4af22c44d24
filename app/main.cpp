// SPDX-License-Identifier: MIT
// tavirel [FOLDER]: the window, on FOLDER or else on the program's own folder.
#include <QApplication>
#include <cstdio>

#include "code_page.h"
#include "event_pump.h"
#include "frm_main.h"
#include "interrupt.h"
#include "memory.h"

int main(int argc, char** argv) {
    tavirel::catchInterrupts();
    tavirel::keepFreedMemory();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tavirel");
    tavirel::FrmMain::Options options;
    const QStringList args = QApplication::arguments();
    if (args.size() > 2 || (args.size() == 2 && args[1].startsWith('-'))) {
        std::fputs("usage: tavirel [FOLDER]\n", stderr);
        return 2;
    }
    // The folder's bytes as given, read in the engine's code page.
    if (argc == 2) options.startFolder = tavirel::CodePage::system().decode(argv[1]);
    tavirel::installEventPump();
    tavirel::FrmMain window(options);
    window.start();
    return QApplication::exec();
}
