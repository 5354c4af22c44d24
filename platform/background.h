// SPDX-License-Identifier: MIT
// Work that may wait: a thread that takes only a core no one else wants, and work handed to a
// process of its own, for the moment the program itself is done.
#pragma once

#include <string>
#include <vector>

namespace tavirel {

/// Lowers the calling thread to the least priority there is, so that it runs only on a core that
/// would otherwise be idle.
void lowerThisThread();

/// Removes `folders` and everything in them in a process of its own, at the least priority, which
/// outlives this one; false where the system has no such process (Windows), and then nothing is
/// removed.
bool removeDetached(const std::vector<std::u16string>& folders);

}  // namespace tavirel
