// Where a run's findings go while it goes on. A sink has two halves: what it makes of a file on
// the thread that searched it, while the file's text is still at hand (several threads at once),
// and what it does with each file with matches in list order, on the thread that records the
// run. Every output (the text views, JSON, a replace preview, the window) is one.
#pragma once

#include "search/records.h"
#include "util/text_spill.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace kestrava::search {

// A file just searched, as the sink's first half sees it.
struct SearchedFile {
    const std::string& path; // full path
    // Its lines, context and kept replacements; may be borrowed from, but given back as it was.
    FileMatches& record;
    std::string_view text;                 // the bytes searched
    const std::string* replaced = nullptr; // what a replacing run makes of them
    std::chrono::nanoseconds elapsed{};    // from the file's opening to now
    size_t linesAhead = 0; // lines made ahead (RunSink::makeLines) and no longer in the record
    // Sets output too large to hold aside, out of memory, to come before what make returns
    // (FoundFile::madeAhead).
    std::function<void(std::string_view)> setAside{};
};

// A file with matches, recorded: its counts are in the run's results already, and its replaced
// text written (or refused) when the run replaces.
struct FoundFile {
    const std::string& path;
    FileMatches& record;   // the sink's to take from; what it leaves is let go
    std::string_view made; // what the sink's first half made of it
    // What its first half set aside (see RunSink::makeLines, SearchedFile::setAside); it comes
    // before what `made` and the lines left in the record give.
    const util::TextSpill* madeAhead = nullptr;
    bool refused = false; // a replacing run did not write it (see SearchResults::notReplaced)
    // The text lines its matched lines take up, a match over line ends counting each, those
    // made ahead included.
    int64_t textLines = 0;
    size_t bytes = 0;                   // searched
    std::chrono::nanoseconds elapsed{}; // its search took
};

class RunSink {
  public:
    virtual ~RunSink() = default;
    // The run keeps each replacement's text (FileMatches::replacements) for this sink.
    virtual bool wantsReplacements() const { return false; }
    // A matched line too long to keep (see findMatchedLines) may be read back from its file
    // when the sink writes it, rather than kept.
    virtual bool readsLongLinesBack() const { return false; }

    // On the searching thread: the file's output, made ahead of its turn; "" leaves it all to
    // fileFound.
    virtual std::string make(const SearchedFile& /*file*/) const { return {}; }
    // True when the sink can make a file's output a batch of lines at a time, without a header,
    // while a file with very many lines is searched (a find with one item and no context).
    virtual bool makesLinesAhead() const { return false; }
    // Hands the output of the record's lines to `write`, about a megabyte at a time.
    virtual void makeLines(const SearchedFile& /*file*/,
                           const std::function<void(std::string_view)>& /*write*/) const {}

    // On the recording thread, in list order.
    virtual void fileFound(const SearchResults& results, const FoundFile& file) = 0;
};

} // namespace kestrava::search
