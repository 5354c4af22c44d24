// SPDX-License-Identifier: MIT
#include "batch.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <optional>
#include <thread>
#include <unordered_set>

#include "batch_pipeline.h"
#include "code_page.h"
#include "conversion.h"
#include "errors.h"
#include "event_yield.h"
#include "failure_reasons.h"
#include "folder_enum.h"
#include "path_glob.h"

namespace tavirel {
namespace {

// Thrown from a yield once a stop is requested. Deliberately not a std::exception, so that no
// handler on the way (the search skips every std::exception) can swallow it.
struct RunStopped {};

std::u16string countText(std::size_t n, RuleSet rules) {
    const std::string digits = std::to_string(n);
    // The classic rules are the default, unnamed; the others are named after the count.
    return u"共选中:" + std::u16string(digits.begin(), digits.end()) + u"个文件" +
           (rules == RuleSet::Syntax ? Batch::kSyntaxNote : u"");
}

std::u16string reasonOf(const std::exception& e, bool inChinese) {
    const auto* fileError = dynamic_cast<const FileError*>(&e);
    const std::string reason = fileError ? fileError->reason() : e.what();
    return inChinese ? reasonInChinese(reason) : CodePage::system().decode(reason);
}

}  // namespace

Batch::Batch(Dir_File& files, StrOPT& stripper, FileList& list, StatusLine& status,
             ExtensionSwitches& switches, MessageBox& messages)
    : files_(files),
      stripper_(stripper),
      list_(list),
      status_(status),
      switches_(switches),
      messages_(messages),
      workers_(std::max(std::thread::hardware_concurrency(), 1u) - 1) {}

template <typename Procedure>
void Batch::run(Procedure procedure) {
    if (stopRequested_) return;
    // Each run checks for a stop after every yield, its engines' yields included; a nested run
    // puts its own check in front and takes it away when it ends.
    ScopedYieldHook stopCheck([this, outer = detail::yieldFn, context = detail::yieldContext] {
        if (outer) outer(context);
        if (stopRequested_) throw RunStopped{};
    });
    // The depth comes back down however the run ends, or the window could never close again.
    struct Depth {
        Batch& batch;
        explicit Depth(Batch& b) : batch(b) {
            if (batch.depth_++ == 0 && batch.onBusyChanged) batch.onBusyChanged(true);
        }
        ~Depth() {
            if (--batch.depth_ == 0 && batch.onBusyChanged) batch.onBusyChanged(false);
        }
    } depth(*this);
    ++runsStarted_;
    lastFailure_.clear();
    try {
        procedure();
    } catch (const RunStopped&) {
        // Unwound to here: nothing more of this run happens.
    } catch (const std::exception& e) {
        // A failure the procedure does not handle itself (the list or the status line failing,
        // memory running out) ends the run like any other.
        lastFailure_ = reasonOf(e, reasonsInChinese_);
        messages_.showMessage(kFailureMessage, lastFailure_);
    }
}

void Batch::RefreshList(const std::u16string& folder) {
    run([&] {
        list_.clear();
        roots_.clear();
        if (folder.empty()) return;
        roots_.push_back(folder);
        // One search per extension, each over the same folders: read each folder once. Switch i
        // stands for the i-th language key.
        RememberedFolders remembered(files_);
        for (int i = 0; i < 6; ++i) {
            if (switches_.isOn(i)) files_.SearchFiles(folder, std::u16string(kLanguageKeys[i].key), list_);
        }
        selectAll();
    });
}

namespace {

// What the search finds under the roots, each file once and none that is excluded.
class RootEntries : public ItemList {
public:
    // One root's search finds each file once: only several can find one twice.
    RootEntries(FileList& list, const std::vector<std::u16string>& excludes, bool several)
        : list_(list), excludes_(excludes), several_(several) {}
    void setRoot(const std::u16string& root) { root_ = root; }
    void AddItem(const std::u16string& path) override {
        if (!root_.empty() && excluded(path)) return;
        if (!several_ || seen_.insert(path).second) list_.AddItem(path);
    }

private:
    bool excluded(const std::u16string& path) const {
        const std::size_t skip = root_.back() == kPathSeparator ? root_.size() : root_.size() + 1;
        const std::u16string_view inside = std::u16string_view(path).substr(std::min(skip, path.size()));
        for (const std::u16string& pattern : excludes_) {
            if (pathMatches(pattern, inside)) return true;
        }
        return false;
    }

