// One Find or Find & Replace run as the window and the command line both make it: the criteria
// checked and compiled, the question before a replace, the run, and what to tell afterwards.
// The window checks and asks on its own thread and runs on a worker; the command line does all
// three in turn.
#pragma once

#include "search/search.h"

#include <stop_token>
#include <string>
#include <vector>

namespace kestrava::search {

struct FindRequest {
    Criteria criteria;
    bool replacing = false;
    bool caseSensitive = false;
    bool replaceInPlace = false;
    int32_t threads = 0; // 0: one per core
    ScanOptions scan{};  // what the search leaves out, and keeps besides the matches
};

// How a run ended.
struct FindOutcome {
    bool failed = false;
    std::string message;                 // when failed: "Error during Find: " (or Replace) + why
    std::vector<std::string> replaced;   // when a replace stopped on an error: the files written
    std::vector<std::string> notTouched; // and the files left as they were
};

class FindSession {
  public:
    explicit FindSession(FindRequest request) : m_request(std::move(request)) {}

    // Checks the criteria, compiles the patterns and parses the Folder(s) and File(s) entries:
    // the error text to show, "" when the run may start.
    std::string check();
    // The question to ask before the run; "" when a Find needs none.
    std::string question() const;
    // Clears results, then searches (and replaces) into them, or into `sink` (see scanFiles).
    // Nothing escapes: a failure is in the outcome, with the results as the failed run left them.
    FindOutcome run(SearchResults& results, const ProgressEvent& progress, std::stop_token stop,
                    RunSink* sink = nullptr);

  private:
    FindRequest m_request;
    CompiledRequest m_specs;
    FolderSpecs m_folders;
    FileMaskSpecs m_files;
};

} // namespace kestrava::search
