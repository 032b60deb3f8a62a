// Runs a list of independent jobs on several threads and takes their outcomes strictly in list
// order on the calling thread, so whatever the outcomes change (counters, records, files written)
// happens exactly as in a one-thread run. Internal to the search run.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace kestrava::search {

template <typename Outcome> class OrderedWorkers {
  public:
    // process(i, worker) runs on a worker thread (worker: 0 .. threads-1, for per-thread state);
    // commit(i, outcome) runs on the calling thread in order and may throw, which stops the run.
    // waitFor[i] (optional) names a job that must be committed before job i may start. At most
    // `window` jobs are done and waiting to be committed at any time.
    using Process = std::function<Outcome(size_t index, size_t worker)>;
    using Commit = std::function<void(size_t index, Outcome&& outcome)>;

    OrderedWorkers(size_t jobs, size_t threads, size_t window, Process process,
                   std::vector<int64_t> waitFor)
        : OrderedWorkers(jobs, true, threads, window, std::move(process), std::move(waitFor)) {}
    // Open-ended: jobs are added (addJobs) while the workers already run, until Close. The
    // calling thread counts as the last of the `threads` workers: it is busy adding jobs at first,
    // and commitAll has it search jobs itself while the next one to commit is not done, so the
    // run never has more threads wanting a core than it was given.
    OrderedWorkers(size_t threads, size_t window, Process process)
        : OrderedWorkers(0, false, threads, window, std::move(process), {}) {}
    ~OrderedWorkers() {
        {
            std::lock_guard lock(m_lock);
            m_abort = true;
        }
        m_space.notify_all();
        for (std::thread& thread : m_threads)
            thread.join();
    }
    OrderedWorkers(const OrderedWorkers&) = delete;
    OrderedWorkers& operator=(const OrderedWorkers&) = delete;

    // A sleeping worker is woken once a few jobs wait, not for each: a wake-up costs more than
    // searching a small file, and Close wakes everyone for what is left.
    void addJobs(size_t count) {
        bool wake = false;
        {
            std::lock_guard lock(m_lock);
            m_jobs += count;
            m_ready.resize(m_jobs);
            wake = m_workersWaiting > 0 && m_jobs - m_next >= kWakeBatch;
        }
        if (wake)
            m_space.notify_all();
    }
    void close() {
        {
            std::lock_guard lock(m_lock);
            m_closed = true;
        }
        m_space.notify_all();
    }

    // While commitAll waits for the next job, it runs `whileWaiting` on its thread every so often
    // (a long file's progress is told so).
    void setWhileWaiting(std::function<void()> whileWaiting) {
        m_whileWaiting = std::move(whileWaiting);
    }

    // Commits every job in order, once the jobs are closed; false when a stop request ended it
    // early (nothing after the last committed job is committed).
    bool commitAll(const Commit& commit, const std::stop_token& stop) {
        std::vector<Slot> batch;
        while (m_nextCommit < m_jobs) {
            if (!takeReady(m_nextCommit, batch, stop) || !commitBatch(batch, commit, stop))
                return false;
        }
        return true;
    }
    // Commits the jobs done so far, in order, without waiting for more: the calling thread does
    // it between other work, so outcomes do not pile up; false as commitAll.
    bool commitReady(const Commit& commit, const std::stop_token& stop) {
        std::vector<Slot> batch;
        {
            std::lock_guard lock(m_lock);
            for (size_t i = m_nextCommit; i < m_jobs && m_ready[i] != nullptr; ++i)
                batch.push_back(std::move(m_ready[i]));
        }
        return batch.empty() || commitBatch(batch, commit, stop);
    }

  private:
    using Slot = std::unique_ptr<Outcome>;

    OrderedWorkers(size_t jobs, bool closed, size_t threads, size_t window, Process process,
                   std::vector<int64_t> waitFor)
        : m_jobs(jobs), m_closed(closed), m_callerWorks(!closed), m_threadCount(threads),
          m_window(std::max<size_t>(window, threads)), m_process(std::move(process)),
          m_waitFor(std::move(waitFor)),
          m_anyWaits(std::any_of(m_waitFor.begin(), m_waitFor.end(),
                                 [](int64_t job) { return job >= 0; })),
          m_ready(jobs) {
        const size_t spawned = m_callerWorks ? threads - 1 : threads;
        for (size_t worker = 0; worker < spawned; ++worker)
            m_threads.emplace_back([this, worker] { work(worker); });
    }

    // Waits for job `index`, then takes it and every ready job after it, in order. Signalling
    // is kept to the jobs someone waits for: a wake-up per file costs more than the search.
    bool takeReady(size_t index, std::vector<Slot>& batch, const std::stop_token& stop) {
        batch.clear();
        while (m_callerWorks && !stop.stop_requested() && !isReady(index) && workAsCaller()) {
        }
        std::unique_lock lock(m_lock);
        m_mergerWaitsFor = index;
        const auto ready = [&] { return m_ready[index] != nullptr; };
        if (!m_whileWaiting) {
            m_readyChanged.wait(lock, stop, ready);
        } else {
            while (!m_readyChanged.wait_for(lock, stop, kWhileWaitingEvery, ready) &&
                   !stop.stop_requested()) {
                lock.unlock();
                m_whileWaiting();
                lock.lock();
            }
        }
        m_mergerWaitsFor = kNobody;
        if (stop.stop_requested())
            return false;
        for (size_t i = index; i < m_jobs && m_ready[i] != nullptr; ++i)
            batch.push_back(std::move(m_ready[i]));
        return true;
    }

    bool commitBatch(std::vector<Slot>& batch, const Commit& commit, const std::stop_token& stop) {
        for (Slot& outcome : batch) {
            if (stop.stop_requested())
                return false;
            commit(m_nextCommit++, std::move(*outcome));
        }
        markCommitted(m_nextCommit);
        return true;
    }

    void markCommitted(size_t committed) {
        bool wake = false;
        {
            std::lock_guard lock(m_lock);
            m_committed = committed;
            wake = m_workersWaiting > 0;
        }
        if (wake)
            m_space.notify_all();
    }

    bool mayStart(size_t index) const {
        const int64_t waitFor = m_waitFor.empty() ? -1 : m_waitFor[index];
        return index - m_committed < m_window && waitFor < static_cast<int64_t>(m_committed);
    }

    bool isReady(size_t index) {
        std::lock_guard lock(m_lock);
        return m_ready[index] != nullptr;
    }

    // Runs the next jobs on the calling thread; false when none may start now.
    bool workAsCaller() {
        size_t first = 0;
        size_t count = 0;
        {
            std::lock_guard lock(m_lock);
            if (m_abort || m_next >= m_jobs || !mayStart(m_next))
                return false;
            claimJobs(first, count);
        }
        runJobs(first, count, m_threadCount - 1, m_callerOutcomes);
        return true;
    }

    // Takes the next jobs once there are some, inside the window and with what they wait for
    // committed.
    bool takeJobs(size_t& first, size_t& count) {
        std::unique_lock lock(m_lock);
        ++m_workersWaiting;
        m_space.wait(lock, [&] {
            return m_abort || (m_next >= m_jobs && m_closed) ||
                   (m_next < m_jobs && mayStart(m_next));
        });
        --m_workersWaiting;
        if (m_abort || m_next >= m_jobs)
            return false;
        claimJobs(first, count);
        return true;
    }

    // With m_lock held and job m_next free to start. Without waits between jobs, several are
    // taken at once while many are pending (leaving enough for the others): the shared lock,
    // taken twice per turn, then stays free.
    void claimJobs(size_t& first, size_t& count) {
        first = m_next;
        count = 1;
        if (!m_anyWaits) {
            const size_t share = (m_jobs - m_next) / (2 * m_threadCount);
            const size_t room = m_committed + m_window - m_next;
            count = std::clamp<size_t>(std::min(share, room), 1, kMostPerTurn);
        }
        m_next += count;
    }

    void runJobs(size_t first, size_t count, size_t worker, std::vector<Slot>& outcomes) {
        outcomes.clear();
        for (size_t index = first; index < first + count; ++index)
            outcomes.push_back(std::make_unique<Outcome>(m_process(index, worker)));
        bool wake = false;
        {
            std::lock_guard lock(m_lock);
            for (size_t i = 0; i < count; ++i)
                m_ready[first + i] = std::move(outcomes[i]);
            wake = m_mergerWaitsFor >= first && m_mergerWaitsFor < first + count;
        }
        if (wake)
            m_readyChanged.notify_one();
    }

    void work(size_t worker) {
        size_t first = 0;
        size_t count = 0;
        std::vector<Slot> outcomes;
        while (takeJobs(first, count))
            runJobs(first, count, worker, outcomes);
    }

    static constexpr size_t kNobody = static_cast<size_t>(-1);
    static constexpr size_t kWakeBatch = 16;
    static constexpr size_t kMostPerTurn = 8;
    static constexpr auto kWhileWaitingEvery = std::chrono::milliseconds(100);
    size_t m_jobs = 0;
    bool m_closed = false;
    const bool m_callerWorks;   // the calling thread is worker m_threadCount - 1
    const size_t m_threadCount; // the caller included when it works
    const size_t m_window;
    const Process m_process;
    std::function<void()> m_whileWaiting;
    const std::vector<int64_t> m_waitFor;
    const bool m_anyWaits; // some job waits for another
    std::mutex m_lock;
    std::condition_variable_any m_readyChanged; // the committing thread waits here
    std::condition_variable m_space;            // workers wait here
    // Slots of every job so far: one pointer each, as most of them are empty at any time.
    std::vector<Slot> m_ready;
    size_t m_next = 0;
    size_t m_committed = 0;
    size_t m_nextCommit = 0; // the committing thread's own count of m_committed
    size_t m_mergerWaitsFor = kNobody;
    size_t m_workersWaiting = 0;
    bool m_abort = false;
    std::vector<Slot> m_callerOutcomes;
    std::vector<std::thread> m_threads; // last: joined while everything above still exists
};

} // namespace kestrava::search
