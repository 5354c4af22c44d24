// SPDX-License-Identifier: MIT
// tavirel-batch as a library: its arguments parsed, the run it asks for, and what it prints on
// its two streams, with its exit status. The program around it only sets up the process.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "code_page.h"

namespace tavirel {

/// Where the command line writes. A failed write stops that stream, never the run.
class CommandOutput {
public:
    virtual ~CommandOutput() = default;
    /// Text, in the reader's code page (a console: as characters).
    virtual void writeText(std::u16string_view text) = 0;
    /// Bytes as they are: the paths and diffs that scripts read.
    virtual void writeBytes(std::string_view bytes) = 0;
    virtual void flush() = 0;
    virtual bool failed() const = 0;
    /// Why a write failed, in plain ASCII.
    virtual std::string errorText() const = 0;
};

/// Where the command line reads standard input, for -.
class CommandInput {
public:
    virtual ~CommandInput() = default;
    /// All of it, as bytes; false with the reason, in plain ASCII, when it cannot be read.
    virtual bool readAll(std::string& bytes, std::string& why) = 0;
    /// The code page its bytes are in, which the output keeps.
    virtual const CodePage& page() const = 0;
};

/// Runs tavirel-batch with `args` (the arguments after the program's name): usage errors, the
/// modes (convert, dry run, diff, check, list) and their reports. Returns the exit status:
/// 0 done; 1 a conversion failed, or a check found a file to change; 2 a usage error or a folder
/// that cannot be read; 3 standard output failed; 128+N stopped by signal N.
int runBatchCommand(const std::vector<std::u16string>& args, CommandOutput& out, CommandOutput& err,
                    std::string_view version, CommandInput* in = nullptr);

}  // namespace tavirel
