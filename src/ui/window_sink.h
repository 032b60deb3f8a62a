// The worker's side of a run that the window shows while it goes on. Files found are gathered on
// the thread that records the run and handed over in batches (the first at once, then at most
// every 100 ms, and the rest when the run ends), which the window's thread takes when it is
// woken; the worker never touches a window object, and the window never reads what the worker
// still writes.
#pragma once

#include "search/run.h"
#include "search/run_sink.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kestrava::ui {

// Files found since the last batch, with the run's counts when it was handed over.
struct FoundBatch {
    // The run's folders listed since the last batch: they follow those before in
    // SearchResults::folders, where the files' folderIndex points.
    std::vector<std::string> newFolders;
    std::vector<search::FileMatches> files;
    int32_t filesScanned = 0;
    int32_t binarySkipped = 0;
};

class WindowSink final : public search::RunSink {
  public:
    // Called on the recording thread when a batch is handed over and none was waiting: it asks
    // the window's thread to call takeBatches.
    explicit WindowSink(std::function<void()> wake) : m_wake(std::move(wake)) {}

    void fileFound(const search::SearchResults& results, const search::FoundFile& file) override;
    // Hands over what is gathered once the last batch went 100 ms ago.
    void handOverIfDue();
    // `progress`, then handOverIfDue: a batch need not wait for the next file found.
    search::ProgressEvent telling(const search::ProgressEvent& progress);
    // Hands over what is gathered (at the end of the run).
    void handOver();
    // On the window's thread: the batches handed over since it last took them, in order.
    std::vector<FoundBatch> takeBatches();

  private:
    using Clock = std::chrono::steady_clock;
    std::function<void()> m_wake;
    FoundBatch m_batch;                               // gathered on the recording thread
    const search::SearchResults* m_results = nullptr; // the run's, for its counts and folders
    size_t m_foldersSent = 0;
    Clock::time_point m_lastHandOver{};
    std::mutex m_lock;
    std::vector<FoundBatch> m_handedOver; // under m_lock
};

} // namespace kestrava::ui
