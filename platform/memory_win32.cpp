// SPDX-License-Identifier: MIT
#include "memory.h"

namespace tavirel {

// The Windows heap keeps what is freed for reuse by itself.
void keepFreedMemory() {}

}  // namespace tavirel
