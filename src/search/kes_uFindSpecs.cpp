// Parsing of the Folder(s) and File(s) entries into specification records.
#include "search/kes_uFind.h"

#include <stdexcept>

namespace kes {

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

std::vector<std::string> SplitSpecifications(const std::string& text) {
    std::vector<std::string> pieces;
    Split("\\|", text, false, pieces);
    return pieces;
}

std::vector<std::string> ExclusionList(const TMatchResult& match, int32_t group) {
    std::string listText;
    GroupValue(match, group, listText);
    std::vector<std::string> items;
    if (listText.empty())
        return items;
    Split(",", listText, false, items);
    for (std::string& item : items)
        item = TrimControl(item);
    return items;
}

} // namespace

void ParseFoldersToSearch(const std::string& text, TkesFoldersToSearch& folders) {
    if (text.empty())
        return;
    for (const std::string& piece : SplitSpecifications(text)) {
        TMatchResult match;
        if (!Match(kFolderSpecPattern, piece, false, match)) {
            folders.clear();
            throw std::runtime_error("Invalid Syntax for Folders To Search: " + piece);
        }
        TkesFolderToSearch folder;
        std::string value;
        GroupValue(match, 1, value);
        folder.Folder = TrimControl(value);
        GroupValue(match, 2, value);
        folder.IncludeSubfolders = value == "<+>";
        folder.ExcludedFolders = ExclusionList(match, 4);
        folders.push_back(std::move(folder));
    }
}

void ParseFilesToSearch(const std::string& text, TkesFilesToSearch& files) {
    if (text.empty())
        return;
    for (const std::string& piece : SplitSpecifications(text)) {
        TMatchResult match;
        if (!Match(kFileSpecPattern, piece, false, match)) {
            files.clear();
            throw std::runtime_error("Invalid Syntax for Files To Search: " + piece);
        }
        TkesFileToSearch file;
        std::string value;
        GroupValue(match, 1, value);
        file.FileMask = TrimControl(value);
        file.ExcludedFiles = ExclusionList(match, 3);
        files.push_back(std::move(file));
    }
}

void ValidateFoldersEntry(const std::string& text) {
    TkesFoldersToSearch folders;
    ParseFoldersToSearch(text, folders);
}

void ValidateFilesEntry(const std::string& text) {
    TkesFilesToSearch files;
    ParseFilesToSearch(text, files);
}

} // namespace kes
