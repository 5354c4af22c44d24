// SPDX-License-Identifier: MIT
#include <windows.h>

#include "icons.h"

#include <vector>

namespace tavirel {

HICON iconOf(const Image& image, bool pointer, int hotX, int hotY) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;  // top-down, as the image's rows are
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP colour = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!colour) return nullptr;
    auto* out = static_cast<unsigned char*>(bits);
    for (std::size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
        out[i] = image.rgba[i + 2];
        out[i + 1] = image.rgba[i + 1];
        out[i + 2] = image.rgba[i];
        out[i + 3] = image.rgba[i + 3];
    }
    // The alpha channel says what shows; the mask, all clear, is only required. Its rows are
    // whole 16-bit words.
    const std::vector<unsigned char> clear(
        static_cast<std::size_t>((image.width + 15) / 16 * 2 * image.height));
    const HBITMAP mask = CreateBitmap(image.width, image.height, 1, 1, clear.data());
    ICONINFO icon{};
    icon.fIcon = pointer ? FALSE : TRUE;
    icon.xHotspot = static_cast<DWORD>(hotX);
    icon.yHotspot = static_cast<DWORD>(hotY);
    icon.hbmMask = mask;
    icon.hbmColor = colour;
    const HICON result = mask ? CreateIconIndirect(&icon) : nullptr;
    DeleteObject(colour);
    if (mask) DeleteObject(mask);
    return result;
}

}  // namespace tavirel
