// kestrava-cli --vimgrep and --no-heading: one line per match or per matched text line, each
// beginning with its file's path and line number, as editors' grep and compilation modes read
// them. Written while the run goes on, as its sink.
#pragma once

#include "search/run_sink.h"

#include <functional>
#include <string>
#include <string_view>

namespace kestrava::cli {

class PathLineSink final : public search::RunSink {
  public:
    using Write = std::function<void(std::string_view)>;
    // Matches: "path:line:column:text" per match (column 1-based in bytes, the text being the
    // line where the match starts). Otherwise "path:line:text" per text line that a match takes
    // up, the whole line whatever bytes it holds.
    PathLineSink(bool perMatch, Write write) : m_perMatch(perMatch), m_write(std::move(write)) {}

    std::string make(const search::SearchedFile& file) const override;
    bool makesLinesAhead() const override { return true; }
    void makeLines(const search::SearchedFile& file, const Write& write) const override {
        write(make(file));
    }
    void fileFound(const search::SearchResults& results, const search::FoundFile& file) override;

  private:
    bool m_perMatch;
    Write m_write;
};

} // namespace kestrava::cli
