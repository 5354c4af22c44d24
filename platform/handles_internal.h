// SPDX-License-Identifier: MIT
// Closing a descriptor on Linux: at once, or with the others this thread lets go while a
// CloseTogether lives on it.
#pragma once

namespace tavirel {

void closeHandle(int fd);

}  // namespace tavirel
