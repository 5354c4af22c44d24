// SPDX-License-Identifier: MIT
// How the process keeps its memory. A run reads, converts and frees one file after another, in
// sizes up to a few hundred KiB: the allocator should keep what is freed for the next file
// rather than hand it back to the kernel and fault it in again, which costs more than the
// conversion itself.
#pragma once

namespace tavirel {

/// Makes the allocator keep freed memory for reuse. Call once, early in main.
void keepFreedMemory();

}  // namespace tavirel
