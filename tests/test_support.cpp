// SPDX-License-Identifier: MIT
#include "test_support.h"

#include <fstream>
#include <iterator>
#include <random>

namespace tavirel::testing {

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void TempDirTest::SetUp() {
    std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, "tavirel-test-%016llx", static_cast<unsigned long long>(random()));
        dir_ = std::filesystem::temp_directory_path() / name;
        std::error_code ec;
        if (std::filesystem::create_directory(dir_, ec)) {
            // The originals a run keeps go beside the folder, never into the user's own.
            state_ = dir_;
            state_ += ".state";
            setStateFolder(state_);
            return;
        }
    }
    FAIL() << "no temporary folder";
}

void TempDirTest::TearDown() {
    // Give write permission back first, so that read-only files and folders a test made go too.
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(dir_, ec);
    std::filesystem::remove_all(state_, ec);
}

}  // namespace tavirel::testing
