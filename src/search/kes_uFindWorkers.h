// Runs a list of independent jobs on several threads and takes their outcomes strictly in list
// order on the calling thread, so whatever the outcomes change (counters, records, files written)
// happens exactly as in a one-thread run. Internal to the search run.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

namespace kes {

template <typename Outcome> class TOrderedWorkers {
  public:
    // process(i, worker) runs on a worker thread (worker: 0 .. threads-1, for per-thread state);
    // commit(i, outcome) runs on the calling thread in order and may throw, which stops the run.
    // waitFor[i] (optional) names a job that must be committed before job i may start.
    using TProcess = std::function<Outcome(size_t index, size_t worker)>;
    using TCommit = std::function<void(size_t index, Outcome&& outcome)>;

    TOrderedWorkers(size_t jobs, size_t threads, TProcess process, std::vector<int64_t> waitFor)
        : fJobs(jobs), fWindow(threads * 2), fProcess(std::move(process)),
          fWaitFor(std::move(waitFor)), fReady(jobs) {
        for (size_t worker = 0; worker < threads; ++worker)
            fThreads.emplace_back([this, worker] { Work(worker); });
    }
    ~TOrderedWorkers() {
        {
            std::lock_guard lock(fLock);
            fAbort = true;
        }
        fChanged.notify_all();
        for (std::thread& thread : fThreads)
            thread.join();
    }
    TOrderedWorkers(const TOrderedWorkers&) = delete;
    TOrderedWorkers& operator=(const TOrderedWorkers&) = delete;

    // Commits every job in order; false when a stop request ended it early (nothing after the
    // last committed job is committed).
    bool CommitAll(const TCommit& commit, const std::stop_token& stop) {
        for (size_t index = 0; index < fJobs; ++index) {
            std::optional<Outcome> outcome;
            {
                std::unique_lock lock(fLock);
                fChanged.wait(lock, stop, [&] { return fReady[index].has_value(); });
                if (stop.stop_requested())
                    return false;
                outcome = std::move(fReady[index]);
                fReady[index].reset();
            }
            commit(index, std::move(*outcome));
            {
                std::lock_guard lock(fLock);
                fCommitted = index + 1;
            }
            fChanged.notify_all();
        }
        return true;
    }

  private:
    // Takes the next job once it is inside the window and what it waits for is committed.
    bool TakeJob(size_t& index) {
        std::unique_lock lock(fLock);
        fChanged.wait(lock, [&] {
            if (fAbort || fNext >= fJobs)
                return true;
            const int64_t waitFor = fWaitFor.empty() ? -1 : fWaitFor[fNext];
            return fNext < fCommitted + fWindow && waitFor < static_cast<int64_t>(fCommitted);
        });
        if (fAbort || fNext >= fJobs)
            return false;
        index = fNext++;
        return true;
    }

    void Work(size_t worker) {
        size_t index = 0;
        while (TakeJob(index)) {
            Outcome outcome = fProcess(index, worker);
            {
                std::lock_guard lock(fLock);
                fReady[index] = std::move(outcome);
            }
            fChanged.notify_all();
        }
    }

    const size_t fJobs;
    const size_t fWindow; // jobs done but not committed: about two per worker
    const TProcess fProcess;
    const std::vector<int64_t> fWaitFor;
    std::mutex fLock;
    std::condition_variable_any fChanged;
    std::vector<std::optional<Outcome>> fReady;
    size_t fNext = 0;
    size_t fCommitted = 0;
    bool fAbort = false;
    std::vector<std::thread> fThreads; // last: joined while everything above still exists
};

} // namespace kes
