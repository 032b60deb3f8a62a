#include "search/find_session.h"

namespace kestrava::search {

namespace {

std::string runError(bool replacing, const std::string& why) {
    return std::string("Error during ") + (replacing ? "Replace" : "Find") + ": " +
           (why.empty() ? std::string("unknown error") : why);
}

} // namespace

std::string FindSession::check() {
    m_specs.options = m_request.scan;
    std::string errors = prepareFindReplace(m_request.criteria, m_request.replacing,
                                            m_request.caseSensitive, m_specs);
    if (!errors.empty())
        return errors;
    // Parsed here, so that a malformed entry is told before anything is asked or started.
    try {
        parseFilesToSearch(m_request.criteria.files, m_files);
        parseFoldersToSearch(m_request.criteria.folders, m_folders);
    } catch (const std::exception& e) {
        m_specs.regEx.clearPatterns();
        return runError(m_request.replacing, e.what());
    }
    return {};
}

std::string FindSession::question() const {
    return m_request.replacing
               ? replaceConfirmText(m_request.replaceInPlace, m_request.scan.undoJournal != nullptr)
               : std::string();
}

FindOutcome FindSession::run(SearchResults& results, const ProgressEvent& progress,
                             std::stop_token stop, RunSink* sink) {
    FindOutcome outcome;
    const auto failed = [&](const std::string& why) {
        outcome.failed = true;
        outcome.message = runError(m_request.replacing, why);
    };
    clearMatchResults(results);
    try {
        scanFiles(m_folders, m_files, m_specs, m_request.replaceInPlace, results, progress, stop,
                  m_request.threads, sink);
    } catch (const ReplaceStoppedError& e) {
        failed(e.what());
        outcome.replaced = e.replaced;
        outcome.notTouched = e.notTouched;
    } catch (const std::exception& e) {
        failed(e.what());
    }
    return outcome;
}

} // namespace kestrava::search
