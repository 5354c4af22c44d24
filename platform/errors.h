// SPDX-License-Identifier: MIT
// Run-time failures. They travel up the call chain to the one place that reports them (the
// batch's conversion, a front end's main); expected outcomes such as sentinels stay return values.
#pragma once

#include <stdexcept>
#include <string>

namespace tavirel {

/// Base of every failure the engine raises.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A file or folder that could not be opened, read, written or created, or that is refused.
class FileError : public Error {
public:
    /// `reason` is a short human-readable cause in plain ASCII, such as "read-only file".
    FileError(std::u16string path, std::string reason);

    const std::u16string& path() const { return path_; }
    const std::string& reason() const { return reason_; }

private:
    std::u16string path_;
    std::string reason_;
};

/// A text holds a character that the code page cannot represent.
class EncodeError : public Error {
public:
    using Error::Error;
};

}  // namespace tavirel
