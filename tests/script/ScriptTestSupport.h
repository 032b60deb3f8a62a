// Shared helpers of the script tests: a scratch folder removed afterwards, and short builders
// for script items.
#pragma once

#include "script/kes_uScript.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace kes::test {

class TScratch {
  public:
    TScratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kes-script-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        fRoot = pattern;
    }
    ~TScratch() {
        std::error_code ignored;
        std::filesystem::remove_all(fRoot, ignored);
    }
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;

    const std::string& Root() const { return fRoot; }
    std::string Path(const std::string& relative) const { return fRoot + "/" + relative; }
    // Writes the bytes, creating the file's folders; returns the full path.
    std::string Write(const std::string& relative, const std::string& bytes) const {
        const std::string path = Path(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string Read(const std::string& relative) const { return ReadBytes(Path(relative)); }
    static std::string ReadBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

  private:
    std::string fRoot;
};

inline TkesScriptEntry FolderItem(std::string folders, std::string files) {
    return {0, 0, sekFolderFile, std::move(folders), std::move(files), ""};
}

inline TkesScriptEntry FindItem(std::string find, std::string replace = "",
                                std::string options = "") {
    return {0, 0, sekFindReplace, std::move(find), std::move(replace), std::move(options)};
}

// A numbered script of the items, first item current, line view built.
inline TkesScript MakeScript(TkesScriptEntries entries, TkesScriptState state = ssViewing) {
    TkesScript script;
    script.Entries = std::move(entries);
    script.State = state;
    script.CurrentEntry = script.Entries.empty() ? -1 : 0;
    NumberScriptEntries(script);
    BuildScriptLines(script);
    return script;
}

} // namespace kes::test
