// SPDX-License-Identifier: MIT
#include "undo_journal.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "background.h"
#include "code_page.h"
#include "errors.h"
#include "event_yield.h"
#include "folder_enum.h"
#include "utf8.h"

namespace tavirel {
namespace {

constexpr char16_t kManifest[] = u"manifest";
constexpr char kHeader[] = "tavirel undo 1\n";

// Numbers written out by hand: a kept name is made twice for most files, and the C library's
// formatting would cost more than the rest of the name.
template <typename String>
void appendHex(String& out, std::uint64_t n) {  // 16 digits
    for (int shift = 60; shift >= 0; shift -= 4) out += "0123456789abcdef"[(n >> shift) & 15];
}
template <typename String>
void appendDecimal(String& out, std::uint64_t n) {
    char digits[20];
    int k = 0;
    do {
        digits[k++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    while (k > 0) out += digits[--k];
}

std::string hex(std::uint64_t n) {
    std::string text;
    appendHex(text, n);
    return text;
}

std::u16string ascii(std::string_view text) {
    return {text.begin(), text.end()};
}

// A path in the manifest: UTF-8 where the units make characters, "\uXXXX" for a lone half or a
// unit that stands for an undecodable byte, and for control characters; "\\" for the backslash.
// Exact both ways, whatever the name holds.
std::string escaped(std::u16string_view text) {
    std::string out;
    auto put = [&out](char32_t c) { appendCodePoint(out, c); };
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char16_t c = text[k];
        if (c >= 0xD800 && c < 0xDC00 && k + 1 < text.size() && text[k + 1] >= 0xDC00 &&
            text[k + 1] < 0xE000) {
            put(0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[++k] - 0xDC00));
        } else if (c == u'\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c < 0xE000)) {
            char unit[8];
            std::snprintf(unit, sizeof unit, "\\u%04X", static_cast<unsigned>(c));
            out += unit;
        } else {
            put(c);
        }
    }
    return out;
}

std::optional<std::u16string> unescaped(std::string_view text) {
    std::u16string out;
    for (std::size_t k = 0; k < text.size();) {
        const auto b = static_cast<unsigned char>(text[k]);
        if (b == '\\') {
            if (k + 1 < text.size() && text[k + 1] == '\\') {
                out += u'\\';
                k += 2;
                continue;
            }
            if (k + 6 > text.size() || text[k + 1] != 'u') return std::nullopt;
            unsigned unit = 0;
            if (std::sscanf(std::string(text.substr(k + 2, 4)).c_str(), "%4X", &unit) != 1)
                return std::nullopt;
            out += static_cast<char16_t>(unit);
            k += 6;
            continue;
        }
        const int length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
        if (length == 0 || k + static_cast<std::size_t>(length) > text.size()) return std::nullopt;
        char32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        for (int i = 1; i < length; ++i) c = (c << 6) | (static_cast<unsigned char>(text[k + i]) & 0x3F);
        k += static_cast<std::size_t>(length);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::u16string joined(const std::u16string& folder, const std::u16string& name) {
    return !folder.empty() && folder.back() == kPathSeparator ? folder + name
                                                              : folder + kPathSeparator + name;
}

// Whether `inner` is `outer` or a folder somewhere inside it.
bool within(const std::u16string& outer, const std::u16string& inner) {
    return inner == outer || inner.rfind(joined(outer, u""), 0) == 0;
}

struct Entry {
    std::uint64_t hash = 0;
    std::uint64_t size = 0;
    std::optional<std::uint64_t> madeFor;  // the original's identity, for a file made ahead
    std::u16string kept;                   // the kept file's name; empty when its original was not kept
    std::u16string path;                   // inside the folder
    bool notKept = false;                  // replaced without its original kept
};

struct Journal {
    std::u16string folder;  // the converted folder, from the root
    std::u16string where;   // the journal's own folder
    std::vector<Entry> entries;
};

// A kept file's name: its number, then the hash and the size of what replaced it, and for a new
// file made under it ahead, the identity of the original it is for. The name is taken in the
// same step as the file, so a record can never say more than the file.
std::u16string keptName(const std::string& number, std::uint64_t hash, std::uint64_t size) {
    std::u16string name;
    name.reserve(number.size() + 64);
    name.append(number.begin(), number.end());
    name += u'-';
    appendHex(name, hash);
    name += u'-';
    appendDecimal(name, size);
    return name;
}
std::u16string keptName(const std::string& number, std::uint64_t hash, std::uint64_t size,
                        std::uint64_t madeFor) {
    std::u16string name = keptName(number, hash, size);
    name += u'-';
    appendDecimal(name, madeFor);
    return name;
}

// "HASH-SIZE", with "-IDENTITY" after where `madeFor` takes one.
bool parseHashAndSize(std::string_view text, std::uint64_t& hash, std::uint64_t& size,
                      std::optional<std::uint64_t>* madeFor = nullptr) {
    unsigned long long h = 0, n = 0, id = 0;
    int used = 0;
    const std::string whole(text);
    if (std::sscanf(whole.c_str(), "%16llx-%llu%n", &h, &n, &used) != 2) return false;
    if (static_cast<std::size_t>(used) != text.size()) {
        int more = 0;
        if (!madeFor || std::sscanf(whole.c_str() + used, "-%llu%n", &id, &more) != 1 ||
            static_cast<std::size_t>(used + more) != text.size())
            return false;
        *madeFor = id;
    }
    hash = h;
    size = n;
    return true;
}

// The journal in `where`, or none when it has no manifest worth the name (made by a run stopped
// before its first file, or forgotten part-way). With `headerOnly`, its folder alone.
std::optional<Journal> readJournal(const std::u16string& where, bool headerOnly = false) {
    std::string bytes;
    try {
        bytes = std::string(SourceFile(joined(where, kManifest)).bytes());
    } catch (const FileError&) {
        return std::nullopt;
    }
    std::string_view text = bytes;
    auto line = [&text]() -> std::optional<std::string_view> {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return std::nullopt;  // a record cut short
        const std::string_view l = text.substr(0, end);
        text.remove_prefix(end + 1);
        return l;
    };
    const auto header = line();
    const auto folderLine = line();
    if (!header || *header != std::string_view(kHeader, std::strlen(kHeader) - 1) || !folderLine ||
        folderLine->rfind("folder ", 0) != 0)
        return std::nullopt;
    Journal journal;
    journal.where = where;
    const auto folder = unescaped(folderLine->substr(7));
    if (!folder) return std::nullopt;
    journal.folder = *folder;
    if (headerOnly) return journal;

    // "NUMBER PATH" for each file the run was to convert, written ahead; "! NUMBER HASH-SIZE" for
    // one replaced without its original kept.
    std::unordered_map<std::string, Entry> byNumber;
    std::vector<std::string> order;
    while (const auto record = line()) {
        const bool notKept = record->rfind("! ", 0) == 0;
        const std::string_view rest = notKept ? record->substr(2) : *record;
        const std::size_t space = rest.find(' ');
        if (space == std::string_view::npos) return std::nullopt;
        const std::string number(rest.substr(0, space));
        Entry& e = byNumber[number];
        if (notKept) {
            if (!parseHashAndSize(rest.substr(space + 1), e.hash, e.size)) return std::nullopt;
            e.notKept = true;
            continue;
        }
        const auto path = unescaped(rest.substr(space + 1));
        if (!path) return std::nullopt;
        e.path = *path;
        order.push_back(number);
    }
    FindData data;
    if (auto listing = systemFolderReader().findFirst(joined(where, u""), data)) {
        do {
            const std::string name = CodePage::system().encode(data.cFileName);
            const std::size_t dash = name.find('-');
            if (dash == std::string::npos) continue;
            const auto it = byNumber.find(name.substr(0, dash));
            if (it == byNumber.end() ||
                !parseHashAndSize(std::string_view(name).substr(dash + 1), it->second.hash, it->second.size,
                                  &it->second.madeFor))
                continue;
            it->second.kept = data.cFileName;
        } while (listing->findNext(data));
    }
    // Files without a kept original and without a record of one not kept were never replaced.
    for (const std::string& number : order) {
        Entry& e = byNumber[number];
        if (e.kept.empty() && !e.notKept) continue;
        journal.entries.push_back(std::move(e));
    }
    return journal;
}

constexpr char16_t kGone[] = u".gone-";

// Every folder in `home` that may be a journal; with `gone`, also those set aside to be removed.
std::vector<std::u16string> journalFolders(const std::u16string& home,
                                           std::vector<std::u16string>* gone = nullptr) {
    std::vector<std::u16string> found;
    FindData data;
    auto listing = systemFolderReader().findFirst(joined(home, u""), data);
    if (!listing) return found;
    do {
        if (data.dwFileAttributes != kAttributeDirectory) continue;
        if (data.cFileName.size() == 16) {
            found.push_back(joined(home, data.cFileName));
        } else if (gone && data.cFileName.find(kGone) == 16) {
            gone->push_back(joined(home, data.cFileName));
        }
    } while (listing->findNext(data));
    return found;
}

// The manifest goes first: a journal forgotten part-way is no journal.
void forgetJournal(const std::u16string& where) {
    KeepFolder(where).remove(kManifest);
    KeepFolder::forget(where);
}

// Removes the journals set aside, once the run that set them aside is over, on one thread that
// takes only cores no one else wants: the thousands of files they hold cost a run nothing.
class Sweeper {
public:
    static Sweeper& instance() {
        static Sweeper sweeper;
        return sweeper;
    }
    ~Sweeper() { stop(); }

    // Queued while a run is under way, whose cores they would take.
    void add(std::vector<std::u16string> gone) {
        std::lock_guard lock(mutex_);
        for (std::u16string& where : gone) queue_.push_back(std::move(where));
    }

    // The run is over: the queue is worked off from now on.
    void start() {
        std::lock_guard lock(mutex_);
        if (queue_.empty()) return;
        if (!thread_.joinable()) thread_ = std::thread([this] { work(); });
        wake_.notify_one();
    }

    // Ends the thread at its next file; what it had not removed.
    std::deque<std::u16string> stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
        stopping_ = false;
        std::lock_guard lock(mutex_);
        return std::exchange(queue_, {});
    }

private:
    void work() {
        lowerThisThread();
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            const std::u16string where = queue_.front();
            lock.unlock();
            bool done = true;
            try {
                done = KeepFolder::forget(where, &stopping_);
            } catch (const FileError&) {
                // Left for a later run to try again.
            }
            lock.lock();
            if (!done) return;
            queue_.pop_front();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::u16string> queue_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace

void finishForgetting() {
    const std::deque<std::u16string> left = Sweeper::instance().stop();
    if (!left.empty()) removeDetached({left.begin(), left.end()});
}

std::uint64_t contentHash(std::string_view bytes) {
    // Eight lanes of xor and multiply by an odd constant over 8-byte words, each step one to one
    // in its lane, so a changed word changes its lane; then the lanes meet in a mix. Eight keep
    // the multipliers busy: several bytes a cycle.
    constexpr std::uint64_t k1 = 0x9E3779B185EBCA87ULL, k2 = 0xC2B2AE3D27D4EB4FULL;
    auto rotl = [](std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); };
    auto word = [](const char* p) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    };
    std::uint64_t h[8];
    for (int lane = 0; lane < 8; ++lane) h[lane] = (k1 * static_cast<std::uint64_t>(2 * lane + 1)) ^ k2;
    const char* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 64; p += 64, n -= 64) {
        for (int lane = 0; lane < 8; ++lane) h[lane] = (h[lane] ^ word(p + 8 * lane)) * k1;
    }
    std::uint64_t all = bytes.size();
    for (int lane = 0; lane < 8; ++lane) all = rotl(all + h[lane], 23) * k2;
    for (; n >= 8; p += 8, n -= 8) all = rotl((all ^ word(p)) * k1, 27) + k2;
    for (; n > 0; ++p, --n) all = rotl((all ^ static_cast<unsigned char>(*p)) * k2, 11);
    all ^= all >> 33;
    all *= k2;
    all ^= all >> 29;
    all *= k1;
    all ^= all >> 32;
    return all;
}

std::u16string defaultJournalHome() {
    const std::u16string state = userStateFolder();
    if (state.empty()) return {};
    return joined(state, kPathSeparator == u'\\' ? u"Tavirel" : u"tavirel");
}

UndoJournal::UndoJournal(std::u16string home, const std::u16string& folder, std::uint64_t copyLimit,
                         const FileList& list)
    : home_(std::move(home)), folder_(folder), budget_(copyLimit), list_(list) {}

UndoJournal::~UndoJournal() {
    Sweeper::instance().start();
}

std::u16string UndoJournal::nameAhead(std::size_t entry, std::uint64_t hash, std::uint64_t size,
                                      std::uint64_t identity) {
    return keptName(std::to_string(entry), hash, size, identity);
}

void UndoJournal::commit(Replacement& replacement, std::size_t entry, const std::u16string& path,
                         std::uint64_t hash, std::uint64_t size, std::uint64_t identity) {
    // The root is a folder, or a file named as it is, whose path inside is then empty.
    const std::u16string prefix = joined(folder_, u"");
    if (path != folder_ && path.rfind(prefix, 0) != 0)
        throw FileError(path, "not inside the folder converted");
    const std::u16string_view inside =
        path == folder_ ? std::u16string_view() : std::u16string_view(path).substr(prefix.size());
    std::string records;
    if (!kept_) {
        const std::u16string whole = absolutePath(folder_);  // as the journal names its folder
        const std::string header = std::string(kHeader) + "folder " + escaped(whole) + "\n";
        const std::u16string mine = joined(home_, ascii(hex(contentHash(header))));
        // Only the last run over a folder is kept: an earlier one over the same files could no
        // longer be undone as it was anyway. Each goes aside in one step, to be removed once the
        // run is over.
        std::vector<std::u16string> gone;
        for (const std::u16string& where : journalFolders(home_, &gone)) {
            const std::optional<Journal> journal = readJournal(where, true);
            if (where == mine || !journal || within(journal->folder, whole) ||
                within(whole, journal->folder)) {
                if (std::u16string aside = KeepFolder::setAside(where); !aside.empty())
                    gone.push_back(std::move(aside));
            }
        }
        Sweeper::instance().add(std::move(gone));
        kept_.emplace(mine);
        records = header;
    }
    // The paths go on record many at once, ahead of their files: each record is on disk before
    // its file is replaced, and the kept file's name, taken in the same step as the replacement,
    // says what replaced it. A record of a file that stays as it was does no harm.
    if (entry >= recordedUpTo_) {
        std::size_t k = entry;
        for (; k < list_.count() && k < entry + kRecordsAhead; ++k) {
            if (!list_.isMarked(k)) continue;
            std::u16string ahead = list_.text(k);
            if (ahead.rfind(prefix, 0) != 0) continue;
            records +=
                std::to_string(k) + " " + escaped(std::u16string_view(ahead).substr(prefix.size())) + "\n";
            recorded_[k] = std::move(ahead);
        }
        recordedUpTo_ = k;
    }
    std::string number = std::to_string(entry);
    if (const auto it = recorded_.find(entry); it == recorded_.end() || it->second != path) {
        // The list changed under the run: a record of its own.
        // (Appended, not prefixed: GCC 12 misjudges a literal put before a temporary string.)
        number = 'n';
        number += std::to_string(fresh_++);
        records += number + " " + escaped(inside) + "\n";
    }
    recorded_.erase(entry);
    if (!records.empty()) kept_->append(kManifest, records);
    const std::u16string name = replacement.madeInKeepFolder() ? keptName(number, hash, size, identity)
                                                               : keptName(number, hash, size);
    if (replacement.commitKeeping(*kept_, name, budget_) == Replacement::Kept::Not) {
        ++notKept_;
        std::string record = "! ";
        record += number + " " + hex(hash) + "-" + std::to_string(size) + "\n";
        kept_->append(kManifest, record);
    }
}

void undoLastRun(const std::u16string& home, const std::u16string& folder, bool dryRun, UndoReport& report,
                 UndoOutcome& outcome) {
    const std::u16string whole = absolutePath(folder);
    for (const std::u16string& where : journalFolders(home)) {
        const std::optional<Journal> journal = readJournal(where);
        if (!journal || !within(whole, journal->folder)) continue;
        outcome.found = true;
        KeepFolder kept(where);
        NewFileDefaults defaults;
        std::size_t left = 0;
        for (const Entry& e : journal->entries) {
            const std::u16string path = e.path.empty() ? journal->folder : joined(journal->folder, e.path);
            auto leave = [&](UndoReport::Left why, const std::u16string& detail) {
                report.leftAlone(path, why, detail);
                ++left;
                ++outcome.left;
            };
            yieldToEventLoop();
            try {
                // A file made ahead that never took its original's place: the original never
                // left, and the file, whole or not, only goes.
                if (e.madeFor && kept.identityOf(e.kept) != e.madeFor) {
                    if (!dryRun) kept.remove(e.kept);
                    continue;
                }
                const SourceFile current(path);
                // Never replaced (the run stopped first), or put back already.
                if (!e.kept.empty() && isKept(kept, e.kept, current)) continue;
                const std::string_view now = current.bytes();
                const bool asWritten = now.size() == e.size && contentHash(now) == e.hash;
                if (e.kept.empty()) {
                    if (asWritten) leave(UndoReport::Left::NotKept, u"");
                } else if (asWritten) {
                    if (!dryRun) restoreKept(kept, e.kept, current, defaults);
                    report.restored(path);
                    ++outcome.restored;
                } else if (const SourceFile keptFile(joined(kept.path(), e.kept)); keptFile.bytes() == now) {
                    // A copy put back by an undo stopped before it could let the copy go.
                    if (!dryRun) kept.remove(e.kept);
                } else if (keptFile.bytes().size() == e.size && contentHash(keptFile.bytes()) == e.hash) {
                    // The new content under the kept name, never put in place: the run stopped
                    // in the instant before.
                    if (!dryRun) kept.remove(e.kept);
                } else {
                    leave(UndoReport::Left::Changed, joined(where, e.kept));
                }
            } catch (const FileError& error) {
                leave(UndoReport::Left::Unreadable, CodePage::system().decode(error.reason()));
            }
        }
        if (!dryRun && left == 0) forgetJournal(where);
    }
}

bool undoAvailable(const std::u16string& home, const std::u16string& folder) {
    const std::u16string whole = absolutePath(folder);
    for (const std::u16string& where : journalFolders(home)) {
        if (const std::optional<Journal> journal = readJournal(where, true);
            !journal || !within(whole, journal->folder))
            continue;
        // Any file in it but the manifest is a kept original or a record of one not kept.
        const std::optional<Journal> whole = readJournal(where);
        if (whole && !whole->entries.empty()) return true;
    }
    return false;
}

}  // namespace tavirel
