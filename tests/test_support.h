// SPDX-License-Identifier: MIT
// Helpers shared by the tests: UTF-8 literals as texts, raw files, a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "code_page.h"

namespace tavirel::testing {

/// A text from UTF-8 source.
inline std::u16string T(std::string_view utf8) {
    static const CodePage utf8Page("UTF-8");
    return utf8Page.decode(utf8);
}

/// Reads back a text as UTF-8 for readable failure messages.
inline std::string U8(std::u16string_view text) {
    static const CodePage utf8Page("UTF-8");
    return utf8Page.encode(text);
}

std::string readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, std::string_view bytes);

/// Takes every write permission away: the read-only attribute on Windows.
inline void makeReadOnly(const std::filesystem::path& path) {
    using std::filesystem::perms;
    std::filesystem::permissions(path, perms::owner_read | perms::group_read | perms::others_read);
}

/// Removes a file, read-only or not, as a user would who means it.
inline void removeFile(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove(path);
}

/// A path as the engine's text: its bytes in the code page here, its characters on Windows.
std::u16string textOf(const std::filesystem::path& path);

/// What tells whether a file was written: its identity on the volume and its modification time.
struct FileIdentity {
    std::uint64_t id;
    std::int64_t modified;
    bool operator==(const FileIdentity&) const = default;
};
FileIdentity identityOf(const std::filesystem::path& path);

#ifdef _WIN32
/// Whether the program runs under wine, whose system calls differ from Windows's in places.
bool underWine();
#endif

/// Makes `folder` the user's state folder of this process, where runs keep their originals.
void setStateFolder(const std::filesystem::path& folder);

/// A fixture owning a fresh temporary folder, removed with everything in it afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// A file in the folder; "/" in `name` separates folders on every platform.
    std::filesystem::path path(std::string_view name) const { return (dir_ / name).make_preferred(); }
    /// The path as a text, for the engine's calls.
    std::u16string textPath(std::string_view name) const { return textOf(path(name)); }

    std::filesystem::path dir_;
    std::filesystem::path state_;  // the user's state folder while the test runs
};

}  // namespace tavirel::testing
