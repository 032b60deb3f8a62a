// The script: an ordered list of Folder(s)/File(s) items, each followed by the Find/Replace items
// it governs, with its numbering, the rows the script grid draws, the .ksc file format, and the
// New/Open/Save logic. Dialogs and questions are reached through ScriptDialogs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::script {

enum class ScriptEntryKind : uint8_t { FolderFile = 0, FindReplace = 1 };

// Classifies the lines of a script file and the rows of the line view.
enum class ScriptLineKind : uint8_t {
    Unknown = 0, // a file line that matches no keyword
    Folders = 1,
    Files = 2,
    Find = 3,
    Replace = 4,
    Options = 5,
    Blank = 6,
    NewItem = 7, // the placeholder row where an appended or inserted item will go
};

// An item being edited: none, a new one after the last item, a new one before the current item,
// or the current item changed.
enum class ItemEdit : uint8_t { None, Append, Insert, Change };

// One item: a Folder(s)/File(s) item uses folders and files, a Find/Replace item find, replace
// (empty: it only finds) and options.
struct ScriptEntry {
    int32_t itemNo = 0;    // derived: the group's number, from 1
    int32_t subItemNo = 0; // derived: 0 for Folder(s)/File(s), else the number within the group
    ScriptEntryKind kind = ScriptEntryKind::FolderFile;
    std::string folders;
    std::string files;
    std::string find;
    std::string replace;
    std::string options;

    static ScriptEntry folderFile(std::string folders, std::string files) {
        return {0,  0, ScriptEntryKind::FolderFile, std::move(folders), std::move(files), {},
                {}, {}};
    }
    static ScriptEntry findReplace(std::string find, std::string replace = {},
                                   std::string options = {}) {
        return {0,
                0,
                ScriptEntryKind::FindReplace,
                {},
                {},
                std::move(find),
                std::move(replace),
                std::move(options)};
    }
    bool isFolderFile() const { return kind == ScriptEntryKind::FolderFile; }
    // What the item's first line shows: its Folders or its Find expression.
    const std::string& heading() const { return isFolderFile() ? folders : find; }

    bool operator==(const ScriptEntry&) const = default;
};
using ScriptEntries = std::vector<ScriptEntry>;

// One row of the line view; entryIndex may be -1 for a placeholder in an empty script.
struct ScriptLine {
    ScriptLineKind lineKind = ScriptLineKind::Blank;
    int32_t entryIndex = -1;

    bool operator==(const ScriptLine&) const = default;
};
using ScriptLines = std::vector<ScriptLine>;

struct Script {
    std::string fileName; // empty for a script never read or written
    bool changed = false; // edits not yet written
    ScriptEntries entries;
    int32_t currentEntry = -1; // -1 exactly when Entries is empty
    ScriptLines lines;         // rebuilt by buildScriptLines
};

// ---- Model ----------------------------------------------------------------------------------

// No file name, unchanged, no items, no lines, no current item.
void clearScript(Script& script);
// Recomputes itemNo and subItemNo of every item from their order.
void numberScriptEntries(Script& script);
// Rebuilds Lines from Entries and currentEntry, with the placeholder rows of a new item when one
// is being appended or inserted.
void buildScriptLines(Script& script, ItemEdit edit = ItemEdit::None);
// The number the user sees: "2" for a Folder(s)/File(s) item, "2.3" for a Find/Replace item.
std::string scriptItemNumber(const ScriptEntry& entry);

// ---- The .ksc file --------------------------------------------------------------------------

// Line ends and the keyword field written before each value (12 columns).
inline constexpr std::string_view kScriptLineEnd = "\r\n";
inline constexpr std::string_view kScriptFoldersField = "Folder(s):  ";
inline constexpr std::string_view kScriptFilesField = "File(s):    ";
inline constexpr std::string_view kScriptFindField = "Find:       ";
inline constexpr std::string_view kScriptReplaceField = "Replace:    ";
inline constexpr std::string_view kScriptOptionsField = "Options:    ";
// What the file dialogs offer: the default extension and the filter (description|pattern).
inline constexpr std::string_view kScriptDefaultExt = "ksc";

// Splits text into lines at CR, LF or CR LF; a NUL ends the text; a last line without a line
// end counts, an empty text has no lines.
std::vector<std::string> splitScriptLines(std::string_view text);
// The kind of one file line by its first ten columns (exact, case-sensitive).
ScriptLineKind classifyScriptLine(std::string_view line);
// Replaces the items with those of a script text, checking every order rule. Throws
// std::runtime_error with the bare message ("Unknown line in script: " ...); on a throw the
// items read so far stay in `script`. Does not number, build lines or touch fileName.
void parseScriptText(Script& script, std::string_view text);
// Reads a script file: fileName := path, numbered, lines built, currentEntry 0 (or -1), not
// Changed. Any failure empties the script and throws std::runtime_error
// "Unable to load script file: " + path + CR LF + the cause.
void loadScript(Script& script, const std::string& path);
// The exact bytes writeScript writes (Options never written; an empty script gives "").
std::string scriptText(const Script& script);
// Writes the script whole and atomically; then fileName := path and Changed := false. Throws
// std::runtime_error "Unable to save Script to " + path + ": " + the cause, changing nothing.
void writeScript(Script& script, const std::string& path);

// ---- Save, New and Open ---------------------------------------------------------------------

enum class SaveAnswer : uint8_t { Yes, No, Cancel };

inline constexpr std::string_view kSaveChangedScriptQuestion =
    "Save changed script before continuing ?";

// What the script logic asks of the window (or of a test): the two file dialogs and the
// Yes/No/Cancel question. None of them reports failures; cancelling is a normal answer.
class ScriptDialogs {
  public:
    virtual ~ScriptDialogs() = default;
    // Shows the open dialog starting in initialFolder; false when cancelled.
    virtual bool chooseScriptToOpen(const std::string& initialFolder, std::string& path) = 0;
    // Shows the save dialog; false when cancelled.
    virtual bool chooseScriptToSave(std::string& path) = 0;
    // Asks the question with Yes, No and Cancel; closing the box counts as Cancel.
    virtual SaveAnswer askYesNoCancel(const std::string& question) = 0;
};

// The chosen save name with ".ksc" added when its file name has no extension.
std::string withScriptExtension(const std::string& path);
// Writes to fileName, or asks for a name first when there is none. True when written.
bool saveScript(Script& script, ScriptDialogs& dialogs);
// Asks for a name and writes there. False when the dialog is cancelled.
bool saveScriptAs(Script& script, ScriptDialogs& dialogs);
// The save-before-continuing question; true means the caller may go on. No empties the
// script at once; Yes saves (false when its dialog is cancelled).
bool saveChangedScript(Script& script, ScriptDialogs& dialogs);
// Starts an empty script after asking about unsaved changes; false when the user cancelled.
bool newScript(Script& script, ScriptDialogs& dialogs);
// Asks about unsaved changes, then lets the user pick a file in scriptsFolder and reads it;
// scriptsFolder becomes the file's folder (with its trailing "/"). False only when the question
// was cancelled; a cancelled dialog returns true. Reading failures propagate (see loadScript).
bool openScript(Script& script, ScriptDialogs& dialogs, std::string& scriptsFolder);

} // namespace kestrava::script
