// SPDX-License-Identifier: MIT
// tavirel-batch: the window's "刷新" then "转换", without a window, as a Unix tool: status lines on
// standard output, warnings and errors on standard error, a preview that writes nothing.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "batch.h"
#include "code_page.h"
#include "errors.h"
#include "event_yield.h"
#include "folder_enum.h"
#include "interrupt.h"
#include "lower_case.h"
#include "memory.h"
#include "sorted_file_list.h"
#include "unified_diff.h"

namespace {

using namespace tavirel;

constexpr char kUsage[] =
    "usage: tavirel-batch [OPTION]... FOLDER\n"
    "\n"
    "Lists every file under FOLDER with the extension c, cpp, h, asm, dt or inc and strips the\n"
    "comments of each in place, without a backup: lines are cut at the first \"//\" (c, cpp, h)\n"
    "or \";\" (asm, dt, inc), then every \"/*\" ... \"*/\" stretch is removed. Markers inside\n"
    "strings count too; a warning names each place where the rules remove more than a comment.\n"
    "\n"
    "What to do (one at most; the default converts):\n"
    "  -n, --dry-run          everything but the writing: the same status lines and summary\n"
    "      --diff             print what a run would change as a unified diff; write nothing\n"
    "      --check            print each file a run would change; write nothing; exit 1 if any\n"
    "      --list             print the count and the files found; convert nothing\n"
    "\n"
    "Options:\n"
    "      --only EXT[,EXT...]  search only these extensions (letter case ignored)\n"
    "      --strict           pass over every file with a warning, leaving it untouched\n"
    "  -w, --no-warnings      do not look for the places where the rules remove code\n"
    "  -q, --quiet            no status lines and no summary; warnings and errors still show\n"
    "  -0, --null             with --list or --check: end each path with a NUL, print nothing else\n"
    "  -j, --jobs N           convert with N threads (default: one per core; 1: one at a time)\n"
    "  -h, --help             print this text\n"
    "      --version          print the version\n"
    "\n"
    "Warnings go to standard error as PATH:LINE:COLUMN: warning: TEXT [KIND], after each run a\n"
    "summary. Exit status: 0 done; 1 a conversion failed, or --check found a file to change;\n"
    "2 a usage error or a FOLDER that cannot be read; 3 standard output could not be written;\n"
    "128+N ended by signal N.\n";

enum class Mode { Convert, DryRun, Diff, Check, List };

struct Settings {
    Mode mode = Mode::Convert;
    bool modeGiven = false;
    bool strict = false;
    bool warnings = true;
    bool quiet = false;
    bool null = false;
    std::size_t jobs = 0;  // threads that convert; 0: one per core
    bool on[6] = {true, true, true, true, true, true};
    std::string folder;
};

// Text for people: in the code page, with "?" for what it cannot show.
std::string display(const std::u16string& text) {
    const CodePage& page = CodePage::system();
    try {
        return page.encode(text);
    } catch (const EncodeError&) {
        std::string out;
        for (char16_t unit : text) {
            try {
                out += page.encode(std::u16string(1, unit));
            } catch (const EncodeError&) {
                out += '?';
            }
        }
        return out;
    }
}

// Standard output that may go away: once a write fails, nothing more is written to it, the run
// goes on, and the failure is told at the end.
class Output {
public:
    explicit Output(bool closed) : error_(closed ? EBADF : 0) {
        // Someone may watch a terminal or a pipe line by line; a file is read when the run is over.
        struct stat st;
        live_ = !closed &&
                (::isatty(1) || (::fstat(1, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))));
    }
    void write(std::string_view bytes, bool flush = true) {
        if (error_) return;
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
            (flush && live_ && std::fflush(stdout) != 0)) {
            error_ = errno ? errno : EIO;
        }
    }
    void finish() {
        if (!error_ && std::fflush(stdout) != 0) error_ = errno ? errno : EIO;
    }
    int error() const { return error_; }

private:
    int error_ = 0;
    bool live_ = true;
};

void printError(const std::string& line) {
    const std::string text = "tavirel-batch: " + line + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
}

class Tool : public StatusLine, public ExtensionSwitches, public MessageBox, public RunReport {
public:
    Tool(Settings settings, bool stdoutClosed) : s_(std::move(settings)), out_(stdoutClosed) {}

    int run();

private:
    // The batch's view.
    void setText(const std::u16string& text) override {
        if (s_.quiet || s_.mode == Mode::Diff || s_.mode == Mode::Check) return;
        // A line per file, seen as it happens even through a pipe.
        out_.write(display(text) + "\n");
    }
    bool isOn(int index) const override { return s_.on[index]; }
    // The details, the file and the reason, follow the message on a line of their own, below.
    void showMessage(const std::u16string& text, const std::u16string&) override {
        std::fputs((display(text) + "\n").c_str(), stderr);
    }
    void fileDone(const FileReport& report) override;

    std::string relative(const std::u16string& path) const {
        const std::size_t skip = folder_.size() + 1;
        return CodePage::system().encode(path.size() > skip ? path.substr(skip) : path);
    }
    void printWarnings(const FileReport& report);
    void printSummary();

