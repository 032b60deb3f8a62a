// Parsing of the Folder(s) and File(s) entries into folder and file-mask records.
#include "search/search.h"
#include "util/text.h"

#include <stdexcept>

namespace kestrava::search {

const char* const kInvalidFoldersFormatText =
    "Invalid format for Folders to search:\r\n"
    "Correct format is:\r\n"
    "FolderSpec | FolderSpec | ......\r\n"
    "where FolderSpec = drive:path[<+>][<excluding subdir,subdir,...>]\r\n"
    "and the terms inside [] are optional\r\n"
    "e.g. c:\\Temp<+><excluding abc,def> | d:\\temp\r\n";

const char* const kInvalidFilesFormatText =
    "Invalid format for Files to search:\r\n"
    "Correct format is:\r\n"
    "FileSpec | FileSpec | ......\r\n"
    "where FileSpec = FileMask<exclude FileMask,FileMask,...>]\r\n"
    "and the terms inside [] are optional\r\n"
    "e.g. *.html<excluding abc.html> | *.pas";

namespace {

// The lazy group 1 takes the shortest text after which the optional marker and exclusion
// group can still reach the end; only one blank may sit between "<+>" and the exclusions.
const char* const kFolderSpecPattern = "\\s*(.*?)(<\\+>)?\\s?(<excluding (.*?)>)?\\s*$";
const char* const kFileSpecPattern = "\\s*(.*?)\\s?(<excluding (.*?)>)?\\s*$";

std::vector<std::string> splitSpecifications(const std::string& text) {
    std::vector<std::string> pieces;
    regex::split("\\|", text, false, pieces);
    return pieces;
}

std::vector<std::string> exclusionList(const regex::MatchResult& match, int32_t group) {
    std::string listText;
    regex::groupValue(match, group, listText);
    std::vector<std::string> items;
    if (listText.empty())
        return items;
    regex::split(",", listText, false, items);
    for (std::string& item : items)
        item = util::trimControl(item);
    return items;
}

} // namespace

void parseFoldersToSearch(const std::string& text, FolderSpecs& folders) {
    if (text.empty())
        return;
    for (const std::string& piece : splitSpecifications(text)) {
        regex::MatchResult found;
        if (!match(kFolderSpecPattern, piece, false, found)) {
            folders.clear();
            throw std::runtime_error("Invalid Syntax for Folders To Search: " + piece);
        }
        FolderSpec folder;
        std::string value;
        regex::groupValue(found, 1, value);
        folder.folder = util::trimControl(value);
        regex::groupValue(found, 2, value);
        folder.includeSubfolders = value == "<+>";
        folder.excludedFolders = exclusionList(found, 4);
        folders.push_back(std::move(folder));
    }
}

void parseFilesToSearch(const std::string& text, FileMaskSpecs& files) {
    if (text.empty())
        return;
    for (const std::string& piece : splitSpecifications(text)) {
        regex::MatchResult found;
        if (!match(kFileSpecPattern, piece, false, found)) {
            files.clear();
            throw std::runtime_error("Invalid Syntax for Files To Search: " + piece);
        }
        FileMaskSpec file;
        std::string value;
        regex::groupValue(found, 1, value);
        file.fileMask = util::trimControl(value);
        file.excludedFiles = exclusionList(found, 3);
        files.push_back(std::move(file));
    }
}

void validateFoldersEntry(const std::string& text) {
    FolderSpecs folders;
    parseFoldersToSearch(text, folders);
}

void validateFilesEntry(const std::string& text) {
    FileMaskSpecs files;
    parseFilesToSearch(text, files);
}

} // namespace kestrava::search
