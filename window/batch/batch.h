// SPDX-License-Identifier: MIT
// The batch behind the window's buttons, free of any toolkit: refresh the list for a folder and
// the switched-on extensions, mark all or none, convert the marked files in place.
//
// Every loop hands control to the event loop once per pass, so a window stays live and the user
// may start another run inside one. requestStop() ends every run at its next yield: nothing after
// that touches a file or an engine object, and the file being written is either untouched or
// whole, because writes replace files atomically and never yield.
//
// A conversion on more than one core reads, converts and prepares the files ahead on worker
// threads, while the main thread puts them in place in list order: the status lines, the
// failure rule and the stops stay exactly those of one thread. Only the main thread touches the
// list and the status line, and only it yields.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch_interfaces.h"
#include "conversion.h"
#include "dir_file.h"
#include "strop.h"
#include "text_file.h"
#include "undo_journal.h"
#include "warnings.h"

namespace tavirel {

/// How ConvertSelected treats the marked files. The window converts with the defaults.
struct ConvertOptions {
    bool write = true;     // false: a dry run, everything but the writing
    bool warnings = true;  // look for the places where the rules remove more than a comment
    bool strict = false;   // pass over a file with a warning, leaving it untouched
    bool trace = false;    // give each file's report the trace of its conversion, for a diff
    RuleSet rules = RuleSet::Classic;
    KeptComments keep = {};  // with the syntax rules: the comments that stay
    /// Where a run that writes keeps the originals of the files it replaces, for an undo
    /// (undo_journal.h); the empty text keeps none.
    std::u16string journals;
    std::uint64_t copyLimit = kDefaultCopyLimit;  // what copying originals may take per run
};

/// What became of one marked file, told in list order as the run reaches it.
struct FileReport {
    enum class Fate {
        Converted,        // written, or in a dry run: would be
        Unchanged,        // its bytes would not change: not written
        Empty,            // passed over: no characters
        TooLarge,         // passed over: a text over 65536 code units
        UnknownLanguage,  // passed over: no language key of the six
        Strict,           // passed over: a warning, and the run is strict
    };
    Fate fate;
    const std::u16string& path;
    Language language;                     // the file's, unless passed over for its name
    std::string_view oldBytes;             // the file as read (empty when too large to read)
    const SourceConversion& conversion;    // the new bytes when Converted
    const std::vector<Warning>& warnings;  // empty unless the run looks for them
};

/// Told of every marked file a conversion reaches, after it is written.
class RunReport {
public:
    virtual ~RunReport() = default;
    virtual void fileDone(const FileReport& report) = 0;
};

class Batch {
public:
    Batch(Dir_File& files, StrOPT& stripper, FileList& list, StatusLine& status, ExtensionSwitches& switches,
          MessageBox& messages);

    /// Empties the list; unless `folder` is the empty text, searches it for every switched-on
    /// extension and marks everything found.
    void RefreshList(const std::u16string& folder);
    /// Empties the list and lists every path of `roots`: a folder searched as RefreshList()
    /// searches one, a file as it is; each file once, and none whose path inside its root
    /// `excludes` matches (path_glob.h). Each root keeps the journal of its own files.
    void RefreshPaths(const std::vector<std::u16string>& roots,
                      const std::vector<std::u16string>& excludes = {});
    /// Marks every entry and shows the count.
    void SelectAll();
    /// Clears every mark and shows a count of 0.
    void SelectNone();
    /// Loads, strips and writes back every marked file, showing each name; shows the one message
    /// on the first failure and stops there. A file whose bytes would not change is not written.
    void ConvertSelected();

    /// What the status line adds after "共选中:N个文件" when the syntax rules are chosen.
    static constexpr char16_t kSyntaxNote[] = u"（按语法删除注释）";

    /// Puts back what the last run over `folder` replaced (undo_journal.h), as a run: a window
    /// stays live and refuses other runs meanwhile, and a stop ends it between two files.
    /// Throws FileError when the journal cannot be read.
    UndoOutcome UndoLastRun(const std::u16string& journals, const std::u16string& folder, bool dryRun,
                            UndoReport& report);

    void setOptions(const ConvertOptions& options) { options_ = options; }
    /// The count of marked files in the status line, with the rules chosen.
    void showCount();
    /// How many threads prepare files ahead of the one being written; by default one fewer than
    /// the cores, and none on one core, where the run works alone as it always has.
    void setWorkers(std::size_t workers) { workers_ = workers; }
    const ConvertOptions& options() const { return options_; }
    /// Gives the reasons of failures in Chinese, as the windows show them; the command line
    /// keeps the system's English.
    void setReasonsInChinese(bool on) { reasonsInChinese_ = on; }
    /// Where each replacement meets the system (text_file.h); the system's own calls when null.
    void setReplaceSeam(ReplaceSeam* seam) { seam_ = seam; }
    /// Tells `report` (or no one) of each file a conversion reaches.
    void setReport(RunReport* report) { report_ = report; }

    /// Ends every run at its next yield; the batch starts no new run afterwards.
    void requestStop() { stopRequested_ = true; }
    /// How many runs are under way, nested ones counted. Engines may be released only at 0.
    int runDepth() const { return depth_; }
    /// Called when the first run starts (true) and when the last one ends (false).
    std::function<void(bool busy)> onBusyChanged;

    /// The message every failure shows.
    static constexpr char16_t kFailureMessage[] = u"转换出错，转换过程中请不要操作文件！";

    /// The file and the reason of the failure of the last run, empty when it had none; the
    /// message box gets it as its details.
    const std::u16string& lastFailure() const { return lastFailure_; }
    /// How many files the last run replaced without keeping their originals: copies of another
    /// volume's files past the limit.
    std::size_t lastNotKept() const { return lastNotKept_; }
    /// The folder the list was last refreshed for, whose journal a run writes; the first root.
    std::u16string folder() const { return roots_.empty() ? std::u16string() : roots_.front(); }
    /// The root that `path`, an entry of the list, was found under.
    const std::u16string& rootOf(const std::u16string& path) const;

private:
    struct Prepared;
    struct KeepAhead;

    template <typename Procedure>
    void run(Procedure procedure);
    void selectAll();
    Prepared prepare(StrOPT& stripper, NewFileDefaults& defaults, std::u16string path, std::size_t entry,
                     const KeepAhead& ahead) const;
    void commit(Prepared& file, std::size_t entry, std::vector<std::optional<UndoJournal>>& journals,
                KeepAhead& ahead);
    void report(const Prepared& file);
    void SaveText(Prepared& file);

    Dir_File& files_;
    StrOPT& stripper_;
    FileList& list_;
    StatusLine& status_;
    ExtensionSwitches& switches_;
    MessageBox& messages_;
    ConvertOptions options_;
    std::size_t workers_;
    RunReport* report_ = nullptr;
    ReplaceSeam* seam_ = nullptr;
    unsigned runsStarted_ = 0;
    bool stopRequested_ = false;
    bool reasonsInChinese_ = false;
    int depth_ = 0;
    std::u16string lastFailure_;
    std::size_t lastNotKept_ = 0;
    std::vector<std::u16string> roots_;
};

}  // namespace tavirel
