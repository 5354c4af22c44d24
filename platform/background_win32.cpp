// SPDX-License-Identifier: MIT
#include <windows.h>

#include "background.h"

namespace tavirel {

void lowerThisThread() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
}

bool runDetached(const std::function<void()>&) {
    return false;
}

}  // namespace tavirel
