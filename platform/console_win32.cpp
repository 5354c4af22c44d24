// SPDX-License-Identifier: MIT
// A console gets characters through WriteConsoleW; a file or a pipe gets the console's output code
// page, as Windows's own tools write it.
#include <windows.h>

#include <shellapi.h>

#include <memory>

#include "code_page.h"
#include "console.h"
#include "errors.h"
#include "win32_util.h"

namespace tavirel {

bool prepareStandardStreams() {
    bool outputClosed = false;
    const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (DWORD std : which) {
        const HANDLE h = GetStdHandle(std);
        if (h && h != INVALID_HANDLE_VALUE) continue;
        if (std == STD_OUTPUT_HANDLE) outputClosed = true;
        const HANDLE nul =
            CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
        SetStdHandle(std, nul);
    }
    return outputClosed;
}

std::vector<std::u16string> commandLineArguments(int, char**) {
    int n = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &n);
    std::vector<std::u16string> args;
    for (int i = 1; argv && i < n; ++i) args.push_back(win32::text(argv[i]));
    LocalFree(argv);
    return args;
}

struct ConsoleStream::Impl {
    HANDLE handle = nullptr;
    bool console = false;
    bool live = false;
    DWORD error = 0;
    std::string pending;  // bytes for a file, written in blocks
    std::unique_ptr<CodePage> page;

    void put(const char* data, std::size_t size) {
        while (!error && size > 0) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1 << 20));
            if (!WriteFile(handle, data, chunk, &written, nullptr)) {
                error = GetLastError();
                return;
            }
            data += written;
            size -= written;
        }
    }
};

ConsoleStream::ConsoleStream(Which which, bool closed) : impl_(std::make_unique<Impl>()) {
    Impl& s = *impl_;
    s.handle = GetStdHandle(which == Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    s.console = GetConsoleMode(s.handle, &mode) != 0;
    s.live = s.console || GetFileType(s.handle) == FILE_TYPE_PIPE;
    if (closed) s.error = ERROR_INVALID_HANDLE;
    if (!s.console) {
        const UINT cp = GetConsoleOutputCP() ? GetConsoleOutputCP() : GetACP();
        try {
            s.page = std::make_unique<CodePage>(cp == CP_UTF8 ? "UTF-8" : "CP" + std::to_string(cp));
        } catch (const tavirel::Error&) {
            s.page = std::make_unique<CodePage>("UTF-8");
        }
    }
}

ConsoleStream::~ConsoleStream() {
    flush();
}

bool ConsoleStream::live() const {
    return impl_->live;
}

void ConsoleStream::writeText(std::u16string_view text) {
    Impl& s = *impl_;
    if (s.error) return;
    if (s.console) {
        while (!text.empty()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 8192));
            if (!WriteConsoleW(s.handle, text.data(), chunk, &written, nullptr) || written == 0) {
                s.error = GetLastError();
                return;
            }
            text.remove_prefix(written);
        }
        return;
    }
    std::string bytes;
    try {
        bytes = s.page->encode(text);
    } catch (const EncodeError&) {
        for (char16_t unit : text) {
            try {
                bytes += s.page->encode(std::u16string(1, unit));
            } catch (const EncodeError&) {
                bytes += '?';
            }
        }
    }
    writeBytes(bytes);
}

void ConsoleStream::writeBytes(std::string_view bytes) {
    Impl& s = *impl_;
    if (s.error) return;
    s.pending.append(bytes);
    if (s.live || s.pending.size() >= (64 << 10)) flush();
}

void ConsoleStream::flush() {
    Impl& s = *impl_;
    if (!s.pending.empty()) s.put(s.pending.data(), s.pending.size());
    s.pending.clear();
}

bool ConsoleStream::failed() const {
    return impl_->error != 0;
}

std::string ConsoleStream::errorText() const {
    return win32::reasonFor(impl_->error);
}

const CodePage& standardInputPage() {
    // What a console's programs write to a pipe, and what its user types.
    static const CodePage page(GetConsoleCP() ? "CP" + std::to_string(GetConsoleCP())
                                              : CodePage::systemCodesetName());
    return page;
}

bool readStandardInput(std::string& bytes, std::string& why) {
    bytes.clear();
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (in && in != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode)) {
        // Typed: characters up to a Ctrl+Z, in the console's code page.
        std::u16string typed;
        wchar_t buffer[4096];
        for (;;) {
            DWORD got = 0;
            if (!ReadConsoleW(in, buffer, 4096, &got, nullptr)) {
                why = win32::reasonFor(GetLastError());
                return false;
            }
            const std::u16string_view chunk(reinterpret_cast<const char16_t*>(buffer), got);
            const std::size_t end = chunk.find(u'\x1a');
            typed += chunk.substr(0, end);
            if (got == 0 || end != std::u16string_view::npos) break;
        }
        bytes = standardInputPage().encode(typed);
        return true;
    }
    char buffer[1 << 16];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, buffer, sizeof buffer, &got, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_BROKEN_PIPE) return true;  // the writer is done
            why = win32::reasonFor(error);
            return false;
        }
        if (got == 0) return true;
        bytes.append(buffer, got);
    }
}

}  // namespace tavirel
