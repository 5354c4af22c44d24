// SPDX-License-Identifier: MIT
// Work that may wait: a thread that takes only a core no one else wants, and work handed to a
// process of its own, for the moment the program itself is done.
#pragma once

#include <functional>

namespace tavirel {

/// Lowers the calling thread to the least priority there is, so that it runs only on a core that
/// would otherwise be idle.
void lowerThisThread();

/// Runs `work` in a process of its own, at the least priority, which outlives this one; false
/// where the system cannot (Windows), and then nothing is run. The process has only the calling
/// thread: call it with no other thread holding a lock `work` needs.
bool runDetached(const std::function<void()>& work);

}  // namespace tavirel
