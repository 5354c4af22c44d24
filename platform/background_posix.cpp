// SPDX-License-Identifier: MIT
#include <pthread.h>
#include <sched.h>
#include <spawn.h>

#include "background.h"
#include "code_page.h"

extern char** environ;

namespace tavirel {

void lowerThisThread() {
    // SCHED_IDLE, which any process may choose for its own threads: below every nice level.
    const sched_param none{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &none);
}

bool removeDetached(const std::vector<std::u16string>& folders) {
    // rm(1), spawned without copying this process: the system's own remover, which every system
    // has. Nobody waits for it; it is its own when this process ends.
    std::vector<std::string> names;
    for (const std::u16string& folder : folders) names.push_back(CodePage::system().encode(folder));
    std::vector<char*> argv = {const_cast<char*>("rm"), const_cast<char*>("-rf"), const_cast<char*>("--")};
    for (std::string& name : names) argv.push_back(name.data());
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    const sched_param none{};
    posix_spawnattr_setschedpolicy(&attributes, SCHED_IDLE);
    posix_spawnattr_setschedparam(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSCHEDULER);
    pid_t child;
    const int failed = posix_spawnp(&child, "rm", nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    return failed == 0;
}

}  // namespace tavirel
