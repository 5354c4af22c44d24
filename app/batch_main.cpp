// SPDX-License-Identifier: MIT
// tavirel-batch: the window's "刷新" then "转换", without a window, as a command-line tool: status
// lines on standard output, warnings and errors on standard error, a preview that writes nothing.
// The tool itself is batch_cli; here the process is made ready for it.
#include "batch_cli.h"
#include "console.h"
#include "interrupt.h"
#include "memory.h"
#include "undo_journal.h"

namespace {

using namespace tavirel;

class Stream : public CommandOutput {
public:
    explicit Stream(ConsoleStream::Which which, bool closed = false) : stream_(which, closed) {}
    void writeText(std::u16string_view text) override { stream_.writeText(text); }
    void writeBytes(std::string_view bytes) override { stream_.writeBytes(bytes); }
    void flush() override { stream_.flush(); }
    bool failed() const override { return stream_.failed(); }
    std::string errorText() const override { return stream_.errorText(); }

private:
    ConsoleStream stream_;
};

class Input : public CommandInput {
public:
    bool readAll(std::string& bytes, std::string& why) override { return readStandardInput(bytes, why); }
    const CodePage& page() const override { return standardInputPage(); }
};

}  // namespace

int main(int argc, char** argv) {
    // A closed standard stream is held, a reader that goes away only ends the output, and an
    // interrupt ends the run at its next yield.
    const bool outputClosed = prepareStandardStreams();
    catchInterrupts();
    keepFreedMemory();
    Stream out(ConsoleStream::Output, outputClosed), err(ConsoleStream::Error);
    Input in;
    const int status = runBatchCommand(commandLineArguments(argc, argv), out, err, TAVIREL_VERSION, &in);
    // An earlier run's originals still being removed are not worth the user's wait.
    finishForgetting();
    return status;
}
