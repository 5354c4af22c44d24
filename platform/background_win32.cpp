// SPDX-License-Identifier: MIT
#include <windows.h>

#include "background.h"

namespace tavirel {

void lowerThisThread() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
}

bool removeDetached(const std::vector<std::u16string>&) {
    return false;
}

}  // namespace tavirel
