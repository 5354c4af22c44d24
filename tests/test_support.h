// SPDX-License-Identifier: MIT
// Helpers shared by the tests: UTF-8 literals as texts, raw files, a temporary folder.
#pragma once

#include <gtest/gtest.h>

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

/// A fixture owning a fresh temporary folder, removed with everything in it afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path path(std::string_view name) const { return dir_ / name; }
    /// The path as a text, for the engine's calls.
    std::u16string textPath(std::string_view name) const { return T((dir_ / name).string()); }

    std::filesystem::path dir_;
};

}  // namespace tavirel::testing