    FileList& list_;
    const std::vector<std::u16string>& excludes_;
    const bool several_;
    std::u16string root_;
    std::unordered_set<std::u16string> seen_;
};

}  // namespace

void Batch::RefreshPaths(const std::vector<std::u16string>& roots,
                         const std::vector<std::u16string>& excludes) {
    run([&] {
        // A folder read is let go before the next one is opened: many in one call.
        CloseTogether closing;
        list_.clear();
        roots_ = roots;
        RootEntries entries(list_, excludes, roots.size() > 1);
        // The list is read only once all are in: one walk for all the extensions switched on, which
        // lists what a search per extension would, in the same order.
        std::vector<std::u16string> keys;
        for (int i = 0; i < 6; ++i) {
            if (switches_.isOn(i)) keys.emplace_back(kLanguageKeys[i].key);
        }
        for (const std::u16string& root : roots) {
            if (!folderUnreadableReason(root).empty()) {
                // A file named as it is: the caller has checked its name.
                entries.setRoot(u"");
                entries.AddItem(root);
                continue;
            }
            entries.setRoot(root);
            if (!keys.empty()) files_.SearchFilesEach(root, keys, entries);
        }
        selectAll();
    });
}

namespace {

// Which of `roots` `path` was found under; roots.size() for none.
std::size_t rootIndex(const std::vector<std::u16string>& roots, const std::u16string& path) {
    for (std::size_t i = 0; i < roots.size(); ++i) {
        const std::u16string& root = roots[i];
        if (path == root) return i;
        const std::size_t skip =
            !root.empty() && root.back() == kPathSeparator ? root.size() : root.size() + 1;
        if (path.size() > skip && path.compare(0, root.size(), root) == 0 &&
            (skip == root.size() || path[root.size()] == kPathSeparator))
            return i;
    }
    return roots.size();
}

}  // namespace

const std::u16string& Batch::rootOf(const std::u16string& path) const {
    const std::size_t r = rootIndex(roots_, path);
    static const std::u16string none;
    return r < roots_.size() ? roots_[r] : none;
}

void Batch::SelectAll() {
    run([&] { selectAll(); });
}

void Batch::selectAll() {
    const std::size_t count = list_.count();
    std::size_t marked = 0;
    for (std::size_t i = 0; i < count; ++i) {
        yieldToEventLoop();
        if (i >= list_.count()) break;  // the list shrank during the yield
        list_.setMarked(i, true);
        ++marked;
    }
    status_.setText(countText(marked, options_.rules));
}

void Batch::showCount() {
    std::size_t marked = 0;
    for (std::size_t i = 0; i < list_.count(); ++i) marked += list_.isMarked(i);
    status_.setText(countText(marked, options_.rules));
}

void Batch::SelectNone() {
    run([&] {
        const std::size_t count = list_.count();
        for (std::size_t i = 0; i < count; ++i) {
            yieldToEventLoop();
            if (i >= list_.count()) break;
            list_.setMarked(i, false);
        }
        status_.setText(countText(0, options_.rules));
    });
}

// One marked file, read, converted and (in a run that writes) ready to be put in place.
struct Batch::Prepared {
    std::u16string path;
    std::optional<SourceFile> file;
    SourceConversion conversion;
    std::vector<Warning> warnings;
    FileReport::Fate fate = FileReport::Fate::Unchanged;
    Language language = Language::CFamily;
    std::optional<Replacement> replacement;
    std::uint64_t hash = 0;      // of the new bytes, for the journal
    std::uint64_t identity = 0;  // of the original, for the journal
    bool yielded = false;        // at its turn, before the look that found it current
};

// Each root's journal folder, once its first file is replaced: the new files of the entries
// after are made there from the start, where the commit's exchange then names them.
struct Batch::KeepAhead {
    explicit KeepAhead(const std::vector<std::u16string>& r) : roots(r), folders(r.size()) {}
    // The run's own: a run inside it may refresh the list's roots while workers read these.
    const std::vector<std::u16string> roots;
    std::vector<std::atomic<const KeepFolder*>> folders;
};

Batch::Prepared Batch::prepare(StrOPT& stripper, NewFileDefaults& defaults, std::u16string path,
                               std::size_t entry, const KeepAhead& ahead) const {
    using Outcome = SourceConversion::Outcome;
    using Fate = FileReport::Fate;
    Prepared p;
    p.path = std::move(path);
    // The syntax rules have no size limit: a file of any size is read.
    p.file.emplace(p.path, options_.rules == RuleSet::Syntax ? SIZE_MAX : StrOPT::kReadLimitBytes, defaults);
    // Where the warnings are wanted, their look gives the conversion too, in one pass.
    const bool warned = options_.warnings || options_.strict;
    p.conversion = convertSource(stripper, *p.file,
                                 {.rules = options_.rules,
                                  .cleanStrip = warned ? stripIfClean : nullptr,
                                  .keep = options_.keep,
                                  .trace = options_.trace});
    switch (p.conversion.outcome) {
        case Outcome::Empty: p.fate = Fate::Empty; break;
        case Outcome::TooLarge: p.fate = Fate::TooLarge; break;
        case Outcome::UnknownLanguage: p.fate = Fate::UnknownLanguage; break;
        case Outcome::Unchanged: p.fate = Fate::Unchanged; break;
        case Outcome::Changed: p.fate = Fate::Converted; break;
    }
    if (p.fate != Fate::Unchanged && p.fate != Fate::Converted) {
        p.file->close();
        return p;
    }
    p.language = *p.conversion.language;
    if (warned) {
        p.warnings = findWarnings(p.conversion, p.file->bytes(), p.language);
    }
    if (options_.strict && !p.warnings.empty()) {
        p.fate = Fate::Strict;
    } else if (p.fate == Fate::Converted && options_.write) {
        // The replacement keeps the file open until after the rename: the old inode is then
        // freed by whoever lets the file go, not by the rename on the main thread.
        WriteOptions write;
        write.seam = seam_;
        if (!options_.journals.empty()) {
            p.hash = contentHash(p.conversion.bytes);
            p.identity = p.file->identity();
            if (const std::size_t r = rootIndex(ahead.roots, p.path); r < ahead.roots.size()) {
                write.keepIn = ahead.folders[r].load(std::memory_order_acquire);
                if (write.keepIn)
                    write.keptAs =
                        UndoJournal::nameAhead(entry, p.hash, p.conversion.bytes.size(), p.identity);
            }
        }
        p.replacement.emplace(*p.file, p.conversion.bytes, defaults, write);
        return p;
    }
    p.file->close();
    return p;
}

void Batch::commit(Prepared& file, std::size_t entry, std::vector<std::optional<UndoJournal>>& journals,
                   KeepAhead& ahead) {
    // Bytes that would not change are not written: the file keeps its inode and times.
    if (!file.replacement) return;
    if (journals.empty()) return SaveText(file);
    const std::size_t r = rootIndex(roots_, file.path);
    // Listed by a run inside this one, over other roots: its original would have no journal.
    if (r >= journals.size()) throw FileError(file.path, "not under a path this run was given");
    std::optional<UndoJournal>& journal = journals[r];
    if (!journal) journal.emplace(options_.journals, roots_[r], options_.copyLimit, list_);
    const std::size_t before = journal->notKept();
    journal->commit(*file.replacement, entry, file.path, file.hash, file.conversion.bytes.size(),
                    file.identity);
    lastNotKept_ += journal->notKept() - before;
    if (r < ahead.roots.size() && !ahead.folders[r].load(std::memory_order_relaxed) &&
        ahead.roots[r] == roots_[r])
        ahead.folders[r].store(journal->keepFolder(), std::memory_order_release);
}

void Batch::report(const Prepared& file) {
    if (report_) {
        const std::string_view bytes = file.file ? std::string_view(file.file->bytes()) : std::string_view();
        report_->fileDone({file.fate, file.path, file.language, bytes, file.conversion, file.warnings});
    }
}

void Batch::ConvertSelected() {
    run([&] {
        std::u16string name;
        NewFileDefaults defaults;
        lastNotKept_ = 0;
        // One per root, each made, and the earlier run's forgotten, only when its first file is
        // replaced.
        std::vector<std::optional<UndoJournal>> journal(
            options_.write && !options_.journals.empty() ? roots_.size() : 0);
        // Outlived by the journals, whose folders it names; outlives the workers, which read it.
        KeepAhead ahead(roots_);
        try {
            const std::size_t count = list_.count();
            std::optional<PreparePipeline<Prepared>> pipeline;
            if (workers_ > 0) {
                pipeline.emplace(
                    list_, workers_, count, stripper_,
                    [this, &ahead](StrOPT& stripper, NewFileDefaults& defaults, const std::u16string& path,
                                   std::size_t entry) {
                        return prepare(stripper, defaults, path, entry, ahead);
                    },
                    // Read ahead, a file may have changed before its turn: it is then read again.
                    [this](Prepared& file) {
                        // The engine's yields ran on a worker: one here keeps a stop that comes
                        // while this file is shown from writing it, as on one thread. It comes
                        // before the look, which then stands for the commit's own.
                        const unsigned runs = runsStarted_;
                        yieldToEventLoop();
                        file.yielded = true;
                        // A run inside that yield came while this file was being converted, as
                        // on one thread: the commit looks for itself, and fails if it changed.
                        if (runs != runsStarted_) return true;
                        return file.replacement ? file.replacement->originalUnchanged(true)
                                                : file.file->unchangedSinceRead();
                    });
            }
            unsigned runs = runsStarted_;
            for (std::size_t i = 0; i < count; ++i) {
                yieldToEventLoop();
                if (pipeline && runs != runsStarted_) {
                    pipeline->restart(i);
                    runs = runsStarted_;
                }
                name.clear();
                if (!list_.isMarked(i)) continue;
                name = list_.text(i);
                status_.setText(u"正在删除注释：" + name);
                if (pipeline) {
                    pipeline->topUp(i);
                    Prepared file = pipeline->take(i, name);
                    // Prepared here, with its engine's yields held: the stop is looked for now.
                    if (!file.yielded) yieldToEventLoop();
                    commit(file, i, journal, ahead);
                    report(file);
                    pipeline->retire(std::move(file));
                } else {
                    Prepared file = prepare(stripper_, defaults, name, i, ahead);
                    commit(file, i, journal, ahead);
                    report(file);
                }
            }
            status_.setText(u"转换完毕！");
        } catch (const std::exception& e) {
            const std::u16string reason = reasonOf(e, reasonsInChinese_);
            lastFailure_ = name.empty() ? reason : name + u": " + reason;
            messages_.showMessage(kFailureMessage, lastFailure_);
        }
    });
}

UndoOutcome Batch::UndoLastRun(const std::u16string& journals, const std::u16string& folder, bool dryRun,
                               UndoReport& report) {
    UndoOutcome outcome;
    std::optional<FileError> failed;
    run([&] {
        try {
            undoLastRun(journals, folder, dryRun, report, outcome);
        } catch (const FileError& e) {
            failed = e;  // the caller says it in its own words
        }
    });
    if (failed) throw *failed;
    return outcome;
}

void Batch::SaveText(Prepared& file) {
    file.replacement->commit();
}

}  // namespace tavirel
