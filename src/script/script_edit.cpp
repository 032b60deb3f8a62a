// The script editing rules: items added, inserted, changed, deleted and moved.
#include "script/script_edit.h"

#include <algorithm>

namespace kestrava::script {

namespace {

size_t at(int32_t index) {
    return static_cast<size_t>(index);
}

int32_t lastIndex(const Script& script) {
    return static_cast<int32_t>(script.entries.size()) - 1;
}

bool isFolderFile(const Script& script, int32_t index) {
    return script.entries[at(index)].isFolderFile();
}

// The index one past the last member of the group that starts at `start`.
int32_t groupEnd(const Script& script, int32_t start) {
    int32_t end = start + 1;
    while (end <= lastIndex(script) && !isFolderFile(script, end))
        ++end;
    return end;
}

// The nearest Folder(s)/File(s) item before `index`, or -1.
int32_t previousFolderFile(const Script& script, int32_t index) {
    for (int32_t i = index - 1; i >= 0; --i)
        if (isFolderFile(script, i))
            return i;
    return -1;
}

void edited(Script& script) {
    numberScriptEntries(script);
    script.changed = true;
}

// A new group starts when the typed folders or files differ from the governing ones, or when
// nothing governs the place at all.
bool startsNewGroup(const FolderFile& governing, const search::Criteria& typed) {
    return governing.folders.empty() || typed.folders != governing.folders ||
           typed.files != governing.files;
}

AcceptOutcome acceptNewItem(Script& script, bool appending, const search::Criteria& typed) {
    const int32_t before = appending ? lastIndex(script) : script.currentEntry - 1;
    const bool newGroup = startsNewGroup(governingFolderFile(script, before), typed);
    if (newGroup && (typed.folders.empty() || typed.files.empty()))
        return AcceptOutcome::NeedFoldersFiles;
    if (!newGroup && typed.find.empty())
        return AcceptOutcome::NeedFind;
    if (newGroup) {
        if (appending)
            appendScriptItem(script, ScriptEntry::folderFile(typed.folders, typed.files));
        else
            insertScriptItem(script, ScriptEntry::folderFile(typed.folders, typed.files),
                             script.currentEntry);
    }
    if (!typed.find.empty()) {
        if (appending) {
            appendScriptItem(script,
                             ScriptEntry::findReplace(typed.find, typed.replace, typed.options));
        } else {
            if (newGroup)
                ++script.currentEntry; // past the Folder(s)/File(s) item just inserted
            insertScriptItem(script,
                             ScriptEntry::findReplace(typed.find, typed.replace, typed.options),
                             script.currentEntry);
        }
    }
    edited(script);
    return AcceptOutcome::Accepted;
}

AcceptOutcome acceptChange(Script& script, const search::Criteria& typed) {
    if (script.currentEntry < 0)
        return AcceptOutcome::Accepted;
    if (isFolderFile(script, script.currentEntry)) {
        if (typed.folders.empty() || typed.files.empty())
            return AcceptOutcome::NeedFoldersFiles;
    } else if (typed.find.empty()) {
        return AcceptOutcome::NeedFind;
    }
    changeScriptItem(script, script.currentEntry, typed.folders, typed.files, "", typed.replace,
                     typed.find);
    edited(script);
    return AcceptOutcome::Accepted;
}

// Moves the block [first, middle) behind the block [middle, last); `current` follows the item
// it named.
void swapBlocks(Script& script, int32_t first, int32_t middle, int32_t last) {
    auto begin = script.entries.begin();
    std::rotate(begin + first, begin + middle, begin + last);
    const int32_t current = script.currentEntry;
    if (current >= first && current < middle)
        script.currentEntry = current + (last - middle);
    else if (current >= middle && current < last)
        script.currentEntry = current - (middle - first);
}

} // namespace

FolderFile governingFolderFile(const Script& script, int32_t index) {
    if (index > lastIndex(script))
        index = lastIndex(script);
    for (int32_t i = index; i >= 0; --i) {
        const ScriptEntry& entry = script.entries[at(i)];
        if (entry.isFolderFile())
            return {entry.folders, entry.files};
    }
    return {};
}

void appendScriptItem(Script& script, ScriptEntry entry) {
    script.entries.push_back(std::move(entry));
    script.currentEntry = lastIndex(script);
}

void insertScriptItem(Script& script, ScriptEntry entry, int32_t index) {
    index = std::clamp(index, 0, lastIndex(script) + 1);
    script.entries.insert(script.entries.begin() + index, std::move(entry));
    if (script.currentEntry < 0)
        script.currentEntry = 0; // the script's first item is always current
}

void changeScriptItem(Script& script, int32_t index, const std::string& folders,
                      const std::string& files, const std::string& options,
                      const std::string& replace, const std::string& find) {
    ScriptEntry& entry = script.entries.at(at(index));
    if (entry.isFolderFile()) {
        entry.folders = folders;
        entry.files = files;
    } else {
        entry.find = find;
        entry.replace = replace;
        entry.options = options;
    }
}

AcceptOutcome acceptScriptItem(Script& script, ItemEdit edit, const search::Criteria& typed) {
    switch (edit) {
    case ItemEdit::Append:
    case ItemEdit::Insert:
        return acceptNewItem(script, edit == ItemEdit::Append, typed);
    case ItemEdit::Change:
        return acceptChange(script, typed);
    default:
        return AcceptOutcome::Accepted;
    }
}

bool deleteScriptItem(Script& script) {
    const int32_t current = script.currentEntry;
    if (current < 0)
        return true;
    if (current == 0 && lastIndex(script) >= 1 && !isFolderFile(script, 1))
        return false;
    script.entries.erase(script.entries.begin() + current);
    script.currentEntry = std::min(current, lastIndex(script));
    edited(script);
    return true;
}

bool canMoveScriptItem(const Script& script, bool up) {
    const int32_t i = script.currentEntry;
    if (i < 0 || (up && i < 1) || (!up && i >= lastIndex(script)))
        return false;
    if (isFolderFile(script, i)) {
        if (up)
            return previousFolderFile(script, i) >= 0;
        return groupEnd(script, i) <= lastIndex(script); // a group follows
    }
    // A Find/Replace item that heads its group may only go up into a group before it.
    if (up && isFolderFile(script, i - 1))
        return previousFolderFile(script, i - 1) >= 0;
    return true;
}

bool moveScriptItem(Script& script, bool up) {
    if (!canMoveScriptItem(script, up))
        return false;
    const int32_t i = script.currentEntry;
    if (isFolderFile(script, i)) {
        if (up)
            swapBlocks(script, previousFolderFile(script, i), i, groupEnd(script, i));
        else
            swapBlocks(script, i, groupEnd(script, i), groupEnd(script, groupEnd(script, i)));
    } else if (up) {
        swapBlocks(script, i - 1, i, i + 1);
    } else {
        swapBlocks(script, i, i + 1, i + 2);
    }
    edited(script);
    return true;
}

} // namespace kestrava::script
