// SPDX-License-Identifier: MIT
// Interrupts from outside (SIGINT, SIGTERM and SIGHUP; on Windows the console's Ctrl+C,
// Ctrl+Break and close) do not end the program on the spot once caught: they are recorded, the
// run under way stops at its next yield, and the program ends in order. So the file in hand is
// never left half replaced, and no temporary file is left behind.
#pragma once

namespace tavirel {

/// Starts catching interrupts for the rest of the process, and lets a write over the file size
/// limit fail as an error instead of ending it. Call from the main thread before any other
/// thread starts.
void catchInterrupts();

/// The number of the first interrupt caught (the signal number), or 0.
int caughtInterrupt();

/// A descriptor that becomes readable once an interrupt is caught, for an event loop to watch;
/// -1 before catchInterrupts() or where the platform has none.
int interruptDescriptor();

/// Forgets a caught interrupt, so that the next one is recorded again.
void forgetInterrupt();

/// Keeps interrupts off the calling thread, a worker, so that they reach the main thread, which
/// stops the run.
void holdInterruptsOnThisThread();

}  // namespace tavirel
