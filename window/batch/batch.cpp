// SPDX-License-Identifier: MIT
#include "batch.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>

#include "code_page.h"
#include "conversion.h"
#include "errors.h"
#include "event_yield.h"
#include "failure_reasons.h"
#include "interrupt.h"

namespace tavirel {
namespace {

// Thrown from a yield once a stop is requested. Deliberately not a std::exception, so that no
// handler on the way (the search skips every std::exception) can swallow it.
struct RunStopped {};

std::u16string countText(std::size_t n) {
    const std::string digits = std::to_string(n);
    return u"共选中:" + std::u16string(digits.begin(), digits.end()) + u"个文件";
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
        if (folder.empty()) return;
        // One search per extension, each over the same folders: read each folder once. Switch i
        // stands for the i-th language key.
        RememberedFolders remembered(files_);
        for (int i = 0; i < 6; ++i) {
            if (switches_.isOn(i)) files_.SearchFiles(folder, std::u16string(kLanguageKeys[i].key), list_);
        }
        selectAll();
    });
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
    status_.setText(countText(marked));
}

void Batch::SelectNone() {
    run([&] {
        const std::size_t count = list_.count();
        for (std::size_t i = 0; i < count; ++i) {
            yieldToEventLoop();
            if (i >= list_.count()) break;
            list_.setMarked(i, false);
        }
        status_.setText(countText(0));
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
};

Batch::Prepared Batch::prepare(StrOPT& stripper, NewFileDefaults& defaults, std::u16string path) const {
    using Outcome = SourceConversion::Outcome;
    using Fate = FileReport::Fate;
    Prepared p;
    p.path = std::move(path);
    p.file.emplace(p.path, StrOPT::kReadLimitBytes);
    p.conversion = convertSource(stripper, *p.file);
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
    if (options_.warnings || options_.strict) {
        p.warnings = findWarnings(p.conversion, p.file->bytes(), p.language);
    }
    if (options_.strict && !p.warnings.empty()) {
        p.fate = Fate::Strict;
    } else if (p.fate == Fate::Converted && options_.write) {
        // The replacement keeps the file open until after the rename: the old inode is then
        // freed by whoever lets the file go, not by the rename on the main thread.
        p.replacement.emplace(*p.file, p.conversion.bytes, defaults);
        return p;
    }
    p.file->close();
    return p;
}

void Batch::commit(Prepared& file) {
    // Bytes that would not change are not written: the file keeps its inode and times.
    if (file.replacement) SaveText(file);
}

void Batch::report(const Prepared& file) {
    if (report_) {
        const std::string_view bytes = file.file ? std::string_view(file.file->bytes()) : std::string_view();
        report_->fileDone({file.fate, file.path, file.language, bytes, file.conversion, file.warnings});
    }
}

// Prepares the marked entries ahead of the run on worker threads. The main thread queues each
// entry's text as it reads the list and takes the results back in list order; a worker sees
// nothing but the texts it is given, and holds its yields and interrupts.
//
// What it holds is bounded whatever the tree's size: at most a window of entries is prepared
// ahead (each an open file and its unnamed new file), and the files put in place wait for a
// worker to let them go only while few are waiting.
class Batch::Pipeline {
public:
    Pipeline(Batch& batch, std::size_t workers, std::size_t count)
        : batch_(batch), count_(count), window_(std::min<std::size_t>(8 * (workers + 1), kMostAhead)) {
        for (std::size_t w = 0; w < workers; ++w) threads_.emplace_back([this] { work(); });
    }

    // Stops the workers; whatever they prepared and no one took is dropped, never written.
    ~Pipeline() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            jobs_.clear();
        }
        wake_.notify_all();
        for (std::thread& t : threads_) t.join();
    }

    /// The entry `index` whose text is `path`, prepared: by a worker, or here and now.
    Prepared take(std::size_t index, const std::u16string& path) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            // Entries before this one were passed over: what was prepared for them goes.
            while (!jobs_.empty() && jobs_.front()->index < index) jobs_.pop_front();
            if (!jobs_.empty() && jobs_.front()->index == index && jobs_.front()->path == path) {
                job = std::move(jobs_.front());
                jobs_.pop_front();
                // While a worker is at it, the main thread prepares a later entry rather than
                // wait, and waits only when none is left.
                while (job->state == Job::Working) {
                    const auto pending = std::find_if(jobs_.begin(), jobs_.end(),
                                                      [](const auto& j) { return j->state == Job::Pending; });
                    if (pending == jobs_.end()) {
                        ++mainWaiting_;
                        done_.wait(lock, [&] { return job->state == Job::Done; });
                        --mainWaiting_;
                        break;
                    }
                    std::shared_ptr<Job> other = *pending;
                    other->state = Job::Working;
                    lock.unlock();
                    run(*other, batch_.stripper_, defaults_);
                    lock.lock();
                }
            }
        }
        if (job && job->state == Job::Done && !job->error) {
            // Read ahead, the file may have changed before its turn: it is then read now, as on
            // one thread. A change from here on fails its commit.
            if (job->result->file->unchangedSinceRead()) return std::move(*job->result);
            job.reset();
        }
        if (job && job->error) {
            job.reset();
        } else {
            try {
                return prepareHere(path);
            } catch (const std::exception&) {
                // Tried while the workers held files ahead: tried again below with none held.
            }
        }
        // A failure met with files held ahead may come of what they hold (descriptors, inodes,
        // memory): only a failure with none held counts, as on one thread.
        drop(index);
        return prepareHere(path);
    }

    /// Queues the marked entries after `index` up to the window's size; reads the list, so the
    /// main thread alone calls it.
    void topUp(std::size_t index) {
        std::vector<std::shared_ptr<Job>> added;
        std::size_t queued;
        {
            std::lock_guard lock(mutex_);
            queued = jobs_.size();
        }
        // Refilled by halves, so that the workers are woken once per several files.
        if (queued > window_ / 2) return;
        // A file listed again ahead is read only at its turn, after its earlier entry is written.
        std::unordered_set<std::u16string> ahead;
        if (index < batch_.list_.count()) ahead.insert(batch_.list_.text(index));
        {
            std::lock_guard lock(mutex_);
            for (const auto& job : jobs_) ahead.insert(job->path);
        }
        std::size_t next = std::max(next_, index + 1);
        for (; next < count_ && next < batch_.list_.count() && queued + added.size() < window_; ++next) {
            if (!batch_.list_.isMarked(next)) continue;
            std::u16string path = batch_.list_.text(next);
            if (ahead.insert(path).second) added.push_back(std::make_shared<Job>(next, std::move(path)));
        }
        next_ = next;
        if (added.empty()) return;
        bool idle;
        {
            std::lock_guard lock(mutex_);
            for (auto& job : added) jobs_.push_back(std::move(job));
            idle = idleWorkers_ > 0;
        }
        if (idle) wake_.notify_all();
    }

    /// Hands a file that is done back to the workers, which let it go: closing a replaced file
    /// frees its old content, work the main thread need not wait for. Where the workers fall
    /// behind, the main thread lets the waiting files go itself.
    void retire(Prepared file) {
        std::vector<Prepared> backlog;
        {
            std::lock_guard lock(mutex_);
            retired_.push_back(std::move(file));
            if (retired_.size() > window_) backlog.swap(retired_);
        }
        if (backlog.empty()) wake_.notify_one();
    }

    /// Drops everything prepared and starts again from `index`: a run inside this one may have
    /// changed the list or the files.
    void restart(std::size_t index) {
        std::lock_guard lock(mutex_);
        jobs_.clear();
        next_ = index;
    }

