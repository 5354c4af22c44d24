// SPDX-License-Identifier: MIT
// Build helper: writes the window's icon as PNG files for the desktop's icon theme, from the same
// drawing code the window uses.  icon_export SIZE FILE [SIZE FILE ...]
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <cstdio>

#include "artwork.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QIcon icon = tavirel::boxIcon();
    for (int i = 1; i + 1 < argc; i += 2) {
        const int size = std::atoi(argv[i]);
        if (!icon.pixmap(size, size).save(QString::fromLocal8Bit(argv[i + 1]), "PNG")) {
            std::fprintf(stderr, "icon_export: cannot write %s\n", argv[i + 1]);
            return 1;
        }
    }
    return 0;
}
