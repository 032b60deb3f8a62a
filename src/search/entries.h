// The Folder(s) and File(s) entries as records: each folder with its subfolders or not and its
// exclusions, each file mask with its exclusions.
#pragma once

#include <string>
#include <vector>

namespace kestrava::search {

struct FolderSpec {
    std::string folder; // trimmed, used as typed
    bool includeSubfolders = false;
    // Paths relative to Folder, trimmed; each a name or a mask ("*" and "?" within one folder
    // name, letter case ignored). A trailing "/" is ignored.
    std::vector<std::string> excludedFolders;
};
using FolderSpecs = std::vector<FolderSpec>;

struct FileMaskSpec {
    std::string fileMask;                   // "*" and "?" wildcards, letter case ignored
    std::vector<std::string> excludedFiles; // names or masks as fileMask ("[" is no wildcard)
};
using FileMaskSpecs = std::vector<FileMaskSpec>;

// Appends one record per "|"-separated specification; an empty text appends nothing. On a
// specification that cannot be divided, empties `folders` and throws std::runtime_error
// "Invalid Syntax for Folders To Search: " + the piece that could not be divided.
void parseFoldersToSearch(const std::string& text, FolderSpecs& folders);
// The same for file masks; the message begins "Invalid Syntax for Files To Search: ".
void parseFilesToSearch(const std::string& text, FileMaskSpecs& files);

// Parse only to check an entry, as a box does when it is left or a stored history is loaded;
// throws what the parsers throw.
void validateFoldersEntry(const std::string& text);
void validateFilesEntry(const std::string& text);

// The texts shown when a Folder(s) or File(s) entry is rejected on leaving its box. The folders
// text ends with CR LF and is followed directly by the exception's message; the files text is
// shown alone.
extern const char* const kInvalidFoldersFormatText;
extern const char* const kInvalidFilesFormatText;

} // namespace kestrava::search
