// SPDX-License-Identifier: MIT
#include <malloc.h>

#include "memory.h"

namespace tavirel {

void keepFreedMemory() {
    // Blocks of a file's size come from the heap, and the heap is not trimmed after each file.
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

}  // namespace tavirel
