// SPDX-License-Identifier: MIT
#include "undo_journal.h"

#include <condition_variable>
#include <cstdio>
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

std::u16string number(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    return {digits.begin(), digits.end()};
}

std::string hex(std::uint64_t n) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(n));
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
    std::u16string kept;
    std::u16string path;  // inside the folder
};

struct Journal {
    std::u16string folder;  // the converted folder, from the root
    std::u16string where;   // the journal's own folder
    bool hasRecords = false;
    std::vector<Entry> entries;
};

// The journal in `where`, or none when it has no manifest worth the name (made by a run stopped
// before its first file, or forgotten part-way).
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
    journal.hasRecords = !text.empty();
    if (headerOnly) return journal;
    while (const auto record = line()) {
        Entry e;
        unsigned long long hash = 0, size = 0;
        char kept[32];
        int used = 0;
        if (std::sscanf(std::string(*record).c_str(), "%16llx %llu %31s %n", &hash, &size, kept, &used) < 3 ||
            used == 0)
            return std::nullopt;
        const auto path = unescaped(record->substr(static_cast<std::size_t>(used)));
        if (!path) return std::nullopt;
        e.hash = hash;
        e.size = size;
        e.kept = ascii(kept);
        e.path = *path;
        journal.entries.push_back(std::move(e));
    }
    // A file prepared again has a later record of the same number: that one counts.
    std::unordered_map<std::u16string, std::size_t> last;
    for (std::size_t k = 0; k < journal.entries.size(); ++k) last[journal.entries[k].kept] = k;
    std::vector<Entry> entries;
    for (std::size_t k = 0; k < journal.entries.size(); ++k) {
        if (last[journal.entries[k].kept] == k) entries.push_back(std::move(journal.entries[k]));
    }
    journal.entries = std::move(entries);
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

// Removes the journals set aside, on one thread that takes only cores no one else wants, so that
// the thousands of files they hold cost a run nothing.
class Sweeper {
public:
    static Sweeper& instance() {
        static Sweeper sweeper;
        return sweeper;
    }
    ~Sweeper() { stop(); }

    void add(std::vector<std::u16string> gone) {
        if (gone.empty()) return;
        std::lock_guard lock(mutex_);
        for (std::u16string& where : gone) queue_.push_back(std::move(where));
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
    if (left.empty()) return;
    runDetached([&left] {
        for (const std::u16string& where : left) KeepFolder::forget(where);
    });
}

std::uint64_t contentHash(std::string_view bytes) {
    // Four independent lanes of multiply and rotate over 8-byte words: several bytes a cycle.
    constexpr std::uint64_t k1 = 0x9E3779B185EBCA87ULL, k2 = 0xC2B2AE3D27D4EB4FULL;
    auto rotl = [](std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); };
    auto round = [&](std::uint64_t h, std::uint64_t w) { return rotl(h + w * k2, 31) * k1; };
    auto word = [](const char* p) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    };
    std::uint64_t h[4] = {k1 + k2, k2, 0, 0 - k1};
    const char* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 32; p += 32, n -= 32) {
        for (int lane = 0; lane < 4; ++lane) h[lane] = round(h[lane], word(p + 8 * lane));
    }
    std::uint64_t all = rotl(h[0], 1) + rotl(h[1], 7) + rotl(h[2], 12) + rotl(h[3], 18) + bytes.size();
    for (; n >= 8; p += 8, n -= 8) all = rotl(all ^ round(0, word(p)), 27) * k1 + k2;
    for (; n > 0; ++p, --n) all = rotl(all ^ (static_cast<unsigned char>(*p) * k1), 11) * k2;
    all ^= all >> 33;
    all *= k2;
    all ^= all >> 29;
    return all;
}

std::u16string defaultJournalHome() {
    const std::u16string state = userStateFolder();
    if (state.empty()) return {};
    return joined(state, kPathSeparator == u'\\' ? u"Tavirel" : u"tavirel");
}

