// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "code_page.h"
#include "console.h"
#include "errors.h"

namespace tavirel {

bool prepareStandardStreams() {
    bool outputClosed = false;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0) continue;
        if (fd == 1) outputClosed = true;
        ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);  // takes the lowest free descriptor: this one
    }
    ::signal(SIGPIPE, SIG_IGN);
    return outputClosed;
}

std::vector<std::u16string> commandLineArguments(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(CodePage::system().decode(argv[i]));
    return args;
}

struct ConsoleStream::Impl {
    std::FILE* file;
    bool live = false;
    int error = 0;

    void check(bool ok) {
        if (!ok && !error) error = errno ? errno : EIO;
    }
};

ConsoleStream::ConsoleStream(Which which, bool closed) : impl_(std::make_unique<Impl>()) {
    impl_->file = which == Output ? stdout : stderr;
    const int fd = which == Output ? 1 : 2;
    struct stat st;
    impl_->live = ::isatty(fd) || (::fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)));
    if (closed) impl_->error = EBADF;
}

ConsoleStream::~ConsoleStream() = default;

bool ConsoleStream::live() const {
    return impl_->live;
}

void ConsoleStream::writeText(std::u16string_view text) {
    const CodePage& page = CodePage::system();
    std::string bytes;
    try {
        bytes = page.encode(text);
    } catch (const EncodeError&) {
        for (char16_t unit : text) {
            try {
                bytes += page.encode(std::u16string(1, unit));
            } catch (const EncodeError&) {
                bytes += '?';
            }
        }
    }
    writeBytes(bytes);
}

void ConsoleStream::writeBytes(std::string_view bytes) {
    if (impl_->error) return;
    impl_->check(std::fwrite(bytes.data(), 1, bytes.size(), impl_->file) == bytes.size());
    if (impl_->live) flush();
}

void ConsoleStream::flush() {
    if (!impl_->error) impl_->check(std::fflush(impl_->file) == 0);
}

bool ConsoleStream::failed() const {
    return impl_->error != 0;
}

std::string ConsoleStream::errorText() const {
    return std::strerror(impl_->error);
}

bool readStandardInput(std::string& bytes, std::string& why) {
    bytes.clear();
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            why = std::strerror(errno);
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

const CodePage& standardInputPage() {
    return CodePage::system();
}

}  // namespace tavirel
