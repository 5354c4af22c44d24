// SPDX-License-Identifier: MIT
#include "errors.h"

#include "code_page.h"

namespace tavirel {
namespace {

// The path for what(), which is read by people: in the code page where it can be.
std::string describe(const std::u16string& path) {
    try {
        return CodePage::system().encode(path);
    } catch (const EncodeError&) {
        return std::string(path.begin(), path.end());
    }
}

}  // namespace

FileError::FileError(std::u16string path, std::string reason)
    : Error(describe(path) + ": " + reason), path_(std::move(path)), reason_(std::move(reason)) {}

}  // namespace tavirel
