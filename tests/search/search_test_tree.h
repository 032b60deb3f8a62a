// A temporary folder tree for the search and script tests, on the shared scratch folder of the
// util tests, and a search set up the way a Find press sets it up.
#pragma once

#include "../util/util_test_support.h"
#include "search/search.h"

namespace kestrava::util::testing {
using namespace kestrava::search;

using kestest::errorOf;

class TempTree {
  public:
    // The folder without its trailing "/", as a user would type it.
    std::string root() const { return m_folder.path().substr(0, m_folder.path().size() - 1); }
    std::string path(const std::string& relative) const { return m_folder.path() + relative; }
    // Writes the bytes, creating the file's folders; returns the full path.
    std::string write(const std::string& relative, const std::string& content) const {
        const std::string full = path(relative);
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        kestest::writeRaw(full, content);
        return full;
    }
    std::string read(const std::string& relative) const {
        return kestest::readFile(path(relative));
    }

  private:
    kestest::TempFolder m_folder;
};

// Parses both entries the way a press does (files first).
inline void parseBoth(const std::string& folders, const std::string& files,
                      FolderSpecs& folderSpecs, FileMaskSpecs& fileSpecs) {
    parseFilesToSearch(files, fileSpecs);
    parseFoldersToSearch(folders, folderSpecs);
}

// Compiles find (and replace, when given) as a press would, then searches the entries.
// plainEngine compiles without study: the library's interpreter alone, with no byte search.
inline SearchResults searchTree(const std::string& folders, const std::string& files,
                                const std::string& find, const std::string& replace = "",
                                bool inPlace = true, const ProgressEvent& progress = {},
                                std::stop_token stop = {}, int32_t threads = 0,
                                bool caseSensitive = false, bool plainEngine = false) {
    CompiledRequest specs;
    if (plainEngine) {
        regex::PatternOptions options = specs.regEx.defaultPatternOptions();
        options.include(regex::PatternOption::NoStudy);
        specs.regEx.setDefaultPatternOptions(options);
    }
    const std::string errors =
        prepareFindReplace({"-", "-", find, replace, ""}, !replace.empty(), caseSensitive, specs);
    if (!errors.empty())
        throw std::runtime_error(errors);
    FolderSpecs folderSpecs;
    FileMaskSpecs fileSpecs;
    parseBoth(folders, files, folderSpecs, fileSpecs);
    SearchResults results;
    scanFiles(folderSpecs, fileSpecs, specs, inPlace, results, progress, std::move(stop), threads);
    return results;
}

} // namespace kestrava::util::testing
