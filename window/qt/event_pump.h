// SPDX-License-Identifier: MIT
// The Qt window's yield: the long loops of the engine and the batch hand control to the event
// loop through it, so the window stays live during a run.
#pragma once

namespace tavirel {

/// Installs, as the process's yield, a pump that runs the pending window events at most every
/// 15 ms of work. The clock is read every 16th call only: a yield per character costs next to
/// nothing, and the window never goes long without handling its input.
void installEventPump();

}  // namespace tavirel