private:
    // Enough to keep two cores busy on small files; more would only hold more files open.
    static constexpr std::size_t kMostAhead = 32;

    struct Job {
        enum State { Pending, Working, Done };
        Job(std::size_t i, std::u16string p) : index(i), path(std::move(p)) {}
        std::size_t index;
        std::u16string path;
        State state = Pending;
        std::optional<Prepared> result;
        std::exception_ptr error;
    };

    Prepared prepareHere(const std::u16string& path) {
        HoldYields hold;
        return batch_.prepare(batch_.stripper_, defaults_, path);
    }

    // Lets go of everything prepared ahead of `index` and of every file waiting to be let go,
    // and waits until no worker holds any.
    void drop(std::size_t index) {
        std::deque<std::shared_ptr<Job>> jobs;
        std::vector<Prepared> retired;
        std::unique_lock lock(mutex_);
        jobs.swap(jobs_);
        retired.swap(retired_);
        next_ = index + 1;
        lock.unlock();
        jobs.clear();
        retired.clear();
        lock.lock();
        ++mainWaiting_;
        done_.wait(lock, [&] { return busyWorkers_ == 0; });
        --mainWaiting_;
    }

    void work() {
        holdInterruptsOnThisThread();
        HoldYields hold;
        StrOPT stripper;
        NewFileDefaults defaults;
        std::unique_lock lock(mutex_);
        for (;;) {
            std::shared_ptr<Job> job;
            ++idleWorkers_;
            wake_.wait(lock, [&] {
                if (stopping_ || !retired_.empty()) return true;
                const auto pending = std::find_if(jobs_.begin(), jobs_.end(),
                                                  [](const auto& j) { return j->state == Job::Pending; });
                if (pending != jobs_.end()) job = *pending;
                return job != nullptr;
            });
            --idleWorkers_;
            if (stopping_) return;
            ++busyWorkers_;
            if (!retired_.empty()) {
                std::vector<Prepared> done;
                done.swap(retired_);
                lock.unlock();
                done.clear();
            } else {
                job->state = Job::Working;
                lock.unlock();
                run(*job, stripper, defaults);
                // A job the run dropped meanwhile goes here, its file with it.
                job.reset();
            }
            lock.lock();
            --busyWorkers_;
            if (mainWaiting_ > 0) done_.notify_all();
        }
    }

    // Prepares a job claimed by the calling thread, and hands it back done.
    void run(Job& job, StrOPT& stripper, NewFileDefaults& defaults) {
        std::optional<Prepared> result;
        std::exception_ptr error;
        try {
            HoldYields hold;
            result.emplace(batch_.prepare(stripper, defaults, job.path));
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(mutex_);
        job.result = std::move(result);
        job.error = error;
        job.state = Job::Done;
        if (mainWaiting_ > 0) done_.notify_all();
    }

    Batch& batch_;
    const std::size_t count_;
    const std::size_t window_;
    std::size_t next_ = 0;  // the first entry not yet looked at for queueing
    NewFileDefaults defaults_;
    std::mutex mutex_;
    std::condition_variable wake_;  // workers: a job, a file to let go, or the end
    std::condition_variable done_;  // the main thread: a job done, or a worker free
    std::deque<std::shared_ptr<Job>> jobs_;
    std::vector<Prepared> retired_;
    int idleWorkers_ = 0;
    int busyWorkers_ = 0;
    int mainWaiting_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

void Batch::ConvertSelected() {
    run([&] {
        std::u16string name;
        NewFileDefaults defaults;
        try {
            const std::size_t count = list_.count();
            std::optional<Pipeline> pipeline;
            if (workers_ > 0) pipeline.emplace(*this, workers_, count);
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
                    // The engine's yields ran on a worker: one here keeps a stop that comes while
                    // this file is shown from writing it, as on one thread.
                    yieldToEventLoop();
                    commit(file);
                    report(file);
                    pipeline->retire(std::move(file));
                } else {
                    Prepared file = prepare(stripper_, defaults, name);
                    commit(file);
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

void Batch::SaveText(Prepared& file) {
    file.replacement->commit();
}

}  // namespace tavirel
