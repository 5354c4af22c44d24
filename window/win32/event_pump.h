// SPDX-License-Identifier: MIT
// The message loop of the Windows windows and the yield that runs it inside long loops.
#pragma once

#include <windows.h>

namespace tavirel {

/// Installs the process-wide yield: at most every 15 ms of a run it handles every pending message,
/// so the window answers within a few tens of milliseconds.
void installEventPump();

/// Lets the keyboard work in `window` as in a dialog: Tab and Shift+Tab walk its controls, Esc
/// sends it IDCANCEL.
void keyboardAsDialog(HWND window);

/// Gives `window` the keyboard shortcuts of `table` (owned by the caller, kept until the window
/// goes). A text box with the focus keeps its own keys, Ctrl+Z among them.
void setAccelerators(HWND window, HACCEL table);

/// What the loop does with a message before dispatching it: the keyboard of dialog-like windows,
/// and Enter pressing a focused button as Space does. True when the message is handled.
bool preTranslate(MSG& message);

/// Handles the messages that are waiting, then returns; false when WM_QUIT came, which is
/// posted again for the loop that waits on it.
bool handlePendingMessages();

/// Runs the message loop until WM_QUIT; returns its exit code.
int runMessageLoop();

}  // namespace tavirel
