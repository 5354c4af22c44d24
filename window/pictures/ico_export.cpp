// SPDX-License-Identifier: MIT
// Build helper: writes the window's icon as an .ico file for the program file's resources, from
// the same drawing code the windows use.  ico_export FILE
#include <cstdio>
#include <fstream>

#include "pictures.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ico_export FILE\n");
        return 2;
    }
    std::vector<tavirel::Image> images;
    for (int size : {16, 24, 32, 48, 256}) images.push_back(tavirel::boxImage(size));
    std::ofstream out(argv[1], std::ios::binary);
    const std::string bytes = tavirel::icoFile(images);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        std::fprintf(stderr, "ico_export: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
