// SPDX-License-Identifier: MIT
// Reading and replacing files on Windows: a handle that does not follow a reparse point, the new
// content in a temporary file of the same folder that the system deletes should the process die,
// and ReplaceFileW, which keeps the old file's attributes, security, creation time and streams.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <random>

#include "code_page.h"
#include "errors.h"
#include "read_whole.h"
#include "text_file.h"
#include "win32_util.h"

namespace tavirel {
namespace {

[[noreturn]] void fail(const std::u16string& path, DWORD error) {
    throw FileError(path, win32::reasonFor(error));
}

std::wstring folderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::wstring temporaryName(const std::wstring& folder) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    wchar_t name[64];
    std::swprintf(name, 64, L"\\.tavirel-%lu-%016llx.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<unsigned long long>(random()));
    return folder + name;
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

bool sameState(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
           CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0 &&
           a.dwFileAttributes == b.dwFileAttributes;
}

// 0, or the error: what the name `path` holds now, a link taken as itself.
DWORD informationAt(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    win32::Handle now(CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (now.get() == INVALID_HANDLE_VALUE) {
        now.release();
        return GetLastError();
    }
    return GetFileInformationByHandle(now.get(), &info) ? 0 : GetLastError();
}

// Marks an open file to be deleted when its last handle closes, or takes the mark back.
bool deleteOnClose(HANDLE file, bool on) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = on ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

void writeAll(HANDLE file, std::string_view bytes, const std::u16string& path) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 24));
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) fail(path, GetLastError());
        bytes.remove_prefix(written);
    }
}

}  // namespace

// --- Closing together ------------------------------------------------------------------------

// Windows closes a handle in one call of its own: each is closed at once.
struct CloseTogether::Impl {};

CloseTogether::CloseTogether() : impl_(std::make_unique<Impl>()) {}
CloseTogether::~CloseTogether() = default;
void CloseTogether::flush(std::size_t) {}
std::size_t CloseTogether::waiting() const {
    return 0;
}

// --- SourceFile ------------------------------------------------------------------------------

struct SourceFile::Impl {
    std::u16string path;
    std::wstring win;
    mutable win32::Handle file;
    BY_HANDLE_FILE_INFORMATION info{};
    WholeFile contents;
};

SourceFile::SourceFile(std::u16string path, std::size_t byteLimit) : impl_(std::make_unique<Impl>()) {
    Impl& f = *impl_;
    f.path = std::move(path);
    f.win = win32::longPath(f.path);
    // A reparse point (a link, a junction) is opened as itself, so that it can be refused.
    f.file.reset(CreateFileW(
        f.win.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
        nullptr));
    if (f.file.get() == INVALID_HANDLE_VALUE) {
        f.file.release();
        fail(f.path, GetLastError());
    }
    if (!GetFileInformationByHandle(f.file.get(), &f.info)) fail(f.path, GetLastError());
    if (f.info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) throw FileError(f.path, "symbolic link");
    if (f.info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) throw FileError(f.path, "Is a directory");
    if (GetFileType(f.file.get()) != FILE_TYPE_DISK) throw FileError(f.path, "not a regular file");
    const std::uint64_t size = (static_cast<std::uint64_t>(f.info.nFileSizeHigh) << 32) | f.info.nFileSizeLow;
    if (size > byteLimit) {
        f.contents.tooLarge = true;
        return;
    }
    f.contents = readWhole(static_cast<std::size_t>(size), byteLimit, [&f](char* to, std::size_t want) {
        DWORD got = 0;
        if (!ReadFile(f.file.get(), to, static_cast<DWORD>(want), &got, nullptr))
            fail(f.path, GetLastError());
        return static_cast<std::size_t>(got);
    });
}

SourceFile::SourceFile(std::u16string path, std::size_t byteLimit, NewFileDefaults&)
    : SourceFile(std::move(path), byteLimit) {}

