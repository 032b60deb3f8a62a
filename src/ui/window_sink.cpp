#include "window_sink.h"

namespace kestrava::ui {

namespace {

constexpr auto kBatchInterval = std::chrono::milliseconds(100);

} // namespace

void WindowSink::fileFound(const search::SearchResults& results, const search::FoundFile& file) {
    m_results = &results;
    m_batch->folders.push_back(file.path.substr(0, file.path.size() - file.record.fileName.size()));
    m_batch->files.push_back(std::move(file.record));
    handOverIfDue();
}

void WindowSink::handOverIfDue() {
    if (!m_batch->files.empty() && Clock::now() - m_lastHandOver >= kBatchInterval)
        handOver();
}

void WindowSink::handOver() {
    if (m_results != nullptr) {
        m_batch->filesScanned = m_results->filesScanned;
        m_batch->binarySkipped = m_results->binarySkipped;
    }
    if (m_batch->files.empty() && m_results == nullptr)
        return;
    m_deliver(std::exchange(m_batch, std::make_shared<FoundBatch>()));
    m_lastHandOver = Clock::now();
}

} // namespace kestrava::ui
