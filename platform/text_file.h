// SPDX-License-Identifier: MIT
// Source files on disk: read whole through a handle that never follows a link, and replaced
// atomically by a new file that carries everything the old one had. Paths are texts; the platform
// layer converts them at its boundary.
//
// A conversion reads a SourceFile, prepares a Replacement from it (the new content in a file no
// one can see yet) and commits it (the one visible step). Preparing may run on any thread;
// committing is what the batch does in list order.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavirel {

class KeepFolder;
class NewFileDefaults;

/// A regular file opened for reading without following a link, its bytes read whole. It stays
/// open until destroyed, so that a Replacement takes the metadata of exactly this file.
class SourceFile {
public:
    /// Throws FileError when `path` cannot be opened or read, or is not a regular file (a link,
    /// a folder, a FIFO, a device). A file of more than `byteLimit` bytes is not read: tooLarge().
    explicit SourceFile(std::u16string path, std::size_t byteLimit = SIZE_MAX);
    /// The same, its name looked up in the folder `defaults` holds open where it is that folder,
    /// as its Replacement's will be, not along the whole path again.
    SourceFile(std::u16string path, std::size_t byteLimit, NewFileDefaults& defaults);
    ~SourceFile();
    SourceFile(SourceFile&&) noexcept;
    SourceFile& operator=(SourceFile&&) noexcept;

    const std::u16string& path() const;
    bool tooLarge() const;
    /// The whole content; empty when tooLarge().
    std::string_view bytes() const;
    /// Lets the file go once its replacement is prepared; the bytes stay.
    void close();
    /// Whether the name still holds this file as it was read: not deleted or swapped for another,
    /// and its content, times, mode, owner and attributes untouched since.
    bool unchangedSinceRead() const;
    /// A number no other file of its volume has while this one exists (its inode); 0 where the
    /// system gives none.
    std::uint64_t identity() const;

private:
    friend class Replacement;
    friend void restoreKept(KeepFolder&, const std::u16string&, const SourceFile&, NewFileDefaults&);
    friend bool isKept(const KeepFolder&, const std::u16string&, const SourceFile&);
    struct Impl;
    std::unique_ptr<Impl> impl_;
    // Checks and reads the file just opened.
    void read(std::size_t byteLimit);
};

/// What a new file gets by default in each folder (its group, an inherited access list), learnt
/// once per folder so that each file costs no more system calls than it must. One per thread,
/// for one run; it forgets when the last of those sharing it is destroyed.
class NewFileDefaults {
public:
    /// With `sameRun`, another thread's defaults for the same run: a folder that either has
    /// learnt, or holds open, costs the other no calls.
    explicit NewFileDefaults(const NewFileDefaults* sameRun = nullptr);
    ~NewFileDefaults();
    NewFileDefaults(const NewFileDefaults&) = delete;
    NewFileDefaults& operator=(const NewFileDefaults&) = delete;

private:
    friend class SourceFile;
    friend class Replacement;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// While one lives on a thread, the files, replacements and folders that thread lets go are
/// closed several at a time, in one call where the system allows it (Linux's io_uring), else
/// each at once. A thread that lets go of many files keeps one; what waits stays open until
/// flush(), so a thread flushes before it waits for more work. One made while another lives
/// on the thread takes over until it ends.
class CloseTogether {
public:
    CloseTogether();
    /// Flushes.
    ~CloseTogether();
    CloseTogether(const CloseTogether&) = delete;
    CloseTogether& operator=(const CloseTogether&) = delete;

    /// Closes what waits, when at least `least` handles do.
    void flush(std::size_t least = 1);
    /// How many handles wait to be closed.
    std::size_t waiting() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// Where a replacement meets the system, for a caller that must stand in for another program
/// or for a volume that behaves otherwise. Every default does what the system does; one is given
/// per replacement, never installed for the whole process.
class ReplaceSeam {
public:
    virtual ~ReplaceSeam() = default;
    /// Inside commit(), once the new file is named and before the old one is checked and replaced.
    virtual void beforeReplace() {}
    /// Windows: the volume's flags, in place of what GetVolumeInformationW says; none for that.
    virtual std::optional<std::uint32_t> volumeFlags() { return std::nullopt; }
    /// Windows: the error ReplaceFileW is to fail with, having done to the files what the failing
    /// system would (`replaced` names the old file); none to call ReplaceFileW itself.
    virtual std::optional<std::uint32_t> replaceFileFailure(const wchar_t* replaced) {
        (void)replaced;
        return std::nullopt;
    }
};

struct WriteOptions {
    /// Flush the new content to the disk before it replaces the old: protects against a power
    /// cut, not just a killed process, at the price of one disk flush per file.
    bool flushToDisk = false;
    /// The system's own calls when null.
    ReplaceSeam* seam = nullptr;
    /// Where the system allows it (the original's volume, an original without extended
    /// attributes, Linux), the new file is made in `keepIn` under the name `keptAs` from the
    /// start, so that commitKeeping() there names nothing: one call fewer. Until the commit that
    /// name holds the new content, or part of it; a Replacement let go removes it.
    const KeepFolder* keepIn = nullptr;
    std::u16string keptAs;
};

/// A folder of the user's own, private to the user, where commits keep the files they replace, each
/// under a name the caller gives, until restoreKept() puts one back or forget() removes them all.
class KeepFolder {
public:
    /// Opens the folder `path`, first creating it and any missing parent (private to this user).
    /// Throws FileError.
    explicit KeepFolder(std::u16string path);
    ~KeepFolder();
    KeepFolder(KeepFolder&&) noexcept;
    KeepFolder& operator=(KeepFolder&&) noexcept;

