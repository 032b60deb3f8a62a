#include "search/find_session.h"

namespace kestrava::search {

std::string FindSession::check() {
    m_specs.options = m_request.scan;
    return prepareFindReplace(m_request.criteria, m_request.replacing, m_request.caseSensitive,
                              m_specs);
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
        outcome.message = std::string("Error during ") +
                          (m_request.replacing ? "Replace" : "Find") + ": " +
                          (why.empty() ? std::string("unknown error") : why);
    };
    clearMatchResults(results);
    try {
        FileMaskSpecs files;
        FolderSpecs folders;
        parseFilesToSearch(m_request.criteria.files, files);
        parseFoldersToSearch(m_request.criteria.folders, folders);
        scanFiles(folders, files, m_specs, m_request.replaceInPlace, results, progress, stop,
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
