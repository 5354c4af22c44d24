// SPDX-License-Identifier: MIT
// The console's Ctrl+C, Ctrl+Break and close, taken as SIGINT, SIGBREAK and SIGHUP are on Linux.
#include <windows.h>

#include <atomic>
#include <csignal>

#include "interrupt.h"

namespace tavirel {
namespace {

std::atomic<int> caught{0};

BOOL WINAPI record(DWORD event) {
    int signal = 0;
    switch (event) {
        case CTRL_C_EVENT: signal = SIGINT; break;
        case CTRL_BREAK_EVENT: signal = SIGBREAK; break;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: signal = 1; break;  // as a hang-up
        default: return FALSE;
    }
    int none = 0;
    caught.compare_exchange_strong(none, signal);
    if (signal == 1) {
        // The system ends the process when this returns: give the run the moment it needs to
        // end at its next yield, which leaves the file in hand whole.
        Sleep(2000);
    }
    return TRUE;
}

}  // namespace

void catchInterrupts() {
    SetConsoleCtrlHandler(record, TRUE);
}

int caughtInterrupt() {
    return caught.load(std::memory_order_relaxed);
}

int interruptDescriptor() {
    return -1;
}

void forgetInterrupt() {
    caught.store(0, std::memory_order_relaxed);
}

// The console runs its handler on a thread of its own; a worker need not keep anything off.
void holdInterruptsOnThisThread() {}

}  // namespace tavirel
