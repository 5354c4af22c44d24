// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "interrupt.h"

namespace tavirel {
namespace {

std::atomic<int> caught{0};
int pipeEnds[2] = {-1, -1};

void record(int signal) {
    const int savedErrno = errno;
    int none = 0;
    caught.compare_exchange_strong(none, signal);
    if (pipeEnds[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(pipeEnds[1], &byte, 1);  // full: already readable
    }
    errno = savedErrno;
}

}  // namespace

void catchInterrupts() {
    if (pipeEnds[0] < 0 && ::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) pipeEnds[0] = pipeEnds[1] = -1;
    struct sigaction action {};
    action.sa_handler = record;
    sigemptyset(&action.sa_mask);
    // Restarted calls: the handler only records, and nothing should fail because of it.
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
    // A result over the file size limit (ulimit -f) fails its write with EFBIG, which names the
    // file, instead of ending the process without a word.
    ::signal(SIGXFSZ, SIG_IGN);
}

int caughtInterrupt() {
    return caught.load(std::memory_order_relaxed);
}

int interruptDescriptor() {
    return pipeEnds[0];
}

void forgetInterrupt() {
    char buffer[64];
    while (pipeEnds[0] >= 0 && ::read(pipeEnds[0], buffer, sizeof buffer) > 0) {
    }
    caught.store(0, std::memory_order_relaxed);
}

void holdInterruptsOnThisThread() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal);
    ::pthread_sigmask(SIG_BLOCK, &held, nullptr);
}

}  // namespace tavirel