UndoJournal::UndoJournal(std::u16string home, const std::u16string& folder, std::uint64_t copyLimit)
    : home_(std::move(home)), folder_(folder), budget_(copyLimit) {}

void UndoJournal::note(std::size_t entry, const std::u16string& path, std::uint64_t hash,
                       std::uint64_t size) {
    const auto it = noted_.find(entry);
    if (it != noted_.end() && it->second.hash == hash) return;
    // Prepared again (changed since it was first read): a new record of the same number, which
    // an undo takes over the earlier one.
    const std::size_t number = it != noted_.end() ? it->second.number : next_++;
    noted_[entry] = {number, hash, false};
    const std::u16string prefix = joined(folder_, u"");
    if (path.rfind(prefix, 0) != 0) throw FileError(path, "not inside the folder converted");
    records_ += hex(hash) + " " + std::to_string(size) + " " + std::to_string(number) + " " +
                escaped(std::u16string_view(path).substr(prefix.size())) + "\n";
}

void UndoJournal::commit(Replacement& replacement, std::size_t entry, const std::u16string& path,
                         std::uint64_t hash, std::uint64_t size) {
    if (!kept_) {
        whole_ = absolutePath(folder_);
        const std::string header = std::string(kHeader) + "folder " + escaped(whole_) + "\n";
        const std::u16string mine = joined(home_, ascii(hex(contentHash(header))));
        // Only the last run over a folder is kept: an earlier one over the same files could no
        // longer be undone as it was anyway. Each goes aside in one step, and is removed beside
        // the run: removing thousands of files would cost the run its speed.
        std::vector<std::u16string> gone;
        for (const std::u16string& where : journalFolders(home_, &gone)) {
            const std::optional<Journal> journal = readJournal(where, true);
            if (where == mine || !journal || within(journal->folder, whole_) ||
                within(whole_, journal->folder)) {
                if (std::u16string aside = KeepFolder::setAside(where); !aside.empty())
                    gone.push_back(std::move(aside));
            }
        }
        Sweeper::instance().add(std::move(gone));
        kept_.emplace(mine);
        records_.insert(0, header);
    }
    note(entry, path, hash, size);
    // The record is on disk before the file is replaced: a run stopped at any moment leaves a
    // record of every file it replaced.
    const Noted noted = noted_[entry];
    if (!records_.empty()) {
        kept_->append(kManifest, records_);
        records_.clear();
    }
    noted_.erase(entry);
    if (replacement.commitKeeping(*kept_, number(noted.number), budget_) == Replacement::Kept::Not)
        ++notKept_;
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
            const std::u16string path = joined(journal->folder, e.path);
            auto leave = [&](UndoReport::Left why, const std::u16string& detail) {
                report.leftAlone(path, why, detail);
                ++left;
                ++outcome.left;
            };
            yieldToEventLoop();
            try {
                const SourceFile current(path);
                // Never replaced (the run stopped first), or put back already.
                if (isKept(kept, e.kept, current)) continue;
                const bool holds = kept.holds(e.kept);
                const std::string_view now = current.bytes();
                if (now.size() == e.size && contentHash(now) == e.hash) {
                    if (!holds) {
                        leave(UndoReport::Left::NotKept, u"");
                        continue;
                    }
                    if (!dryRun) restoreKept(kept, e.kept, current, defaults);
                    report.restored(path);
                    ++outcome.restored;
                } else if (holds) {
                    // A copy put back by an undo stopped before it could let the copy go.
                    if (SourceFile(joined(kept.path(), e.kept)).bytes() == now) {
                        if (!dryRun) kept.remove(e.kept);
                        continue;
                    }
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
        const std::optional<Journal> journal = readJournal(where, true);
        if (journal && journal->hasRecords && within(whole, journal->folder)) return true;
    }
    return false;
}

}  // namespace tavirel
