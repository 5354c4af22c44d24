// SPDX-License-Identifier: MIT
// The shared pictures as the system's icons and pointers.
#pragma once

#include <windows.h>

#include "pictures.h"

namespace tavirel {

/// An icon (or, with `pointer`, a pointer whose hot spot is hotX, hotY) of `image`; the caller
/// destroys it with DestroyIcon. Null when the system cannot make it.
HICON iconOf(const Image& image, bool pointer = false, int hotX = 0, int hotY = 0);

}  // namespace tavirel
