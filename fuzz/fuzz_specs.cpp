// Fuzzes the Folder(s) and File(s) parsers with the same text: they must either divide it into
// trimmed records or reject it with an exception and an emptied list.
#include "fuzz_input.h"
#include "search/search.h"

#include <stdexcept>

namespace {

using kestrava::fuzz::require;

// Every stored piece is trimmed of bytes 0..32; bytes 0x80 and above are text and must stay.
bool trimmed(const std::string& text) {
    if (text.empty())
        return true;
    return static_cast<unsigned char>(text.front()) > 32 &&
           static_cast<unsigned char>(text.back()) > 32;
}

bool allTrimmed(const std::vector<std::string>& items) {
    for (const auto& item : items)
        if (!trimmed(item))
            return false;
    return true;
}

void checkFolders(const std::string& text) {
    kestrava::search::FolderSpecs folders;
    try {
        kestrava::search::parseFoldersToSearch(text, folders);
    } catch (const std::runtime_error&) {
        require(folders.empty(), "a rejected Folder(s) entry leaves no records");
        return;
    }
    require(text.empty() == folders.empty(), "a non-empty Folder(s) entry gives a record");
    for (const auto& folder : folders) {
        require(trimmed(folder.folder), "Folder is trimmed");
        require(allTrimmed(folder.excludedFolders), "excluded folders are trimmed");
    }
}

void checkFiles(const std::string& text) {
    kestrava::search::FileMaskSpecs files;
    try {
        kestrava::search::parseFilesToSearch(text, files);
    } catch (const std::runtime_error&) {
        require(files.empty(), "a rejected File(s) entry leaves no records");
        return;
    }
    require(text.empty() == files.empty(), "a non-empty File(s) entry gives a record");
    for (const auto& file : files) {
        require(trimmed(file.fileMask), "FileMask is trimmed");
        require(allTrimmed(file.excludedFiles), "excluded files are trimmed");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = kestrava::fuzz::inputText(data, size);
    checkFolders(text);
    checkFiles(text);
    return 0;
}
