// SPDX-License-Identifier: MIT
// The standard streams and the arguments of a command-line program, as the platform has them:
// text goes to a console as characters and anywhere else in the code page a reader there
// expects; bytes go as they are.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavirel {

/// Sets the standard streams up for a program that must outlast them: a closed one is held by the
/// null device, so that no file opened later takes its place and gets the program's output, and
/// a reader that goes away ends the output, not the program. True when standard output was closed.
bool prepareStandardStreams();

/// The program's arguments after its name, as texts: on POSIX each one's bytes in the system code
/// page, byte for byte; on Windows as the system keeps them.
std::vector<std::u16string> commandLineArguments(int argc, char** argv);

class CodePage;

/// The whole of standard input, as bytes: a pipe's or a file's as they are; a console's as the
/// characters typed up to end of input, in standardInputPage(). False with the reason, in plain
/// ASCII, when it cannot be read.
bool readStandardInput(std::string& bytes, std::string& why);

/// The code page of standard input's bytes: the system's; on Windows the console's.
const CodePage& standardInputPage();

/// Standard output or standard error. Once a write fails nothing more is written to it, and
/// failed() and errorText() tell why; the program goes on.
class ConsoleStream {
public:
    enum Which { Output, Error };
    explicit ConsoleStream(Which which, bool closed = false);
    ~ConsoleStream();
    ConsoleStream(const ConsoleStream&) = delete;
    ConsoleStream& operator=(const ConsoleStream&) = delete;

    /// A console or a pipe, which someone may watch line by line: writes are then flushed at once.
    bool live() const;
    /// Text: characters the reader's code page lacks show as "?".
    void writeText(std::u16string_view text);
    void writeBytes(std::string_view bytes);
    void flush();
    bool failed() const;
    std::string errorText() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tavirel
