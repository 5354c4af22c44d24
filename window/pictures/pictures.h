// SPDX-License-Identifier: MIT
// The window's pictures, drawn by code without a toolkit, so that every window and the program
// file show the same ones: the icon (a grey box with an arched handle) and the pointer over the
// link area (a grey triangle pointing right). Also the .ico file that carries the icon.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavirel {

/// Pixels row by row from the top left, red, green, blue and alpha, alpha not premultiplied.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

/// The box icon at `size` × `size` pixels.
Image boxImage(int size);

/// The triangle pointer, 32 × 32; its hot spot is its tip.
Image trianglePointerImage();
inline constexpr int kPointerHotX = 28;
inline constexpr int kPointerHotY = 16;

/// The bytes of an .ico file holding `images`, each at most 256 pixels square, as 32-bit images.
std::string icoFile(const std::vector<Image>& images);

}  // namespace tavirel