    const std::u16string& path() const;
    /// Whether a file of this name is in the folder.
    bool holds(const std::u16string& name) const;
    /// Adds `bytes` to the end of the file `name` (created if need be) in one write: a process
    /// killed at any moment leaves whole records behind. Throws FileError.
    void append(const std::u16string& name, std::string_view bytes);
    /// Removes the file `name`; one that is not there is no error.
    void remove(const std::u16string& name);
    /// The identity (SourceFile::identity()) of the file `name`; none when there is no such file.
    std::optional<std::uint64_t> identityOf(const std::u16string& name) const;
    /// Removes the folder `path` and the files in it; a folder that is not there is no error.
    /// False when `stop` became true first, with the folder partly removed. Throws FileError.
    static bool forget(const std::u16string& path, const std::atomic<bool>* stop = nullptr);
    /// Renames the folder `path` in one step to a new name beside it, `path` and ".gone-" and
    /// a number, for forget() to remove later; gives that name, or the empty text when `path`
    /// is not there. Throws FileError.
    static std::u16string setAside(const std::u16string& path);

private:
    friend class Replacement;
    friend void restoreKept(KeepFolder&, const std::u16string&, const SourceFile&, NewFileDefaults&);
    friend bool isKept(const KeepFolder&, const std::u16string&, const SourceFile&);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// New bytes for a SourceFile, prepared in the original's folder where no one can see them, with
/// the original's mode, owner, group, access list and extended attributes. It takes over the
/// original's open handle (the SourceFile is then closed, its bytes kept). Destroying one that
/// was not committed drops it without a trace.
class Replacement {
public:
    /// Throws FileError, leaving nothing behind, for a file it refuses: one with no write
    /// permission bit at all (even for root), one this user may not write, or one whose owner,
    /// group, access list or user attributes the new file cannot be given.
    Replacement(const SourceFile& original, std::string_view bytes, NewFileDefaults& defaults,
                WriteOptions options = {});
    ~Replacement();
    Replacement(Replacement&&) noexcept;
    Replacement& operator=(Replacement&&) noexcept;

    /// Puts the new file in the original's place in one atomic step. Throws FileError, leaving
    /// the original as it was, when the name no longer holds the file that was read, or when
    /// that file changed since it was read (its content, times, mode, owner or attributes).
    void commit();
    /// Whether the name still holds the original as it was read: what commit() checks, asked
    /// ahead of it. With `committingNext`, the caller commits right after with nothing run in
    /// between, and a yes spares that commit its own look (a seam still gets one after it).
    bool originalUnchanged(bool committingNext = false);

    /// How commitKeeping() kept the file it replaced.
    enum class Kept { Not, Linked, Copied };
    /// commit(), keeping the file it replaces in `folder` as `name`: the file itself under a second
    /// name where the system allows (the same volume), else a copy with its times where
    /// `copyBudget` still holds its size (which it then takes from the budget), else not at all.
    /// A commit that fails keeps nothing. A new file made in `folder` (WriteOptions::keepIn)
    /// takes `name` first where it was made under another.
    Kept commitKeeping(KeepFolder& folder, const std::u16string& name, std::uint64_t& copyBudget);
    /// Whether the new file was made in WriteOptions::keepIn.
    bool madeInKeepFolder() const;

private:
    friend void restoreKept(KeepFolder&, const std::u16string&, const SourceFile&, NewFileDefaults&);
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// Puts the file kept in `folder` as `name` back in the place of `current` in one atomic step: the
/// kept file itself where it can move there; else its content and times, with the owner, mode
/// and attributes `current` has. The kept file is gone afterwards. Throws FileError, leaving
/// both as they were, when the name no longer holds `current` as it was read.
void restoreKept(KeepFolder& folder, const std::u16string& name, const SourceFile& current,
                 NewFileDefaults& defaults);

/// Whether `current` is the very file kept in `folder` as `name`: it was never replaced, or it
/// is back.
bool isKept(const KeepFolder& folder, const std::u16string& name, const SourceFile& current);

/// Writes `bytes` over the file at `path` as a Replacement does, or creates the file (also
/// atomically) when nothing of that name exists. Throws FileError.
void replaceFile(const std::u16string& path, std::string_view bytes, WriteOptions options = {});

/// replaceFile() with `text` encoded in the system code page; throws EncodeError before touching
/// anything if the text holds a character the code page lacks.
void writeTextFile(const std::u16string& path, std::u16string_view text, WriteOptions options = {});

}  // namespace tavirel
