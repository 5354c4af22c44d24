// SPDX-License-Identifier: MIT
#include "batch_cli.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "batch.h"
#include "code_page.h"
#include "errors.h"
#include "event_yield.h"
#include "folder_enum.h"
#include "interrupt.h"
#include "lower_case.h"
#include "sorted_file_list.h"
#include "undo_journal.h"
#include "unified_diff.h"
#include "warnings.h"

namespace tavirel {
namespace {

constexpr char16_t kUsage[] =
    u"usage: tavirel-batch [OPTION]... PATH...\n"
    u"   or: tavirel-batch [OPTION]... (--lang KEY | --assume-filename NAME) -\n"
    u"   or: tavirel-batch --undo [-n] [-q] PATH...\n"
    u"\n"
    u"Lists every file under each folder PATH with the extension c, cpp, h, asm, dt or inc, and each\n"
    u"file PATH with one of them, and strips the comments of each in place: lines are cut at the\n"
    u"first \"//\" (c, cpp, h)\n"
    u"or \";\" (asm, dt, inc), then every \"/*\" ... \"*/\" stretch is removed. Markers inside\n"
    u"strings count too; a warning names each place where the rules remove more than a comment.\n"
    u"The files a run replaces are kept, as they were, for --undo.\n"
    u"\n"
    u"What to do (one at most; the default converts):\n"
    u"  -n, --dry-run          everything but the writing: the same status lines and summary\n"
    u"      --diff             print what a run would change as a unified diff; write nothing\n"
    u"      --check            print each file a run would change; write nothing; exit 1 if any\n"
    u"      --list             print the count and the files found; convert nothing\n"
    u"      --undo             put back the files the last run over PATH replaced, each one\n"
    u"                         still as that run wrote it; with -n, say what it would put back\n"
    u"\n"
    u"Options:\n"
    u"      --syntax           find comments by the language's syntax instead: markers in strings,\n"
    u"                         characters and header names stay, every line stays where it was,\n"
    u"                         and the code still builds; no size limit\n"
    u"      --keep-license     with --syntax: keep a file's first comment when it holds a\n"
    u"                         copyright or licence notice\n"
    u"      --keep REGEX       with --syntax: keep every comment this extended regular\n"
    u"                         expression matches (e.g. 'NOLINT|clang-format|fallthrough')\n"
    u"      --only EXT[,EXT...]  search only these extensions (letter case ignored)\n"
    u"      --exclude GLOB     leave out the files and folders whose path inside a folder PATH\n"
    u"                         matches (\"*\", \"?\", \"[...]\"; without \"/\": any one name)\n"
    u"  -                      as the only PATH: convert standard input to standard output\n"
    u"      --lang KEY         with -: the language key (c, cpp, h, asm, dt or inc)\n"
    u"      --assume-filename NAME  with -: the language of NAME's extension, and NAME in messages\n"
    u"      --strict           pass over every file with a warning, leaving it untouched\n"
    u"  -w, --no-warnings      do not look for the places where the rules remove code\n"
    u"  -q, --quiet            no status lines and no summary; warnings and errors still show\n"
    u"  -0, --null             with --list or --check: end each path with a NUL, print nothing else\n"
    u"  -j, --jobs N           convert with N threads (default: one per core; 1: one at a time)\n"
    u"      --no-undo          keep no originals: this run cannot be undone\n"
    u"      --undo-limit SIZE  copy at most SIZE bytes of originals (suffix K, M or G; default 1G)\n"
    u"                         where they cannot be kept without a copy (another file system)\n"
    u"  -h, --help             print this text\n"
    u"      --version          print the version\n"
    u"\n"
    u"Warnings go to standard error as PATH:LINE:COLUMN: warning: TEXT [KIND], after each run a\n"
    u"summary. The originals of the last run over a folder are kept in the user's state folder\n"
    u"($XDG_STATE_HOME/tavirel, ~/.local/state/tavirel; on Windows %LOCALAPPDATA%\\Tavirel).\n"
    u"Exit status: 0 done; 1 a conversion failed, --check found a file to change, or --undo\n"
    u"had nothing to undo or left a file that changed since the run;\n"
    u"2 a usage error or a PATH that cannot be taken; 3 standard output could not be written;\n"
    u"128+N ended by signal N.\n";

enum class Mode { Convert, DryRun, Diff, Check, List };

struct Settings {
    Mode mode = Mode::Convert;
    bool modeGiven = false;
    bool strict = false;
    bool warnings = true;
    RuleSet rules = RuleSet::Classic;
    KeptComments keep;
    std::u16string keepGiven;  // the first --keep-license or --keep, for a message
    bool quiet = false;
    bool null = false;
    std::size_t jobs = 0;  // threads that convert; 0: one per core
    bool on[6] = {true, true, true, true, true, true};
    std::vector<std::u16string> paths;
    std::vector<std::u16string> excludes;
    std::u16string assumeFilename;  // with -: the name whose language the text has
    std::u16string lang;            // with -: the language key
    bool undo = false;
    bool keepOriginals = true;
    std::uint64_t copyLimit = kDefaultCopyLimit;
};

// Plain ASCII (numbers, reasons, the tool's own words) as a text.
std::u16string text(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}
std::u16string number(std::size_t n) {
    return text(std::to_string(n));
}

class Tool : public StatusLine,
             public ExtensionSwitches,
             public MessageBox,
             public RunReport,
             public UndoReport {
public:
    Tool(Settings settings, CommandInput* in, CommandOutput& out, CommandOutput& err)
        : s_(std::move(settings)), in_(in), out_(out), err_(err) {}

    int run();

private:
    // The batch's view.
    void setText(const std::u16string& line) override {
        if (s_.quiet || s_.mode == Mode::Diff || s_.mode == Mode::Check) return;
        out_.writeText(line + u'\n');
    }
    bool isOn(int index) const override { return s_.on[index]; }
    // The details, the file and the reason, follow the message on a line of their own, below.
    void showMessage(const std::u16string& message, const std::u16string&) override {
        err_.writeText(message + u'\n');
    }
    void fileDone(const FileReport& report) override;
    void restored(const std::u16string& path) override {
        if (!s_.quiet)
            out_.writeText((s_.mode == Mode::DryRun ? u"would restore: " : u"restored: ") + path + u'\n');
    }
    void leftAlone(const std::u16string& path, Left why, const std::u16string& detail) override {
        std::u16string because = detail;
        if (why == Left::Changed) because = u"changed since the run; its original is kept as " + detail;
        if (why == Left::NotKept) because = u"its original was not kept";
        error(u"left as it is: " + path + u": " + because);
    }
    int undo(Batch& batch, const std::u16string& home);

    void error(const std::u16string& line) { err_.writeText(u"tavirel-batch: " + line + u'\n'); }
    // A path as a diff names it: inside its root folder, or a file root's own name.
    std::string relative(const std::u16string& path) const {
        const std::u16string& root = batch_ ? batch_->rootOf(path) : path;
        std::u16string inside = path;
        if (path == root) {
            inside = path.substr(path.find_last_of(kPathSeparator) + 1);
        } else if (!root.empty()) {
            inside = path.substr(root.back() == kPathSeparator ? root.size() : root.size() + 1);
        }
        return CodePage::system().encode(inside);
    }
    int filter();
    void printSummary();

    Settings s_;
    const Batch* batch_ = nullptr;
    CommandInput* in_ = nullptr;
    CommandOutput& out_;
    CommandOutput& err_;
    std::size_t converted_ = 0, unchanged_ = 0, empty_ = 0, tooLarge_ = 0, unknown_ = 0, warnings_ = 0;
    std::vector<std::u16string> refused_;
};

void Tool::fileDone(const FileReport& report) {
    using Fate = FileReport::Fate;
    if (s_.warnings && !report.warnings.empty()) {
        // One write per file: standard error is unbuffered, and a file may hold thousands.
        std::u16string lines;
        for (const Warning& w : report.warnings) {
            ++warnings_;
            lines += report.path + u':' + number(w.line) + u':' + number(w.column) + u": warning: " +
                     text(w.text) + u" [" + text(kindName(w.kind)) + u"]\n";
        }
        err_.writeText(lines);
    }
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
        // Paths as bytes, for the scripts that read them.
        out_.writeBytes(CodePage::system().encode(report.path) + (s_.null ? '\0' : '\n'));
    } else if (s_.mode == Mode::Diff) {
        const std::u16string oldText = CodePage::system().decode(report.oldBytes);
        out_.writeBytes(unifiedDiff(relative(report.path), report.oldBytes, report.conversion.bytes, oldText,
                                    *report.conversion.trace));
    }
}

void Tool::printSummary() {
    const bool dry = s_.mode != Mode::Convert;
    std::u16string line = number(converted_) + (dry ? u" to convert, " : u" converted, ") +
                          number(unchanged_) + u" unchanged, ";
    const std::size_t passed = empty_ + tooLarge_ + unknown_ + refused_.size();
    line += number(passed) + u" passed over";
    std::vector<std::u16string> why;
    if (empty_) why.push_back(number(empty_) + u" empty");
    if (tooLarge_) why.push_back(number(tooLarge_) + u" over 65536 characters");
    if (unknown_) why.push_back(number(unknown_) + u" language unknown");
    if (!refused_.empty()) why.push_back(number(refused_.size()) + u" refused by --strict");
    for (std::size_t i = 0; i < why.size(); ++i) line += (i == 0 ? u" (" : u", ") + why[i];
    if (!why.empty()) line += u")";
    if (warnings_) line += u"; " + number(warnings_) + (warnings_ == 1 ? u" warning" : u" warnings");
    if (dry) line += u"; nothing written";
    if (const int signal = caughtInterrupt()) line += u"; stopped by signal " + number(signal);
    error(line);
    for (const std::u16string& path : refused_) error(u"passed over by --strict: " + path);
}

int Tool::undo(Batch& batch, const std::u16string& home) {
    UndoOutcome all;
    bool missing = false;
    for (const std::u16string& path : s_.paths) {
        UndoOutcome outcome;
        try {
            outcome = batch.UndoLastRun(home, path, s_.mode == Mode::DryRun, *this);
        } catch (const FileError& e) {
            error(e.path() + u": " + text(e.reason()));
            return 1;
        }
        if (const int signal = caughtInterrupt()) {
            if (!s_.quiet)
                error(number(all.restored + outcome.restored) + u" restored; stopped by signal " +
                      number(signal));
            return 128 + signal;
        }
        if (!outcome.found) {
            error(u"nothing to undo for " + path);
            missing = true;
        }
        all.found = all.found || outcome.found;
        all.restored += outcome.restored;
        all.left += outcome.left;
    }
    if (!s_.quiet && all.found) {
        error(number(all.restored) + (s_.mode == Mode::DryRun ? u" to restore, " : u" restored, ") +
              number(all.left) + (all.left == 1 ? u" left as it is" : u" left as they are") +
              (s_.mode == Mode::DryRun ? u"; nothing written" : u""));
    }
    out_.flush();
    return all.left > 0 || missing ? 1 : 0;
}

// Standard input to standard output: what a run would write to a file of that language holding
// that text, and nothing written anywhere else.
int Tool::filter() {
    std::string bytes, why;
    if (!in_ || !in_->readAll(bytes, why)) {
        error(u"standard input: " + text(in_ ? why : "cannot be read"));
        return 2;
    }
    const std::u16string name = s_.assumeFilename.empty() ? u"-." + s_.lang : s_.assumeFilename;
    const std::u16string shown = s_.assumeFilename.empty() ? u"<stdin>" : s_.assumeFilename;
    StrOPT stripper;
    const CodePage& page = in_->page();
    const SourceConversion c = convertBytes(
        stripper, name, bytes, page, {.rules = s_.rules, .keep = s_.keep, .trace = s_.mode == Mode::Diff});
    using Outcome = SourceConversion::Outcome;
    std::vector<Warning> warnings;
    if ((s_.warnings || s_.strict) && (c.outcome == Outcome::Changed || c.outcome == Outcome::Unchanged))
        warnings = findWarnings(c, bytes, *c.language);
    std::u16string lines;
    for (const Warning& w : warnings) {
        lines += shown + u':' + number(w.line) + u':' + number(w.column) + u": warning: " + text(w.text) +
                 u" [" + text(kindName(w.kind)) + u"]\n";
    }
    if (s_.warnings) err_.writeText(lines);
    const bool refused = s_.strict && !warnings.empty();
    const bool changed = c.outcome == Outcome::Changed && !refused;
    if (c.outcome == Outcome::TooLarge) error(shown + u": passed over: over 65536 characters");
    if (refused) error(u"passed over by --strict: " + shown);
    if (s_.mode == Mode::Check) {
        if (changed) out_.writeBytes(page.encode(shown) + (s_.null ? '\0' : '\n'));
    } else if (s_.mode == Mode::Diff) {
        if (changed) {
            const std::string label = page.encode(shown);
            out_.writeBytes(unifiedDiff(label, bytes, c.bytes, page.decode(bytes), *c.trace));
        }
    } else {
        out_.writeBytes(changed ? std::string_view(c.bytes) : std::string_view(bytes));
    }
    out_.flush();
    if (out_.failed()) {
        error(u"standard output: " + text(out_.errorText()) + u": the output is incomplete");
        return 3;
    }
    return s_.mode == Mode::Check && changed ? 1 : 0;
}

int Tool::run() {
    if (s_.paths.size() == 1 && s_.paths[0] == u"-") return filter();
    // Every path is taken before anything is read: a folder, or a file with one of the six
    // extensions. An undo takes what names a journal, even a path that is gone.
    for (const std::u16string& path : s_.undo ? std::vector<std::u16string>() : s_.paths) {
        const std::string unreadable = folderUnreadableReason(path);
        if (unreadable.empty()) continue;
        std::string why = unreadable;
        if (path.empty()) {
            error(u": empty path");
            return 2;
        }
        try {
            const SourceFile file(path, 0);  // opens without following a link, reads nothing
            if (languageOf(StrOPT::languageKeyOf(path))) continue;
            why = "not a c, cpp, h, asm, dt or inc file";
        } catch (const FileError& e) {
            why = e.reason();
        }
        error(path + u": " + text(why));
        return 2;
    }
    // Originals are kept only by a run that writes.
    std::u16string home;
    if (s_.undo || (s_.mode == Mode::Convert && s_.keepOriginals)) {
        home = defaultJournalHome();
        if (home.empty()) {
            error(u"no state folder to keep the originals in: set XDG_STATE_HOME or HOME, or give --no-undo");
            return 2;
        }
    }

    Dir_File files;
    StrOPT stripper;
    SortedFileList list;
    Batch batch(files, stripper, list, *this, *this, *this);
    batch.setOptions({.write = s_.mode == Mode::Convert,
                      .warnings = s_.warnings,
                      .strict = s_.strict,
                      .trace = s_.mode == Mode::Diff,
                      .rules = s_.rules,
                      .keep = s_.keep,
                      .journals = home,
                      .copyLimit = s_.copyLimit});
    batch.setReport(this);
    batch_ = &batch;
    if (s_.jobs > 0) batch.setWorkers(s_.jobs - 1);
    // An interrupt stops the run at its next yield instead of ending the process mid-file. The
    // hook goes with the batch it names.
    ScopedYieldHook stopOnInterrupt([&batch] {
        if (caughtInterrupt()) batch.requestStop();
    });
    if (s_.undo) return undo(batch, home);

    if (s_.mode == Mode::List) {
        const bool quiet = s_.quiet;
        s_.quiet = true;  // the count line is printed below, with the list
        batch.RefreshPaths(s_.paths, s_.excludes);
        s_.quiet = quiet;
        if (const int signal = caughtInterrupt()) return 128 + signal;
        if (!s_.null && !s_.quiet) out_.writeText(u"共选中:" + number(list.count()) + u"个文件\n");
        for (std::size_t i = 0; i < list.count(); ++i) {
            out_.writeBytes(CodePage::system().encode(list.text(i)) + (s_.null ? '\0' : '\n'));
        }
    } else {
        batch.RefreshPaths(s_.paths, s_.excludes);
        if (!caughtInterrupt() && batch.lastFailure().empty()) batch.ConvertSelected();
        // The file and the reason, under the message that says the run failed.
        if (!batch.lastFailure().empty()) err_.writeText(batch.lastFailure() + u'\n');
        if (!s_.quiet) printSummary();
    }
    if (batch.lastNotKept() > 0) {
        error(number(batch.lastNotKept()) +
              u" of the files replaced are on another file system and were not "
              u"kept: copying their originals would pass --undo-limit; they cannot be undone");
    }
    out_.flush();

    if (const int signal = caughtInterrupt()) return 128 + signal;
    if (!batch.lastFailure().empty()) return 1;
    if (out_.failed()) {
        error(u"standard output: " + text(out_.errorText()) + u": the output is incomplete");
        return 3;
    }
    return s_.mode == Mode::Check && converted_ > 0 ? 1 : 0;
}

int printUsageError(CommandOutput& err, const std::u16string& why) {
    err.writeText(u"tavirel-batch: " + why + u"\nTry 'tavirel-batch --help'.\n");
    return 2;
}

// Sets the switches from a comma-separated list; false on an unknown extension.
bool chooseExtensions(const std::u16string& list, Settings& s, std::u16string& bad) {
    std::fill(std::begin(s.on), std::end(s.on), false);
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(u',', start);
        const std::u16string word = list.substr(start, comma == std::u16string::npos ? comma : comma - start);
        const std::u16string lower = toLower(word);
        bool known = false;
        for (int i = 0; i < 6; ++i) {
            if (lower == kLanguageKeys[static_cast<std::size_t>(i)].key) s.on[i] = known = true;
        }
        if (!known) {
            bad = word;
            return false;
        }
        if (comma == std::u16string::npos) return true;
        start = comma + 1;
    }
}

