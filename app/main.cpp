// tavirel: the window.
#include <QApplication>

#include "frm_main.h"
#include "interrupt.h"
#include "memory.h"

int main(int argc, char** argv) {
    tavirel::catchInterrupts();
    tavirel::keepFreedMemory();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tavirel");
    tavirel::installQtHooks();
    tavirel::FrmMain window;
    window.start();
    return QApplication::exec();
}
