// A temporary folder tree for the search and script tests, and a search set up the way a Find
// press sets it up.
#pragma once

#include "../util/util_test_support.h"
#include "search/search.h"

#include <map>

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
        std::string full = path(relative);
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

// Every file below the folder with its bytes, as "/path=bytes" lines in path order.
inline std::string filesBelow(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().string().substr(folder.size())] =
                kestest::readFile(entry.path().string());
    std::string text;
    for (const auto& [name, bytes] : files)
        text.append(name).append("=").append(bytes).append("\n");
    return text;
}

// Both entries parsed the way a press parses them (files first).
struct Entries {
    Entries(const std::string& folderEntry, const std::string& fileEntry) {
        parseFilesToSearch(fileEntry, files);
        parseFoldersToSearch(folderEntry, folders);
    }
    FolderSpecs folders;
    FileMaskSpecs files;
};

// What a walk of the entries lists: each item as its path from its top folder, folders ending
// in "/", a top folder as "<top>" (or "<missing>" when it does not exist).
inline std::vector<std::string> listScan(const std::string& folders, const std::string& files,
                                         const ScanListOptions& options = {},
                                         int32_t* count = nullptr) {
    const Entries entries(folders, files);
    FileList list;
    int32_t fileCount = -1;
    buildScanList(entries.folders, entries.files, list, fileCount, options);
    if (count != nullptr)
        *count = fileCount;
    std::vector<std::string> out;
    for (const FileListItem& item : list) {
        std::string path = item.isFile ? item.name : item.name + "/";
        for (int32_t i = item.parentIndex; i >= 0 && list[i].parentIndex >= 0;
             i = list[i].parentIndex)
            path.insert(0, list[i].name + "/");
        out.push_back(item.parentIndex >= 0 ? path : item.exists ? "<top>" : "<missing>");
    }
    return out;
}

// Compiles find (and replace, when given) as a press would, then searches the entries.
// plainEngine compiles without study: the library's interpreter alone, with no byte search.
inline SearchResults searchTree(const std::string& folders, const std::string& files,
                                const std::string& find, const std::string& replace = "",
                                bool inPlace = true, const ProgressEvent& progress = {},
                                const std::stop_token& stop = {}, int32_t threads = 0,
                                bool caseSensitive = false, bool plainEngine = false) {
    CompiledRequest request;
    if (plainEngine) {
        regex::PatternOptions options = request.regEx.defaultPatternOptions();
        options.include(regex::PatternOption::NoStudy);
        request.regEx.setDefaultPatternOptions(options);
    }
    const std::string errors =
        prepareFindReplace({"-", "-", find, replace, ""}, !replace.empty(), caseSensitive, request);
    if (!errors.empty())
        throw std::runtime_error(errors);
    const Entries entries(folders, files);
    SearchResults results;
    scanFiles(entries.folders, entries.files, request, inPlace, results, progress, stop, threads);
    return results;
}

} // namespace kestrava::util::testing
