// kestrava-cli --json: the results as one JSON object per line, in the messages ripgrep writes,
// for scripts and editors. Written while the run goes on, as its sink.
#pragma once

#include "search/run_sink.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace kestrava::cli {

// For each file with matches: a "begin" message, a "match" message per text line holding
// matches (the whole line with its line end, and each match whole, with its offsets in the line)
// and a "context" message per context line asked for, and an "end" message with its counts;
// finish adds the "summary" of the run. Where a replacing run kept its replacements, each match
// gives the text put in its place ("replacement"). Texts that are not valid UTF-8 are given as
// {"bytes": base64} instead of {"text": ...}.
class JsonSink final : public search::RunSink {
  public:
    using Write = std::function<void(std::string_view)>;
    JsonSink(bool replacing, int32_t contextBefore, int32_t contextAfter, Write write);

    std::string make(const search::SearchedFile& file) const override;
    bool makesLinesAhead() const override { return true; }
    void makeLines(const search::SearchedFile& file, const Write& write) const override;
    void fileFound(const search::SearchResults& results, const search::FoundFile& file) override;
    // The summary, once the run has ended.
    void finish(const search::SearchResults& results, std::chrono::nanoseconds elapsed);

  private:
    bool m_replacing;
    int32_t m_before;
    int32_t m_after;
    Write m_write;
    int64_t m_textLines = 0;
    int64_t m_bytesPrinted = 0;
    std::chrono::nanoseconds m_searchTime{};
};

} // namespace kestrava::cli
