// Fuzzes the Folder(s) and File(s) parsers with the same text: they must either divide it into
// trimmed records or reject it with an exception and an emptied list.
#include "fuzz_input.h"
#include "search/kes_uFind.h"

#include <stdexcept>

namespace {

using kes::fuzz::Require;

// Every stored piece is trimmed of bytes 0..32; bytes 0x80 and above are text and must stay.
bool Trimmed(const std::string& text) {
    if (text.empty())
        return true;
    return static_cast<unsigned char>(text.front()) > 32 &&
           static_cast<unsigned char>(text.back()) > 32;
}

bool AllTrimmed(const std::vector<std::string>& items) {
    for (const auto& item : items)
        if (!Trimmed(item))
            return false;
    return true;
}

void CheckFolders(const std::string& text) {
    kes::TkesFoldersToSearch folders;
    try {
        kes::ParseFoldersToSearch(text, folders);
    } catch (const std::runtime_error&) {
        Require(folders.empty(), "a rejected Folder(s) entry leaves no records");
        return;
    }
    Require(text.empty() == folders.empty(), "a non-empty Folder(s) entry gives a record");
    for (const auto& folder : folders) {
        Require(Trimmed(folder.Folder), "Folder is trimmed");
        Require(AllTrimmed(folder.ExcludedFolders), "excluded folders are trimmed");
    }
}

void CheckFiles(const std::string& text) {
    kes::TkesFilesToSearch files;
    try {
        kes::ParseFilesToSearch(text, files);
    } catch (const std::runtime_error&) {
        Require(files.empty(), "a rejected File(s) entry leaves no records");
        return;
    }
    Require(text.empty() == files.empty(), "a non-empty File(s) entry gives a record");
    for (const auto& file : files) {
        Require(Trimmed(file.FileMask), "FileMask is trimmed");
        Require(AllTrimmed(file.ExcludedFiles), "excluded files are trimmed");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = kes::fuzz::InputText(data, size);
    CheckFolders(text);
    CheckFiles(text);
    return 0;
}
