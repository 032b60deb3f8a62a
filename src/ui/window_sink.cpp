#include "window_sink.h"

namespace kestrava::ui {

namespace {

constexpr auto kBatchInterval = std::chrono::milliseconds(100);

} // namespace

void WindowSink::fileFound(const search::SearchResults& results, const search::FoundFile& file) {
    m_results = &results;
    m_batch.files.push_back(std::move(file.record));
    handOverIfDue();
}

void WindowSink::handOverIfDue() {
    if (!m_batch.files.empty() && Clock::now() - m_lastHandOver >= kBatchInterval)
        handOver();
}

void WindowSink::handOver() {
    if (m_results == nullptr)
        return; // nothing found yet
    const std::vector<std::string>& folders = m_results->folders;
    m_batch.newFolders.assign(folders.begin() + static_cast<ptrdiff_t>(m_foldersSent),
                              folders.end());
    m_foldersSent = folders.size();
    m_batch.filesScanned = m_results->filesScanned;
    m_batch.binarySkipped = m_results->binarySkipped;
    bool waiting = false;
    {
        const std::lock_guard lock(m_lock);
        waiting = !m_handedOver.empty();
        m_handedOver.push_back(std::exchange(m_batch, FoundBatch{}));
    }
    m_lastHandOver = Clock::now();
    if (!waiting)
        m_wake();
}

search::ProgressEvent WindowSink::telling(const search::ProgressEvent& progress) {
    return [this, &progress](const search::Progress& where) {
        progress(where);
        handOverIfDue();
    };
}

std::vector<FoundBatch> WindowSink::takeBatches() {
    const std::lock_guard lock(m_lock);
    return std::exchange(m_handedOver, {});
}

} // namespace kestrava::ui
