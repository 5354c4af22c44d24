// SPDX-License-Identifier: MIT
// The batch's read-ahead on worker threads: the marked entries are read, converted and made ready
// to be put in place ahead of the run, which takes them back one by one in list order. What an
// entry becomes is the batch's business (an Item); this is only the queue, the threads and their
// bounds.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "batch_interfaces.h"
#include "event_yield.h"
#include "interrupt.h"
#include "strop.h"
#include "text_file.h"

namespace tavirel {

/// Prepares the marked entries of a list ahead of a run on worker threads. The main thread queues
/// each entry's text as it reads the list and takes the results back in list order; a worker sees
/// nothing but the texts it is given, and holds its yields and interrupts.
//
/// What it holds is bounded whatever the tree's size: at most a window of entries is prepared
/// ahead (each an open file and its unnamed new file), and the items done with wait for a worker
/// to let them go only while few are waiting.
template <typename Item>
class PreparePipeline {
public:
    /// Prepares the entry whose text and index are given, with the calling thread's engine and
    /// defaults.
    using Prepare = std::function<Item(StrOPT&, NewFileDefaults&, const std::u16string&, std::size_t)>;
    /// Whether an item prepared ahead is still what its entry would give now, at its turn: asked
    /// right before it is handed back, so the answer may stand for the caller's next step.
    using StillCurrent = std::function<bool(Item&)>;

    /// Prepares the marked entries among the first `count` of `list`; `stripper` is the main
    /// thread's engine, for what it prepares itself.
    PreparePipeline(const FileList& list, std::size_t workers, std::size_t count, StrOPT& stripper,
                    Prepare prepare, StillCurrent stillCurrent)
        : list_(list),
          stripper_(stripper),
          prepare_(std::move(prepare)),
          stillCurrent_(std::move(stillCurrent)),
          count_(count),
          window_(std::min<std::size_t>(8 * (workers + 1), kMostAhead)) {
        for (std::size_t w = 0; w < workers; ++w) threads_.emplace_back([this] { work(); });
    }
    PreparePipeline(const PreparePipeline&) = delete;
    PreparePipeline& operator=(const PreparePipeline&) = delete;

    // Stops the workers; whatever they prepared and no one took is dropped, never written.
    ~PreparePipeline() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            jobs_.clear();
        }
        wake_.notify_all();
        for (std::thread& t : threads_) t.join();
    }

    /// The entry `index` whose text is `path`, prepared: by a worker, or here and now.
    Item take(std::size_t index, const std::u16string& path) {
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
                    run(*other, stripper_, defaults_);
                    lock.lock();
                }
            }
        }
        if (job && job->state == Job::Done && !job->error) {
            // Prepared ahead, the entry may have changed before its turn: it is then prepared
            // now, as on one thread.
            if (stillCurrent_(*job->result)) return std::move(*job->result);
            job.reset();
        }
        if (job && job->error) {
            job.reset();
        } else {
            try {
                return prepareHere(path, index);
            } catch (const std::exception&) {
                // Tried while the workers held files ahead: tried again below with none held.
            }
        }
        // A failure met with files held ahead may come of what they hold (descriptors, inodes,
        // memory): only a failure with none held counts, as on one thread.
        drop(index);
        return prepareHere(path, index);
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
        // The set views the texts of `current` and of the jobs, which only this thread removes.
        std::u16string current;
        std::unordered_set<std::u16string_view> ahead;
        ahead.reserve(2 * window_);
        if (index < list_.count()) ahead.insert(current = list_.text(index));
        {
            std::lock_guard lock(mutex_);
            for (const auto& job : jobs_) ahead.insert(job->path);
        }
        std::size_t next = std::max(next_, index + 1);
        for (; next < count_ && next < list_.count() && queued + added.size() < window_; ++next) {
            if (!list_.isMarked(next)) continue;
            auto job = std::make_shared<Job>(next, list_.text(next));
            if (ahead.insert(job->path).second) added.push_back(std::move(job));
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
    void retire(Item file) {
        std::vector<Item> backlog;
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
    // Handles a worker lets go of before it closes them in one call: a few files' worth.
    static constexpr std::size_t kCloseTogether = 16;

    struct Job {
        enum State { Pending, Working, Done };
        Job(std::size_t i, std::u16string p) : index(i), path(std::move(p)) {}
        std::size_t index;
        std::u16string path;
        State state = Pending;
        std::optional<Item> result;
        std::exception_ptr error;
    };

    // Whether a job waits for a thread to take it; the caller holds the lock.
    bool pendingJob() const {
        return std::any_of(jobs_.begin(), jobs_.end(),
                           [](const auto& j) { return j->state == Job::Pending; });
    }

    Item prepareHere(const std::u16string& path, std::size_t index) {
        HoldYields hold;
        return prepare_(stripper_, defaults_, path, index);
    }

    // Lets go of everything prepared ahead of `index` and of every file waiting to be let go,
    // and waits until no worker holds any.
    void drop(std::size_t index) {
        std::deque<std::shared_ptr<Job>> jobs;
        std::vector<Item> retired;
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
        NewFileDefaults defaults(&defaults_);
        CloseTogether closing;
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
                std::vector<Item> done;
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
            closing.flush(kCloseTogether);
            lock.lock();
            // A worker that is about to wait holds nothing: a run that drops what is held ahead
            // (to free descriptors) waits for every worker to be idle.
            if (closing.waiting() > 0 && retired_.empty() && !pendingJob()) {
                lock.unlock();
                closing.flush();
                lock.lock();
            }
            --busyWorkers_;
            if (mainWaiting_ > 0) done_.notify_all();
        }
    }

    // Prepares a job claimed by the calling thread, and hands it back done.
    void run(Job& job, StrOPT& stripper, NewFileDefaults& defaults) {
        std::optional<Item> result;
        std::exception_ptr error;
        try {
            HoldYields hold;
            result.emplace(prepare_(stripper, defaults, job.path, job.index));
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(mutex_);
        job.result = std::move(result);
        job.error = error;
        job.state = Job::Done;
        if (mainWaiting_ > 0) done_.notify_all();
    }

    const FileList& list_;
    StrOPT& stripper_;
    const Prepare prepare_;
    const StillCurrent stillCurrent_;
    const std::size_t count_;
    const std::size_t window_;
    std::size_t next_ = 0;  // the first entry not yet looked at for queueing
    NewFileDefaults defaults_;
    std::mutex mutex_;
    std::condition_variable wake_;  // workers: a job, a file to let go, or the end
    std::condition_variable done_;  // the main thread: a job done, or a worker free
    std::deque<std::shared_ptr<Job>> jobs_;
    std::vector<Item> retired_;
    int idleWorkers_ = 0;
    int busyWorkers_ = 0;
    int mainWaiting_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tavirel
