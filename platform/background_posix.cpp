// SPDX-License-Identifier: MIT
#include <pthread.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include "background.h"

namespace tavirel {

void lowerThisThread() {
    // SCHED_IDLE, which any process may choose for its own threads: below every nice level.
    const sched_param none{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &none);
}

bool runDetached(const std::function<void()>& work) {
    // Forked twice, so that the process doing the work is nobody's child to wait for.
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        ::setsid();
        if (::fork() == 0) {
            lowerThisThread();
            try {
                work();
            } catch (...) {
            }
        }
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return true;
}

}  // namespace tavirel
