// Editing a script item by item, as the main window's item editor does: adding, inserting,
// changing, deleting and moving items, and the Accept rules that decide when a new group starts.
// Plain functions on Script, so the rules can be checked without a window.
#pragma once

#include "script/script.h"
#include "search/search.h"

#include <cstdint>
#include <string>

namespace kestrava::script {

// The Folders and Files of the nearest Folder(s)/File(s) item at or before index; both empty
// when index is negative or no such item exists.
struct FolderFile {
    std::string folders;
    std::string files;
};
FolderFile governingFolderFile(const Script& script, int32_t index);

// Adds an item at the end; it becomes the current item.
void appendScriptItem(Script& script, ScriptEntry entry);
// Inserts an item at index, moving the items from there one place on; currentEntry is kept.
void insertScriptItem(Script& script, ScriptEntry entry, int32_t index);
// Overwrites an item's texts: Folders and Files for a Folder(s)/File(s) item; Find, Replace
// With and Options for a Find/Replace item.
void changeScriptItem(Script& script, int32_t index, const std::string& folders,
                      const std::string& files, const std::string& options,
                      const std::string& replace, const std::string& find);

enum class AcceptOutcome : uint8_t {
    Accepted,         // stored, numbered, Changed set
    NeedFoldersFiles, // "Folders and Files must be defined"; nothing changed
    NeedFind,         // "Find expression must be defined"; nothing changed
};
inline constexpr const char* kNeedFoldersFilesText = "Folders and Files must be defined";
inline constexpr const char* kNeedFindText = "Find expression must be defined";

// Stores the typed criteria as the edit says (Append, Insert or Change). A typed folder or file
// that differs from the group before the new item's place starts a new group. ItemEdit::None
// accepts nothing and returns Accepted.
AcceptOutcome acceptScriptItem(Script& script, ItemEdit edit, const search::Criteria& typed);

inline constexpr const char* kDeleteRefusedText =
    "Unable to Delete as a Folder(s)/File(s) entry is required before the following "
    "Find/Replace entry";

// Removes the current item (the next one, or the new last one, becomes current). False, with
// nothing changed, when that would leave a Find/Replace item first. True for an empty script.
bool deleteScriptItem(Script& script);

// True when the current item can move one place up (down): a Find/Replace item within its
// group or into the neighbouring group, a Folder(s)/File(s) item with its whole group past the
// neighbouring group. Never lets a Find/Replace item come before the first Folder(s)/File(s).
bool canMoveScriptItem(const Script& script, bool up);
// Makes the move (the moved item stays current), renumbers and sets Changed; false and nothing
// changed when canMoveScriptItem is false.
bool moveScriptItem(Script& script, bool up);

} // namespace kestrava::script