SourceFile::~SourceFile() = default;
SourceFile::SourceFile(SourceFile&&) noexcept = default;
SourceFile& SourceFile::operator=(SourceFile&&) noexcept = default;
const std::u16string& SourceFile::path() const {
    return impl_->path;
}
bool SourceFile::tooLarge() const {
    return impl_->contents.tooLarge;
}
std::string_view SourceFile::bytes() const {
    return {impl_->contents.buffer.get(), impl_->contents.size};
}
void SourceFile::close() {
    impl_->file.reset();
}
std::uint64_t SourceFile::identity() const {
    return (static_cast<std::uint64_t>(impl_->info.nFileIndexHigh) << 32) | impl_->info.nFileIndexLow;
}
bool SourceFile::unchangedSinceRead() const {
    BY_HANDLE_FILE_INFORMATION now;
    return informationAt(impl_->win, now) == 0 && sameFile(now, impl_->info) && sameState(now, impl_->info);
}

// --- NewFileDefaults -------------------------------------------------------------------------

// A new file takes nothing from its folder that the replacement does not put right.
struct NewFileDefaults::Impl {};

NewFileDefaults::NewFileDefaults(const NewFileDefaults*) : impl_(std::make_unique<Impl>()) {}
NewFileDefaults::~NewFileDefaults() = default;

// --- Replacement -----------------------------------------------------------------------------

namespace {

// The new content of one file until it takes the old one's place; the system deletes it with its
// handle, so a process that dies leaves nothing behind.
struct NewFile {
    std::u16string path;
    std::wstring target;
    std::wstring temp;
    win32::Handle file;
    bool deletesItself = false;
    bool replacing = false;  // an old file is there, whose place and metadata it takes
    BY_HANDLE_FILE_INFORMATION old{};
    // The caller found the name holding that file just before the commit: it need not look again.
    bool checked = false;
    ReplaceSeam* seam = nullptr;
    std::optional<FILETIME> modified;  // given to the new file in place of the time of its writing

    // Where commit() keeps the file it replaces: under the backup name on the same volume,
    // else as a copy within the budget.
    struct Keep {
        std::wstring name;
        bool sameVolume;
        std::uint64_t& budget;
        Replacement::Kept kept = Replacement::Kept::Not;
    };

    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile() {
        const bool closed = static_cast<bool>(file);
        file.reset();
        if (!temp.empty() && !(closed && deletesItself)) DeleteFileW(temp.c_str());
    }

    void create(std::string_view bytes, bool flush) {
        const std::wstring folder = folderOf(target);
        for (int attempt = 0;; ++attempt) {
            temp = temporaryName(folder);
            const HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                file.reset(h);
                break;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS || attempt > 100) {
                temp.clear();
                fail(path, error);
            }
        }
        deletesItself = deleteOnClose(file.get(), true);
        writeAll(file.get(), bytes, path);
        if (flush && !FlushFileBuffers(file.get())) fail(path, GetLastError());
    }

    // The name must still hold the file that was read, as it was read: not deleted, not swapped
    // for a link or for another file, or writing now would bring back a deleted file or replace
    // one unread; not written to or given other attributes, or the new content would lose what
    // another program did. Its security and streams ReplaceFileW takes as they are now.
    void checkStillThere() const {
        BY_HANDLE_FILE_INFORMATION info;
        if (const DWORD error = informationAt(target, info)) fail(path, error);
        if (!sameFile(info, old)) throw FileError(path, "replaced by another file since it was read");
        if (!sameState(info, old)) throw FileError(path, "changed since it was read");
    }

