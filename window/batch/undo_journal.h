// SPDX-License-Identifier: MIT
// The way back after a run: the files a run replaced, kept as they were in a journal of the
// converted folder under the user's state folder, and put back on request.
//
// A journal is a manifest that names the converted folder and, by number, the path of each file
// the run was to replace, written ahead; and the kept files, each named by its number and the
// hash and size of what the run wrote in its place. The name is taken in the same step as the
// replacement, so a run stopped at any moment leaves a journal of exactly the files replaced so
// far. A new file made in the journal ahead of its commit has the identity of the file it is to
// replace in its name too: until the exchange its name holds another file. Only the last run
// over a folder is kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "batch_interfaces.h"
#include "text_file.h"

namespace tavirel {

/// A hash of content, to tell later whether a file still holds what a run wrote.
std::uint64_t contentHash(std::string_view bytes);

/// Where the journals go by default: "tavirel" in the user's state folder ("Tavirel" on
/// Windows); the empty text when the system names none.
std::u16string defaultJournalHome();

/// What copying the originals of another volume may take per run, unless the user says.
constexpr std::uint64_t kDefaultCopyLimit = std::uint64_t{1} << 30;

/// One run's journal, made when its first file is replaced.
class UndoJournal {
public:
    /// A journal in `home` for a run over `folder`, whose files are the marked entries of `list`,
    /// copying at most `copyLimit` bytes.
    UndoJournal(std::u16string home, const std::u16string& folder, std::uint64_t copyLimit,
                const FileList& list);
    /// The run is over: the earlier journals are removed from now on, on a thread of the least
    /// priority (see finishForgetting()).
    ~UndoJournal();
    UndoJournal(const UndoJournal&) = delete;
    UndoJournal& operator=(const UndoJournal&) = delete;

    /// Replaces `path`, list entry `entry`, by `replacement`, whose new content has `size` bytes
    /// and hash `hash`, keeping the original (whose identity is `identity`), once its record is
    /// written. The first call forgets every earlier journal of this folder, of a folder inside
    /// it and of one around it. Throws FileError, with nothing replaced.
    void commit(Replacement& replacement, std::size_t entry, const std::u16string& path, std::uint64_t hash,
                std::uint64_t size, std::uint64_t identity);

    /// Where the new files of later entries may be made, once the first commit made the journal;
    /// stays while this lives.
    const KeepFolder* keepFolder() const { return kept_ ? &*kept_ : nullptr; }
    /// The name under which to make, in keepFolder(), the new file of list entry `entry`, of
    /// `size` bytes and hash `hash`, for the original of identity `identity`.
    static std::u16string nameAhead(std::size_t entry, std::uint64_t hash, std::uint64_t size,
                                    std::uint64_t identity);

    /// How many files were replaced without their originals kept: copies past the limit.
    std::size_t notKept() const { return notKept_; }

private:
    std::u16string home_;
    std::u16string folder_;  // as the list's paths begin
    std::uint64_t budget_;
    std::optional<KeepFolder> kept_;
    const FileList& list_;
    static constexpr std::size_t kRecordsAhead = 256;
    std::unordered_map<std::size_t, std::u16string> recorded_;  // by list entry, until replaced
    std::size_t recordedUpTo_ = 0;
    std::size_t fresh_ = 0;
    std::size_t notKept_ = 0;
};

/// The program ends: the earlier journals not yet removed (which a thread of the least priority
/// removes meanwhile) are removed by a process of their own, where the system has one, or else
/// by the next run.
void finishForgetting();

/// Told of each file an undo reaches.
class UndoReport {
public:
    virtual ~UndoReport() = default;
    /// `path` was put back (in a dry run: would be).
    virtual void restored(const std::u16string& path) = 0;
    enum class Left {
        Changed,     // changed since the run; `detail` names where its original is kept
        NotKept,     // its original was not kept (past the copy limit)
        Unreadable,  // deleted, replaced or unreadable: `detail` is the system's reason
    };
    /// `path` is left as it is.
    virtual void leftAlone(const std::u16string& path, Left why, const std::u16string& detail) = 0;
};

struct UndoOutcome {
    bool found = false;  // a journal of the folder, or of one inside it, was there
    std::size_t restored = 0;
    std::size_t left = 0;  // named to the report; their originals stay in the journal
};

/// Puts back the files the last run over `folder` (or a folder inside it) replaced, each one
/// whose content is still what the run wrote; leaves and names every other; counts both in
/// `outcome`. A dry run changes nothing. It yields once per file, between two files: an undo
/// stopped there, or killed anywhere, may be run again to finish. After an undo that left
/// nothing, the journal is gone. Throws FileError when the journal itself cannot be read.
void undoLastRun(const std::u16string& home, const std::u16string& folder, bool dryRun, UndoReport& report,
                 UndoOutcome& outcome);

/// Whether a journal of the last run over `folder` (or a folder inside it) is there to undo:
/// quick, it reads no file of the folder.
bool undoAvailable(const std::u16string& home, const std::u16string& folder);

}  // namespace tavirel