    Settings s_;
    std::u16string folder_;
    Output out_;
    std::size_t converted_ = 0, unchanged_ = 0, empty_ = 0, tooLarge_ = 0, unknown_ = 0, warnings_ = 0;
    std::vector<std::u16string> refused_;
};

void Tool::printWarnings(const FileReport& report) {
    for (const Warning& w : report.warnings) {
        ++warnings_;
        const std::string line = display(report.path) + ":" + std::to_string(w.line) + ":" +
                                 std::to_string(w.column) + ": warning: " + w.text + " [" +
                                 std::string(kindName(w.kind)) + "]\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
}

void Tool::fileDone(const FileReport& report) {
    using Fate = FileReport::Fate;
    if (s_.warnings) printWarnings(report);
    switch (report.fate) {
        case Fate::Converted: ++converted_; break;
        case Fate::Unchanged: ++unchanged_; break;
        case Fate::Empty: ++empty_; break;
        case Fate::TooLarge: ++tooLarge_; break;
        case Fate::UnknownLanguage: ++unknown_; break;
        case Fate::Strict: refused_.push_back(report.path); break;
    }
    if (report.fate != Fate::Converted) return;
    if (s_.mode == Mode::Check) {
        out_.write(CodePage::system().encode(report.path) + (s_.null ? '\0' : '\n'));
    } else if (s_.mode == Mode::Diff) {
        const std::u16string oldText = CodePage::system().decode(report.oldBytes);
        const TracedConversion traced =
            traceConversion(oldText, report.conversion.lineEnds, lineMarkerOf(report.language));
        out_.write(
            unifiedDiff(relative(report.path), report.oldBytes, report.conversion.bytes, oldText, traced));
    }
}

void Tool::printSummary() {
    const bool dry = s_.mode != Mode::Convert;
    std::string line = std::to_string(converted_) + (dry ? " to convert, " : " converted, ") +
                       std::to_string(unchanged_) + " unchanged, ";
    const std::size_t passed = empty_ + tooLarge_ + unknown_ + refused_.size();
    line += std::to_string(passed) + " passed over";
    std::vector<std::string> why;
    if (empty_) why.push_back(std::to_string(empty_) + " empty");
    if (tooLarge_) why.push_back(std::to_string(tooLarge_) + " over 65536 characters");
    if (unknown_) why.push_back(std::to_string(unknown_) + " language unknown");
    if (!refused_.empty()) why.push_back(std::to_string(refused_.size()) + " refused by --strict");
    for (std::size_t i = 0; i < why.size(); ++i) line += (i == 0 ? " (" : ", ") + why[i];
    if (!why.empty()) line += ")";
    if (warnings_) line += "; " + std::to_string(warnings_) + (warnings_ == 1 ? " warning" : " warnings");
    if (dry) line += "; nothing written";
    if (const int signal = caughtInterrupt()) line += "; stopped by signal " + std::to_string(signal);
    printError(line);
    for (const std::u16string& path : refused_) printError("passed over by --strict: " + display(path));
}

int Tool::run() {
    folder_ = CodePage::system().decode(s_.folder);
    const std::string unreadable = folderUnreadableReason(folder_);
    if (!unreadable.empty()) {
        printError(s_.folder + ": " + unreadable);
        return 2;
    }

    Dir_File files;
    StrOPT stripper;
    SortedFileList list;
    Batch batch(files, stripper, list, *this, *this, *this);
    batch.setOptions({.write = s_.mode == Mode::Convert, .warnings = s_.warnings, .strict = s_.strict});
    batch.setReport(this);
    if (s_.jobs > 0) batch.setWorkers(s_.jobs - 1);
    // An interrupt stops the run at its next yield instead of ending the process mid-file.
    setYieldHook(
        [](void* b) {
            if (caughtInterrupt()) static_cast<Batch*>(b)->requestStop();
        },
        &batch);

    if (s_.mode == Mode::List) {
        const bool quiet = s_.quiet;
        s_.quiet = true;  // the count line is printed below, with the list
        batch.RefreshList(folder_);
        s_.quiet = quiet;
        if (const int signal = caughtInterrupt()) return 128 + signal;
        if (!s_.null && !s_.quiet) out_.write("共选中:" + std::to_string(list.count()) + "个文件\n", false);
        for (std::size_t i = 0; i < list.count(); ++i) {
            out_.write(CodePage::system().encode(list.text(i)) + (s_.null ? '\0' : '\n'), false);
        }
    } else {
        batch.RefreshList(folder_);
        if (!caughtInterrupt() && batch.lastFailure().empty()) batch.ConvertSelected();
        // The file and the reason, under the message that says the run failed.
        if (!batch.lastFailure().empty()) std::fputs((display(batch.lastFailure()) + "\n").c_str(), stderr);
        if (!s_.quiet) printSummary();
    }
    out_.finish();

    if (const int signal = caughtInterrupt()) return 128 + signal;
    if (!batch.lastFailure().empty()) return 1;
    if (out_.error()) {
        printError(std::string("standard output: ") + std::strerror(out_.error()) +
                   ": the output is incomplete");
        return 3;
    }
    return s_.mode == Mode::Check && converted_ > 0 ? 1 : 0;
}

int usageError(const std::string& why) {
    std::fprintf(stderr, "tavirel-batch: %s\n\n%s", why.c_str(), kUsage);
    return 2;
}

// Sets the switches from a comma-separated list; false on an unknown extension.
bool chooseExtensions(const std::string& list, Settings& s, std::string& bad) {
    std::fill(std::begin(s.on), std::end(s.on), false);
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        const std::string word =
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::u16string lower = toLower(CodePage::system().decode(word));
        bool known = false;
        for (int i = 0; i < 6; ++i) {
            if (lower == Batch::kExtensions[i]) s.on[i] = known = true;
        }
        if (!known) {
            bad = word;
            return false;
        }
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

// Parses the command line into `s`; a negative result means go on, any other is the exit status.
int parse(int argc, char** argv, Settings& s) {
    std::vector<std::string> folders;
    bool optionsEnded = false;
    auto setMode = [&](Mode mode, const std::string& name) {
        if (s.modeGiven && s.mode != mode)
            return usageError(name + " cannot go with another of -n, --diff, --check, --list");
        s.mode = mode;
        s.modeGiven = true;
        return -1;
    };
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            folders.push_back(arg);
            continue;
        }
        // Bundled short options: -nq is -n -q.
        std::vector<std::string> flags;
        if (arg.rfind("-j", 0) == 0 && arg.size() > 2) {
            flags.push_back("--jobs=" + arg.substr(2));  // -j4
        } else if (arg[1] != '-') {
            for (std::size_t k = 1; k < arg.size(); ++k) flags.push_back(std::string("-") + arg[k]);
        } else {
            flags.push_back(arg);
        }
        for (const std::string& flag : flags) {
            int result = -1;
            if (flag == "--") {
                optionsEnded = true;
            } else if (flag == "--help" || flag == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            } else if (flag == "--version") {
                std::puts("tavirel-batch " TAVIREL_VERSION);
                return 0;
            } else if (flag == "-n" || flag == "--dry-run") {
                result = setMode(Mode::DryRun, flag);
            } else if (flag == "--diff") {
                result = setMode(Mode::Diff, flag);
            } else if (flag == "--check") {
                result = setMode(Mode::Check, flag);
            } else if (flag == "--list") {
                result = setMode(Mode::List, flag);
            } else if (flag == "--strict") {
                s.strict = true;
            } else if (flag == "-w" || flag == "--no-warnings") {
                s.warnings = false;
            } else if (flag == "-q" || flag == "--quiet") {
                s.quiet = true;
            } else if (flag == "-0" || flag == "--null") {
                s.null = true;
            } else if (flag == "-j" || flag == "--jobs" || flag.rfind("--jobs=", 0) == 0) {
                std::string value;
                if (flag.rfind("--jobs=", 0) == 0) {
                    value = flag.substr(7);
                } else {
                    if (++i == argc) return usageError(flag + " needs a number of threads");
                    value = argv[i];
                }
                char* end = nullptr;
                const unsigned long n = std::strtoul(value.c_str(), &end, 10);
                if (value.empty() || *end || n < 1 || n > 256)
                    return usageError("bad number of threads '" + value + "'");
                s.jobs = n;
            } else if (flag == "--only" || flag.rfind("--only=", 0) == 0) {
                std::string value;
                if (flag == "--only") {
                    if (++i == argc) return usageError("--only needs a list of extensions");
                    value = argv[i];
                } else {
                    value = flag.substr(7);
                }
                std::string bad;
                if (!chooseExtensions(value, s, bad)) return usageError("unknown extension '" + bad + "'");
            } else {
                return usageError("unknown option " + flag);
            }
            if (result >= 0) return result;
        }
    }
    if (s.null && s.mode != Mode::List && s.mode != Mode::Check)
        return usageError("-0 goes with --list or --check");
    if (s.strict && !s.warnings) return usageError("--strict needs the warnings: it cannot go with -w");
    if (folders.size() != 1)
        return usageError(folders.empty() ? "no folder given" : "more than one folder given");
    s.folder = folders[0];
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    // A closed standard descriptor would be handed to the next file opened, and a status line or
    // a message written into that file: hold each place with /dev/null. A closed standard output
    // counts as broken from the start.
    bool stdoutClosed = false;
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0) continue;
        if (fd == 1) stdoutClosed = true;
        ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    }
    // An interrupt ends the run at its next yield; a reader that goes away only ends the output.
    catchInterrupts();
    ::signal(SIGPIPE, SIG_IGN);
    keepFreedMemory();
    Settings settings;
    const int parsed = parse(argc, argv, settings);
    if (parsed >= 0) return parsed;
    return Tool(std::move(settings), stdoutClosed).run();
}