    // Where ReplaceFileW cannot work: a rename over the old file, which keeps all there is to keep
    // only on a volume without security descriptors and named streams (FAT, some shares).
    void moveOver() {
        DWORD flags = 0;
        if (!GetVolumeInformationW(volumeOf(target).c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr,
                                   0)) {
            flags = FILE_PERSISTENT_ACLS;  // unknown: the cautious answer
        }
        if (seam) flags = seam->volumeFlags().value_or(flags);
        if (flags & (FILE_PERSISTENT_ACLS | FILE_NAMED_STREAMS)) {
            throw FileError(path, "cannot be replaced here with its security and streams kept");
        }
        if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            fail(path, GetLastError());
        }
    }

    // The temporary file's name is ours and plain ASCII, so the message can name it.
    [[noreturn]] void keepTemp(const std::string& what) {
        const std::wstring name = temp.substr(temp.find_last_of(L'\\') + 1);
        temp.clear();
        throw FileError(
            path, what + "; its new content is kept beside it as " + std::string(name.begin(), name.end()));
    }

    static std::wstring volumeOf(const std::wstring& path) {
        std::wstring volume(MAX_PATH + 1, L'\0');
        if (!GetVolumePathNameW(path.c_str(), volume.data(), static_cast<DWORD>(volume.size())))
            return L"C:\\";
        volume.resize(std::wcslen(volume.c_str()));
        return volume;
    }

    // The old file's attributes and creation time, given to the new one before it takes the old
    // one's place: then they are kept however the system moves it there.
    void carryAttributes() {
        FILE_BASIC_INFO basic{};
        basic.CreationTime.LowPart = old.ftCreationTime.dwLowDateTime;
        basic.CreationTime.HighPart = static_cast<LONG>(old.ftCreationTime.dwHighDateTime);
        if (modified) {
            basic.LastWriteTime.LowPart = modified->dwLowDateTime;
            basic.LastWriteTime.HighPart = static_cast<LONG>(modified->dwHighDateTime);
        }
        basic.FileAttributes = old.dwFileAttributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
        if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic))
            fail(path, GetLastError());
    }

    // A copy of the old file as `keep` names it, where its budget allows.
    void copyOld(Keep& keep) {
        const std::uint64_t size = (static_cast<std::uint64_t>(old.nFileSizeHigh) << 32) | old.nFileSizeLow;
        if (size > keep.budget) return;
        // Made under a name of its own and renamed once whole: a name the caller gave always
        // holds the whole original.
        const std::wstring partial = keep.name + L".partial";
        if (!CopyFileW(target.c_str(), partial.c_str(), FALSE)) fail(path, GetLastError());
        if (!MoveFileExW(partial.c_str(), keep.name.c_str(), 0)) {
            const DWORD error = GetLastError();
            DeleteFileW(partial.c_str());
            fail(path, error);
        }
        keep.budget -= size;
        keep.kept = Replacement::Kept::Copied;
    }

    void commit(Keep* keep = nullptr) {
        if (seam) seam->beforeReplace();
        if (replacing) {
            // What a seam does stands between the caller's look and the replacement.
            if (!checked || seam) checkStillThere();
            carryAttributes();
        }
        const wchar_t* backup = nullptr;
        if (keep && keep->sameVolume) {
            backup = keep->name.c_str();
        } else if (keep) {
            copyOld(*keep);
        }
        try {
            replace(keep, backup);
        } catch (...) {
            if (keep && keep->kept == Replacement::Kept::Copied) DeleteFileW(keep->name.c_str());
            if (keep) keep->kept = Replacement::Kept::Not;
            throw;
        }
        if (keep && keep->sameVolume) keep->kept = Replacement::Kept::Linked;
        temp.clear();
    }

    void replace(Keep* keep, const wchar_t* backup) {
        // From here the temporary file must outlive its handle; only the next microseconds can
        // leave it behind.
        if (deletesItself && !deleteOnClose(file.get(), false)) fail(path, GetLastError());
        deletesItself = false;
        file.reset();
        if (!replacing) {
            if (!MoveFileExW(temp.c_str(), target.c_str(), 0)) fail(path, GetLastError());
        } else if (const std::optional<std::uint32_t> failure =
                       seam ? seam->replaceFileFailure(target.c_str()) : std::nullopt;
                   failure || !ReplaceFileW(target.c_str(), temp.c_str(), backup, 0, nullptr, nullptr)) {
            const DWORD error = failure ? static_cast<DWORD>(*failure) : GetLastError();
            if (backup && error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
                // The old file is under the backup name already and its place is empty: the new
                // content goes there, or the old file goes back.
                if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return;
                MoveFileExW(backup, target.c_str(), MOVEFILE_WRITE_THROUGH);
                fail(path, error);
            }
            if (backup && error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) fail(path, error);  // both as they were
            switch (error) {
                case ERROR_NOT_SUPPORTED:
                case ERROR_INVALID_FUNCTION:
                case ERROR_INVALID_PARAMETER:
                    // No backup name here either: the old file is kept by a copy.
                    if (backup) {
                        backup = nullptr;
                        keep->sameVolume = false;
                        copyOld(*keep);
                    }
                    moveOver();
                    break;
                case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
                    // Without a backup name this means the old file is gone already: the new
                    // content is all there is, so it goes in place or stays where it is.
                    if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
                        moveOver();
                    } else if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
                        keepTemp("was removed by the system while being replaced");
                    }
                    break;
                case ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
                    keepTemp("was moved aside by the system while being replaced");
                default: fail(path, error);
            }
        }
    }
};

}  // namespace

