// A temporary folder tree for the search and script tests, on the shared scratch folder of the
// util tests, and a search set up the way a Find press sets it up.
#pragma once

#include "../util/UtilTestSupport.h"
#include "search/kes_uFind.h"

namespace kes::testing {

using kestest::ErrorOf;

class TempTree {
  public:
    // The folder without its trailing "/", as a user would type it.
    std::string Root() const { return fFolder.Path().substr(0, fFolder.Path().size() - 1); }
    std::string Path(const std::string& relative) const { return fFolder.Path() + relative; }
    // Writes the bytes, creating the file's folders; returns the full path.
    std::string Write(const std::string& relative, const std::string& content) const {
        const std::string path = Path(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        kestest::WriteRaw(path, content);
        return path;
    }
    std::string Read(const std::string& relative) const {
        return kestest::ReadFile(Path(relative));
    }

  private:
    kestest::TempFolder fFolder;
};

// Parses both entries the way a press does (files first).
inline void ParseBoth(const std::string& folders, const std::string& files,
                      TkesFoldersToSearch& folderSpecs, TkesFilesToSearch& fileSpecs) {
    ParseFilesToSearch(files, fileSpecs);
    ParseFoldersToSearch(folders, folderSpecs);
}

// Compiles find (and replace, when given) as a press would, then searches the entries.
// plainEngine compiles without study: the library's interpreter alone, with no byte search.
inline TkesMatchResults Search(const std::string& folders, const std::string& files,
                               const std::string& find, const std::string& replace = "",
                               bool inPlace = true, const TkesProgressEvent& progress = {},
                               std::stop_token stop = {}, int32_t threads = 0,
                               bool caseSensitive = false, bool plainEngine = false) {
    TFindReplaceSpecs specs;
    if (plainEngine) {
        TPatternOptions options = specs.RegEx.DefaultPatternOptions();
        options.Include(coNoStudy);
        specs.RegEx.SetDefaultPatternOptions(options);
    }
    const std::string errors =
        PrepareFindReplace({"-", "-", find, replace, ""}, !replace.empty(), caseSensitive, specs);
    if (!errors.empty())
        throw std::runtime_error(errors);
    TkesFoldersToSearch folderSpecs;
    TkesFilesToSearch fileSpecs;
    ParseBoth(folders, files, folderSpecs, fileSpecs);
    TkesMatchResults results;
    ScanFiles(folderSpecs, fileSpecs, specs, inPlace, results, progress, std::move(stop), threads);
    return results;
}

} // namespace kes::testing
