// tavirel-batch: the window's "刷新" then "转换", without a window.
//
//   tavirel-batch [--only EXT[,EXT...]] [--list] FOLDER
//
// Status texts go to standard output one per line; a failed conversion prints the message and
// the file with its reason on standard error and exits 1; a usage error exits 2.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "batch.h"
#include "code_page.h"
#include "errors.h"
#include "event_yield.h"
#include "interrupt.h"
#include "lower_case.h"
#include "sorted_file_list.h"

namespace {

using namespace tavirel;

constexpr char kUsage[] =
    "usage: tavirel-batch [--only EXT[,EXT...]] [--list] FOLDER\n"
    "\n"
    "Lists every file under FOLDER with the extension c, cpp, h, asm, dt or inc (or only those\n"
    "named with --only) and strips the comments of each in place, without a backup: lines are\n"
    "cut at the first \"//\" (c, cpp, h) or \";\" (asm, dt, inc), then every \"/*\" ... \"*/\"\n"
    "stretch is removed.\n"
    "\n"
    "  --only EXT[,EXT...]  search only these extensions (case-insensitive)\n"
    "  --list               print the count and the files found, convert nothing\n"
    "  --help               print this text\n"
    "  --version            print the version\n"
    "\n"
    "Exit status: 0 done, 1 a conversion failed, 2 usage error.\n";

// Text for the terminal: in the code page, with "?" for what it cannot show.
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

void printLine(std::FILE* stream, const std::u16string& text) {
    const std::string line = display(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stream);
}

struct PrintedStatus : StatusLine {
    void setText(const std::u16string& text) override {
        printLine(stdout, text);
        std::fflush(stdout);  // a line per file, seen as it happens even through a pipe
    }
};

struct ChosenSwitches : ExtensionSwitches {
    bool on[6] = {true, true, true, true, true, true};
    bool isOn(int index) const override { return on[index]; }
};

struct StderrMessage : MessageBox {
    void showMessage(const std::u16string& text) override { printLine(stderr, text); }
};

int usageError(const std::string& why) {
    std::fprintf(stderr, "tavirel-batch: %s\n\n%s", why.c_str(), kUsage);
    return 2;
}

// Sets the switches from a comma-separated list; false on an unknown extension.
bool chooseExtensions(const std::string& list, ChosenSwitches& switches, std::string& bad) {
    std::fill(std::begin(switches.on), std::end(switches.on), false);
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        const std::string word = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const std::u16string lower = toLower(CodePage::system().decode(word));
        bool known = false;
        for (int i = 0; i < 6; ++i) {
            if (lower == Batch::kExtensions[i]) switches.on[i] = known = true;
        }
        if (!known) {
            bad = word;
            return false;
        }
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // An interrupt stops the run at its next yield instead of ending the process mid-file.
    catchInterrupts();
    ChosenSwitches switches;
    bool listOnly = false;
    std::vector<std::string> folders;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg.empty() || arg[0] != '-') {
            folders.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::puts("tavirel-batch " TAVIREL_VERSION);
            return 0;
        } else if (arg == "--list") {
            listOnly = true;
        } else if (arg == "--only" || arg.rfind("--only=", 0) == 0) {
            std::string value;
            if (arg == "--only") {
                if (++i == argc) return usageError("--only needs a list of extensions");
                value = argv[i];
            } else {
                value = arg.substr(7);
            }
            std::string bad;
            if (!chooseExtensions(value, switches, bad)) return usageError("unknown extension '" + bad + "'");
        } else {
            return usageError("unknown option " + arg);
        }
    }
    if (folders.size() != 1) return usageError(folders.empty() ? "no folder given" : "more than one folder given");

    Dir_File files;
    StrOPT stripper;
    SortedFileList list;
    PrintedStatus status;
    StderrMessage messages;
    Batch batch(files, stripper, list, status, switches, messages);
    setYieldHook(
        [](void* b) {
            if (caughtInterrupt()) static_cast<Batch*>(b)->requestStop();
        },
        &batch);

    batch.RefreshList(CodePage::system().decode(folders[0]));
    if (const int signal = caughtInterrupt()) return 128 + signal;
    if (listOnly) {
        for (std::size_t i = 0; i < list.count(); ++i) printLine(stdout, list.text(i));
        return 0;
    }
    batch.ConvertSelected();
    if (const int signal = caughtInterrupt()) return 128 + signal;
    if (!batch.lastFailure().empty()) {
        printLine(stderr, batch.lastFailure());
        return 1;
    }
    return 0;
}