struct Replacement::Impl {
    NewFile file;
};

Replacement::Replacement(const SourceFile& original, std::string_view bytes, NewFileDefaults&,
                         WriteOptions options)
    : impl_(std::make_unique<Impl>()) {
    const SourceFile::Impl& old = *original.impl_;
    NewFile& r = impl_->file;
    r.path = old.path;
    r.target = old.win;
    r.replacing = true;
    r.old = old.info;
    r.seam = options.seam;
    // The read-only attribute: refused, whatever the rights of the user.
    if (old.info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) throw FileError(r.path, "read-only file");
    // The old file is let go at once: a handle kept open would turn its deletion by its user into a
    // pending one, which the replacement would then undo.
    old.file.reset();
    r.create(bytes, options.flushToDisk);
}

Replacement::~Replacement() = default;
Replacement::Replacement(Replacement&&) noexcept = default;
Replacement& Replacement::operator=(Replacement&&) noexcept = default;

void Replacement::commit() {
    impl_->file.commit();
}

// Made beside the file, always: ReplaceFileW takes no new file from elsewhere.
bool Replacement::madeInKeepFolder() const {
    return false;
}

bool Replacement::originalUnchanged(bool committingNext) {
    NewFile& r = impl_->file;
    r.checked = false;
    try {
        r.checkStillThere();
    } catch (const FileError&) {
        return false;
    }
    r.checked = committingNext;
    return true;
}

// --- Kept files ----------------------------------------------------------------------------

struct KeepFolder::Impl {
    std::u16string path;
    std::wstring win;
    DWORD volume = 0;
    win32::Handle append;
    std::wstring appendName;

    std::wstring file(const std::u16string& name) const { return win + L"\\" + win32::wide(name); }
};

