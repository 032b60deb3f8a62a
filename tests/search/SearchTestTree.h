// A temporary folder tree for the search tests, removed with everything in it afterwards.
#pragma once

#include "search/kes_uFind.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace kes::testing {

class TempTree {
  public:
    TempTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kes-search-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        fRoot = pattern;
    }
    ~TempTree() {
        std::error_code ignored;
        std::filesystem::permissions(fRoot, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(fRoot, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& Root() const { return fRoot; }
    std::string Path(const std::string& relative) const { return fRoot + "/" + relative; }
    // Writes a file, creating its folders.
    std::string Write(const std::string& relative, const std::string& content) const {
        const std::string path = Path(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::string Read(const std::string& relative) const {
        std::ifstream in(Path(relative), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    bool Exists(const std::string& relative) const {
        return std::filesystem::exists(std::filesystem::symlink_status(Path(relative)));
    }

  private:
    std::string fRoot;
};

inline bool RunningAsRoot() {
    return geteuid() == 0;
}

// Parses both entries the way a press does (files first).
inline void ParseBoth(const std::string& folders, const std::string& files,
                      TkesFoldersToSearch& folderSpecs, TkesFilesToSearch& fileSpecs) {
    ParseFilesToSearch(files, fileSpecs);
    ParseFoldersToSearch(folders, folderSpecs);
}

// Compiles find (and replace, when given) as a press would, then searches the entries.
inline TkesMatchResults Search(const std::string& folders, const std::string& files,
                               const std::string& find, const std::string& replace = "",
                               bool inPlace = true, const TkesProgressEvent& progress = {},
                               std::stop_token stop = {}) {
    TFindReplaceSpecs specs;
    const std::string errors =
        PrepareFindReplace({"-", "-", find, replace, ""}, !replace.empty(), false, specs);
    if (!errors.empty())
        throw std::runtime_error(errors);
    TkesFoldersToSearch folderSpecs;
    TkesFilesToSearch fileSpecs;
    ParseBoth(folders, files, folderSpecs, fileSpecs);
    TkesMatchResults results;
    ScanFiles(folderSpecs, fileSpecs, specs, inPlace, results, progress, std::move(stop));
    return results;
}

} // namespace kes::testing