// A number of bytes, with K, M or G for 1024, 1024² or 1024³ of them.
std::optional<std::uint64_t> parseSize(const std::u16string& value) {
    std::uint64_t n = 0;
    std::size_t k = 0;
    for (; k < value.size() && value[k] >= u'0' && value[k] <= u'9'; ++k) {
        if (n > (UINT64_MAX - 9) / 10) return std::nullopt;
        n = n * 10 + (value[k] - u'0');
    }
    if (k == 0) return std::nullopt;
    int shift = 0;
    if (k + 1 == value.size()) {
        switch (value[k]) {
            case u'K':
            case u'k': shift = 10; break;
            case u'M':
            case u'm': shift = 20; break;
            case u'G':
            case u'g': shift = 30; break;
            default: return std::nullopt;
        }
    } else if (k != value.size()) {
        return std::nullopt;
    }
    if (shift && n > (UINT64_MAX >> shift)) return std::nullopt;
    return n << shift;
}

bool startsWith(const std::u16string& s, std::u16string_view prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Parses the arguments into `s`; a negative result means go on, any other is the exit status.
int parse(const std::vector<std::u16string>& args, Settings& s, CommandOutput& out, CommandOutput& err,
          std::string_view version) {
    auto usageError = [&err](const std::u16string& why) { return printUsageError(err, why); };
    std::vector<std::u16string> paths;
    std::vector<std::u16string> patterns;
    bool optionsEnded = false;
    auto setMode = [&](Mode mode, const std::u16string& name) {
        if (s.modeGiven && s.mode != mode) {
            return usageError(name + u" cannot go with another of -n, --diff, --check, --list");
        }
        s.mode = mode;
        s.modeGiven = true;
        return -1;
    };
    // The value of an option given as NAME=VALUE, or else as the next argument; false when there
    // is none.
    auto valueOf = [&args](const std::u16string& flag, std::u16string_view name, std::size_t& i,
                           std::u16string& value) {
        if (flag.size() > name.size() && flag.compare(0, name.size(), name) == 0 &&
            flag[name.size()] == u'=') {
            value = flag.substr(name.size() + 1);
            return true;
        }
        if (++i == args.size()) return false;
        value = args[i];
        return true;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::u16string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != u'-') {
            paths.push_back(arg);
            continue;
        }
        // Bundled short options: -nq is -n -q.
        std::vector<std::u16string> flags;
        if (startsWith(arg, u"-j") && arg.size() > 2) {
            flags.push_back(u"--jobs=" + arg.substr(2));  // -j4
        } else if (arg[1] != u'-') {
            for (std::size_t k = 1; k < arg.size(); ++k) flags.push_back(std::u16string(u"-") + arg[k]);
        } else {
            flags.push_back(arg);
        }
        for (const std::u16string& flag : flags) {
            int result = -1;
            if (flag == u"--") {
                optionsEnded = true;
            } else if (flag == u"--help" || flag == u"-h") {
                out.writeText(kUsage);
                return 0;
            } else if (flag == u"--version") {
                out.writeText(u"tavirel-batch " + text(version) + u'\n');
                return 0;
            } else if (flag == u"-n" || flag == u"--dry-run") {
                result = setMode(Mode::DryRun, flag);
            } else if (flag == u"--diff") {
                result = setMode(Mode::Diff, flag);
            } else if (flag == u"--check") {
                result = setMode(Mode::Check, flag);
            } else if (flag == u"--list") {
                result = setMode(Mode::List, flag);
            } else if (flag == u"--exclude" || startsWith(flag, u"--exclude=")) {
                std::u16string value;
                if (!valueOf(flag, u"--exclude", i, value) || value.empty())
                    return usageError(u"--exclude needs a pattern");
                s.excludes.push_back(value);
            } else if (flag == u"--assume-filename" || startsWith(flag, u"--assume-filename=")) {
                if (!valueOf(flag, u"--assume-filename", i, s.assumeFilename) || s.assumeFilename.empty())
                    return usageError(u"--assume-filename needs a file name");
                if (!languageOf(StrOPT::languageKeyOf(s.assumeFilename)))
                    return usageError(u"--assume-filename: '" + s.assumeFilename +
                                      u"' has none of the extensions c, cpp, h, asm, dt, inc");
            } else if (flag == u"--lang" || startsWith(flag, u"--lang=")) {
                std::u16string value;
                if (!valueOf(flag, u"--lang", i, value)) return usageError(u"--lang needs a language key");
                s.lang = toLower(value);
                if (!languageOf(s.lang)) return usageError(u"unknown language key '" + value + u"'");
            } else if (flag == u"--undo") {
                s.undo = true;
            } else if (flag == u"--no-undo") {
                s.keepOriginals = false;
            } else if (flag == u"--undo-limit" || startsWith(flag, u"--undo-limit=")) {
                std::u16string value;
                if (!valueOf(flag, u"--undo-limit", i, value))
                    return usageError(u"--undo-limit needs a size");
                const std::optional<std::uint64_t> size = parseSize(value);
                if (!size) return usageError(u"bad size '" + value + u"'");
                s.copyLimit = *size;
            } else if (flag == u"--strict") {
                s.strict = true;
            } else if (flag == u"--syntax") {
                s.rules = RuleSet::Syntax;
            } else if (flag == u"--keep-license") {
                s.keep.license = true;
                if (s.keepGiven.empty()) s.keepGiven = flag;
            } else if (flag == u"--keep" || startsWith(flag, u"--keep=")) {
                std::u16string value;
                if (!valueOf(flag, u"--keep", i, value))
                    return usageError(u"--keep needs a regular expression");
                // Given more than once: any of them.
                patterns.push_back(u"(" + value + u")");
                try {
                    keepPattern(value);
                } catch (const std::exception&) {
                    return usageError(u"bad regular expression '" + value + u"'");
                }
                if (s.keepGiven.empty()) s.keepGiven = u"--keep";
            } else if (flag == u"-w" || flag == u"--no-warnings") {
                s.warnings = false;
            } else if (flag == u"-q" || flag == u"--quiet") {
                s.quiet = true;
            } else if (flag == u"-0" || flag == u"--null") {
                s.null = true;
            } else if (flag == u"-j" || flag == u"--jobs" || startsWith(flag, u"--jobs=")) {
                std::u16string value;
                if (!valueOf(flag, u"--jobs", i, value))
                    return usageError(flag + u" needs a number of threads");
                std::size_t n = 0;
                bool digits = !value.empty() && value.size() <= 3;
                for (char16_t c : value) {
                    digits = digits && c >= u'0' && c <= u'9';
                    n = n * 10 + static_cast<std::size_t>(c - u'0');
                }
                if (!digits || n < 1 || n > 256) return usageError(u"bad number of threads '" + value + u"'");
                s.jobs = n;
            } else if (flag == u"--only" || startsWith(flag, u"--only=")) {
                std::u16string value;
                if (!valueOf(flag, u"--only", i, value))
                    return usageError(u"--only needs a list of extensions");
                std::u16string bad;
                if (!chooseExtensions(value, s, bad)) return usageError(u"unknown extension '" + bad + u"'");
            } else {
                return usageError(u"unknown option " + flag);
            }
            if (result >= 0) return result;
        }
    }
    if (s.undo && s.mode != Mode::Convert && s.mode != Mode::DryRun)
        return usageError(u"--undo goes with -n alone of -n, --diff, --check, --list");
    if (s.null && s.mode != Mode::List && s.mode != Mode::Check)
        return usageError(u"-0 goes with --list or --check");
    if (s.strict && !s.warnings) return usageError(u"--strict needs the warnings: it cannot go with -w");
    // The classic rules cut at markers and then remove blocks: a comment kept from the first pass
    // could still be cut by the second, so keeping is for the syntax rules.
    if (!s.keepGiven.empty() && s.rules != RuleSet::Syntax)
        return usageError(s.keepGiven + u" goes with --syntax");
    if (!patterns.empty()) {
        std::u16string any;
        for (const std::u16string& p : patterns) any += (any.empty() ? u"" : u"|") + p;
        s.keep.pattern = keepPattern(any);
    }
    if (paths.empty()) return usageError(u"no path given");
    for (std::u16string& path : paths) {
        // A folder given with a separator at its end is the same folder.
        while (path.size() > 1 && path.back() == kPathSeparator && !(path.size() == 3 && path[1] == u':'))
            path.pop_back();
    }
    const bool filtering = std::find(paths.begin(), paths.end(), u"-") != paths.end();
    if (filtering) {
        if (paths.size() != 1) return usageError(u"- is standard input: it goes alone");
        if (s.undo || s.mode == Mode::List || s.mode == Mode::DryRun)
            return usageError(u"- goes with neither -n, --list nor --undo");
        if (s.assumeFilename.empty() && s.lang.empty())
            return usageError(
                u"- needs --lang or --assume-filename: the text has no name to tell its language");
        if (!s.assumeFilename.empty() && !s.lang.empty())
            return usageError(u"--lang cannot go with --assume-filename");
    } else if (!s.assumeFilename.empty() || !s.lang.empty()) {
        return usageError((s.lang.empty() ? u"--assume-filename" : u"--lang") +
                          std::u16string(u" goes with - alone"));
    }
    s.paths = std::move(paths);
    return -1;
}

}  // namespace

int runBatchCommand(const std::vector<std::u16string>& args, CommandOutput& out, CommandOutput& err,
                    std::string_view version, CommandInput* in) {
    Settings settings;
    const int parsed = parse(args, settings, out, err, version);
    if (parsed >= 0) return parsed;
    return Tool(std::move(settings), in, out, err).run();
}

}  // namespace tavirel