KeepFolder::KeepFolder(std::u16string path) : impl_(std::make_unique<Impl>()) {
    Impl& k = *impl_;
    k.path = std::move(path);
    k.win = win32::longPath(k.path);
    // Each folder on the way that is missing is made; under the user's profile, only the user
    // may read them.
    const std::size_t root = k.win.rfind(L"\\?\\", 0) == 0 ? 7 : 3;
    for (std::size_t slash = k.win.find(L'\\', root);; slash = k.win.find(L'\\', slash + 1)) {
        const std::wstring part = k.win.substr(0, slash);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            fail(k.path, GetLastError());
        if (slash == std::wstring::npos) break;
    }
    win32::Handle folder(CreateFileW(k.win.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (folder.get() == INVALID_HANDLE_VALUE) {
        folder.release();
        fail(k.path, GetLastError());
    }
    if (!GetFileInformationByHandle(folder.get(), &info)) fail(k.path, GetLastError());
    k.volume = info.dwVolumeSerialNumber;
}

KeepFolder::~KeepFolder() = default;
KeepFolder::KeepFolder(KeepFolder&&) noexcept = default;
KeepFolder& KeepFolder::operator=(KeepFolder&&) noexcept = default;

const std::u16string& KeepFolder::path() const {
    return impl_->path;
}

bool KeepFolder::holds(const std::u16string& name) const {
    return GetFileAttributesW(impl_->file(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void KeepFolder::append(const std::u16string& name, std::string_view bytes) {
    Impl& k = *impl_;
    const std::wstring file = k.file(name);
    if (!k.append || k.appendName != file) {
        k.append.reset(CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (k.append.get() == INVALID_HANDLE_VALUE) {
            k.append.release();
            fail(k.path + u"\\" + name, GetLastError());
        }
        k.appendName = file;
    }
    writeAll(k.append.get(), bytes, k.path + u"\\" + name);
}

std::optional<std::uint64_t> KeepFolder::identityOf(const std::u16string& name) const {
    BY_HANDLE_FILE_INFORMATION info;
    if (informationAt(impl_->file(name), info) != 0) return std::nullopt;
    return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

void KeepFolder::remove(const std::u16string& name) {
    if (!DeleteFileW(impl_->file(name).c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        fail(impl_->path + u"\\" + name, GetLastError());
}

bool KeepFolder::forget(const std::u16string& path, const std::atomic<bool>* stop) {
    const std::wstring win = win32::longPath(path);
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW((win + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
        fail(path, error);
    }
    do {
        if (stop && stop->load(std::memory_order_relaxed)) {
            FindClose(find);
            return false;
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::wstring file = win + L"\\" + data.cFileName;
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(file.c_str());
    } while (FindNextFileW(find, &data));
    FindClose(find);
    if (!RemoveDirectoryW(win.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) fail(path, GetLastError());
    return true;
}

std::u16string KeepFolder::setAside(const std::u16string& path) {
    const std::wstring from = win32::longPath(path);
    thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt <= 100; ++attempt) {
        wchar_t suffix[32];
        std::swprintf(suffix, 32, L".gone-%016llx", static_cast<unsigned long long>(random()));
        const std::wstring to = from + suffix;
        if (MoveFileExW(from.c_str(), to.c_str(), 0)) return path + win32::text(suffix);
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) fail(path, error);
    }
    fail(path, ERROR_ALREADY_EXISTS);
}

Replacement::Kept Replacement::commitKeeping(KeepFolder& folder, const std::u16string& name,
                                             std::uint64_t& copyBudget) {
    NewFile& r = impl_->file;
    NewFile::Keep keep{folder.impl_->file(name), r.old.dwVolumeSerialNumber == folder.impl_->volume,
                       copyBudget};
    r.commit(&keep);
    return keep.kept;
}

bool isKept(const KeepFolder& folder, const std::u16string& name, const SourceFile& current) {
    BY_HANDLE_FILE_INFORMATION kept;
    return informationAt(folder.impl_->file(name), kept) == 0 && sameFile(kept, current.impl_->info);
}

void restoreKept(KeepFolder& folder, const std::u16string& name, const SourceFile& current,
                 NewFileDefaults& defaults) {
    const KeepFolder::Impl& k = *folder.impl_;
    const SourceFile::Impl& cur = *current.impl_;
    const std::wstring kept = k.file(name);
    BY_HANDLE_FILE_INFORMATION info;
    if (const DWORD error = informationAt(kept, info)) fail(k.path + u"\\" + name, error);
    if (info.dwVolumeSerialNumber == cur.info.dwVolumeSerialNumber) {
        // The kept file takes its place again, with the security and attributes the place has,
        // which the conversion had kept from it.
        NewFile r;
        r.path = cur.path;
        r.target = cur.win;
        r.old = cur.info;
        cur.file.reset();
        r.checkStillThere();
        if (ReplaceFileW(r.target.c_str(), kept.c_str(), nullptr, 0, nullptr, nullptr)) return;
        const DWORD error = GetLastError();
        if (error != ERROR_NOT_SAME_DEVICE) fail(cur.path, error);
    }
    // On another volume: its content and time of writing go back by a new file.
    const SourceFile copy(k.path + u"\\" + name);
    Replacement back(current, copy.bytes(), defaults);
    back.impl_->file.modified = info.ftLastWriteTime;
    back.commit();
    folder.remove(name);
}

// --- Whole-file writes -----------------------------------------------------------------------

void replaceFile(const std::u16string& path, std::string_view bytes, WriteOptions options) {
    if (GetFileAttributesW(win32::longPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
        NewFileDefaults defaults;
        const SourceFile original(path, 0);
        Replacement(original, bytes, defaults, options).commit();
        return;
    }
    // Nothing of that name: a new file, also put in place in one step.
    NewFile r;
    r.path = path;
    r.target = win32::longPath(path);
    r.create(bytes, options.flushToDisk);
    r.commit();
}

void writeTextFile(const std::u16string& path, std::u16string_view text, WriteOptions options) {
    replaceFile(path, CodePage::system().encode(text), options);
}

}  // namespace tavirel
