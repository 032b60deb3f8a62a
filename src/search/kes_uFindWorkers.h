// Runs a list of independent jobs on several threads and takes their outcomes strictly in list
// order on the calling thread, so whatever the outcomes change (counters, records, files written)
// happens exactly as in a one-thread run. Internal to the search run.
#pragma once

#include <algorithm>
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
    // waitFor[i] (optional) names a job that must be committed before job i may start. At most
    // `window` jobs are done and waiting to be committed at any time.
    using TProcess = std::function<Outcome(size_t index, size_t worker)>;
    using TCommit = std::function<void(size_t index, Outcome&& outcome)>;

    TOrderedWorkers(size_t jobs, size_t threads, size_t window, TProcess process,
                    std::vector<int64_t> waitFor)
        : TOrderedWorkers(jobs, true, threads, window, std::move(process), std::move(waitFor)) {}
    // Open-ended: jobs are added (AddJobs) while the workers already run, until Close.
    TOrderedWorkers(size_t threads, size_t window, TProcess process)
        : TOrderedWorkers(0, false, threads, window, std::move(process), {}) {}
    ~TOrderedWorkers() {
        {
            std::lock_guard lock(fLock);
            fAbort = true;
        }
        fSpace.notify_all();
        for (std::thread& thread : fThreads)
            thread.join();
    }
    TOrderedWorkers(const TOrderedWorkers&) = delete;
    TOrderedWorkers& operator=(const TOrderedWorkers&) = delete;

    // A sleeping worker is woken once a few jobs wait, not for each: a wake-up costs more than
    // searching a small file, and Close wakes everyone for what is left.
    void AddJobs(size_t count) {
        bool wake = false;
        {
            std::lock_guard lock(fLock);
            fJobs += count;
            fReady.resize(fJobs);
            wake = fWorkersWaiting > 0 && fJobs - fNext >= kWakeBatch;
        }
        if (wake)
            fSpace.notify_all();
    }
    void Close() {
        {
            std::lock_guard lock(fLock);
            fClosed = true;
        }
        fSpace.notify_all();
    }

    // Commits every job in order, once the jobs are closed; false when a stop request ended it
    // early (nothing after the last committed job is committed).
    bool CommitAll(const TCommit& commit, const std::stop_token& stop) {
        std::vector<Outcome> batch;
        for (size_t index = 0; index < fJobs;) {
            if (!TakeReady(index, batch, stop))
                return false;
            for (Outcome& outcome : batch) {
                if (stop.stop_requested())
                    return false;
                commit(index++, std::move(outcome));
            }
            MarkCommitted(index);
        }
        return true;
    }

  private:
    TOrderedWorkers(size_t jobs, bool closed, size_t threads, size_t window, TProcess process,
                    std::vector<int64_t> waitFor)
        : fJobs(jobs), fClosed(closed), fThreadCount(threads),
          fWindow(std::max<size_t>(window, threads)),
          fProcess(std::move(process)), fWaitFor(std::move(waitFor)), fReady(jobs) {
        for (size_t worker = 0; worker < threads; ++worker)
            fThreads.emplace_back([this, worker] { Work(worker); });
    }

    // Waits for job `index`, then takes it and every ready job after it, in order. Signalling
    // is kept to the jobs someone waits for: a wake-up per file costs more than the search.
    bool TakeReady(size_t index, std::vector<Outcome>& batch, const std::stop_token& stop) {
        batch.clear();
        std::unique_lock lock(fLock);
        fMergerWaitsFor = index;
        fReadyChanged.wait(lock, stop, [&] { return fReady[index].has_value(); });
        fMergerWaitsFor = kNobody;
        if (stop.stop_requested())
            return false;
        for (size_t i = index; i < fJobs && fReady[i].has_value(); ++i) {
            batch.push_back(std::move(*fReady[i]));
            fReady[i].reset();
        }
        return true;
    }

    void MarkCommitted(size_t committed) {
        bool wake = false;
        {
            std::lock_guard lock(fLock);
            fCommitted = committed;
            wake = fWorkersWaiting > 0;
        }
        if (wake)
            fSpace.notify_all();
    }

    bool MayStart(size_t index) const {
        const int64_t waitFor = fWaitFor.empty() ? -1 : fWaitFor[index];
        return index - fCommitted < fWindow && waitFor < static_cast<int64_t>(fCommitted);
    }

    // Takes the next jobs once there are some, inside the window and with what they wait for
    // committed. Without such waits, a worker takes several at once while many are pending
    // (leaving enough for the others): the shared lock, taken twice per turn, then stays free.
    bool TakeJobs(size_t& first, size_t& count) {
        std::unique_lock lock(fLock);
        ++fWorkersWaiting;
        fSpace.wait(lock, [&] {
            return fAbort || (fNext >= fJobs && fClosed) || (fNext < fJobs && MayStart(fNext));
        });
        --fWorkersWaiting;
        if (fAbort || fNext >= fJobs)
            return false;
        first = fNext;
        count = 1;
        if (fWaitFor.empty()) {
            const size_t share = (fJobs - fNext) / (2 * fThreadCount);
            const size_t room = fCommitted + fWindow - fNext;
            count = std::clamp<size_t>(std::min(share, room), 1, kMostPerTurn);
        }
        fNext += count;
        return true;
    }

    void Work(size_t worker) {
        size_t first = 0;
        size_t count = 0;
        std::vector<Outcome> outcomes;
        while (TakeJobs(first, count)) {
            outcomes.clear();
            for (size_t index = first; index < first + count; ++index)
                outcomes.push_back(fProcess(index, worker));
            bool wake = false;
            {
                std::lock_guard lock(fLock);
                for (size_t i = 0; i < count; ++i)
                    fReady[first + i] = std::move(outcomes[i]);
                wake = fMergerWaitsFor >= first && fMergerWaitsFor < first + count;
            }
            if (wake)
                fReadyChanged.notify_one();
        }
    }

    static constexpr size_t kNobody = static_cast<size_t>(-1);
    static constexpr size_t kWakeBatch = 16;
    static constexpr size_t kMostPerTurn = 8;
    size_t fJobs = 0;
    bool fClosed = false;
    const size_t fThreadCount;
    const size_t fWindow;
    const TProcess fProcess;
    const std::vector<int64_t> fWaitFor;
    std::mutex fLock;
    std::condition_variable_any fReadyChanged; // the committing thread waits here
    std::condition_variable fSpace;            // workers wait here
    std::vector<std::optional<Outcome>> fReady;
    size_t fNext = 0;
    size_t fCommitted = 0;
    size_t fMergerWaitsFor = kNobody;
    size_t fWorkersWaiting = 0;
    bool fAbort = false;
    std::vector<std::thread> fThreads; // last: joined while everything above still exists
};

} // namespace kes
