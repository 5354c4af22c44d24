// SPDX-License-Identifier: MIT
#include <sys/stat.h>

#include <cstdlib>

#include "test_support.h"

namespace tavirel::testing {

std::u16string textOf(const std::filesystem::path& path) {
    return T(path.string());
}

FileIdentity identityOf(const std::filesystem::path& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return {static_cast<std::uint64_t>(st.st_ino), st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
}

void setStateFolder(const std::filesystem::path& folder) {
    ::setenv("XDG_STATE_HOME", folder.c_str(), 1);
}

}  // namespace tavirel::testing
