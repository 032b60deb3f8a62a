// The script editing rules: items added, inserted, changed, deleted and moved.
#include "kes_uScriptEdit.h"

#include <algorithm>

namespace kes {

namespace {

size_t At(int32_t index) {
    return static_cast<size_t>(index);
}

int32_t LastIndex(const TkesScript& script) {
    return static_cast<int32_t>(script.Entries.size()) - 1;
}

bool IsFolderFile(const TkesScript& script, int32_t index) {
    return script.Entries[At(index)].EntryKind == sekFolderFile;
}

// The index one past the last member of the group that starts at `start`.
int32_t GroupEnd(const TkesScript& script, int32_t start) {
    int32_t end = start + 1;
    while (end <= LastIndex(script) && !IsFolderFile(script, end))
        ++end;
    return end;
}

// The nearest Folder(s)/File(s) item before `index`, or -1.
int32_t PreviousFolderFile(const TkesScript& script, int32_t index) {
    for (int32_t i = index - 1; i >= 0; --i)
        if (IsFolderFile(script, i))
            return i;
    return -1;
}

void Edited(TkesScript& script) {
    NumberScriptEntries(script);
    script.Changed = true;
}

// A new group starts when the typed folders or files differ from the governing ones, or when
// nothing governs the place at all.
bool StartsNewGroup(const TkesFolderFile& governing, const TkesSpecs& typed) {
    return governing.Folders.empty() || typed.Folders != governing.Folders ||
           typed.Files != governing.Files;
}

TkesAcceptOutcome AcceptNewItem(TkesScript& script, const TkesSpecs& typed) {
    const bool appending = script.State == ssAppend;
    const int32_t before = appending ? LastIndex(script) : script.CurrentEntry - 1;
    const bool newGroup = StartsNewGroup(GoverningFolderFile(script, before), typed);
    if (newGroup && (typed.Folders.empty() || typed.Files.empty()))
        return aoNeedFoldersFiles;
    if (!newGroup && typed.Find.empty())
        return aoNeedFind;
    if (newGroup) {
        if (appending)
            AppendScriptItem(script, sekFolderFile, typed.Folders, typed.Files, "");
        else
            InsertScriptItem(script, sekFolderFile, typed.Folders, typed.Files, script.CurrentEntry,
                             "");
    }
    if (!typed.Find.empty()) {
        if (appending) {
            AppendScriptItem(script, sekFindReplace, typed.Find, typed.Replace, typed.Options);
        } else {
            if (newGroup)
                ++script.CurrentEntry; // past the Folder(s)/File(s) item just inserted
            InsertScriptItem(script, sekFindReplace, typed.Find, typed.Replace, script.CurrentEntry,
                             typed.Options);
        }
    }
    Edited(script);
    return aoAccepted;
}

TkesAcceptOutcome AcceptChange(TkesScript& script, const TkesSpecs& typed) {
    if (script.CurrentEntry < 0)
        return aoAccepted;
    if (IsFolderFile(script, script.CurrentEntry)) {
        if (typed.Folders.empty() || typed.Files.empty())
            return aoNeedFoldersFiles;
    } else if (typed.Find.empty()) {
        return aoNeedFind;
    }
    ChangeScriptItem(script, script.CurrentEntry, typed.Folders, typed.Files, "", typed.Replace,
                     typed.Find);
    Edited(script);
    return aoAccepted;
}

// Moves the block [first, middle) behind the block [middle, last); `current` follows the item
// it named.
void SwapBlocks(TkesScript& script, int32_t first, int32_t middle, int32_t last) {
    auto begin = script.Entries.begin();
    std::rotate(begin + first, begin + middle, begin + last);
    const int32_t current = script.CurrentEntry;
    if (current >= first && current < middle)
        script.CurrentEntry = current + (last - middle);
    else if (current >= middle && current < last)
        script.CurrentEntry = current - (middle - first);
}

} // namespace

TkesFolderFile GoverningFolderFile(const TkesScript& script, int32_t index) {
    if (index > LastIndex(script))
        index = LastIndex(script);
    for (int32_t i = index; i >= 0; --i) {
        const TkesScriptEntry& entry = script.Entries[At(i)];
        if (entry.EntryKind == sekFolderFile)
            return {entry.Text1, entry.Text2};
    }
    return {};
}

void AppendScriptItem(TkesScript& script, TkesScriptEntryKind kind, const std::string& text1,
                      const std::string& text2, const std::string& text3) {
    script.Entries.push_back({0, 0, kind, text1, text2, text3});
    script.CurrentEntry = LastIndex(script);
}

void InsertScriptItem(TkesScript& script, TkesScriptEntryKind kind, const std::string& text1,
                      const std::string& text2, int32_t index, const std::string& text3) {
    index = std::clamp(index, 0, LastIndex(script) + 1);
    script.Entries.insert(script.Entries.begin() + index, {0, 0, kind, text1, text2, text3});
    if (script.CurrentEntry < 0)
        script.CurrentEntry = 0; // the script's first item is always current
}

void ChangeScriptItem(TkesScript& script, int32_t index, const std::string& folders,
                      const std::string& files, const std::string& options,
                      const std::string& replace, const std::string& find) {
    TkesScriptEntry& entry = script.Entries.at(At(index));
    if (entry.EntryKind == sekFolderFile) {
        entry.Text1 = folders;
        entry.Text2 = files;
    } else {
        entry.Text1 = find;
        entry.Text2 = replace;
        entry.Text3 = options;
    }
}

TkesAcceptOutcome AcceptScriptItem(TkesScript& script, const TkesSpecs& typed) {
    switch (script.State) {
    case ssAppend:
    case ssInsert:
        return AcceptNewItem(script, typed);
    case ssChange:
        return AcceptChange(script, typed);
    default:
        return aoAccepted;
    }
}

bool DeleteScriptItem(TkesScript& script) {
    const int32_t current = script.CurrentEntry;
    if (current < 0)
        return true;
    if (current == 0 && LastIndex(script) >= 1 && !IsFolderFile(script, 1))
        return false;
    script.Entries.erase(script.Entries.begin() + current);
    script.CurrentEntry = std::min(current, LastIndex(script));
    Edited(script);
    return true;
}

bool CanMoveScriptItem(const TkesScript& script, bool up) {
    const int32_t i = script.CurrentEntry;
    if (i < 0 || (up && i < 1) || (!up && i >= LastIndex(script)))
        return false;
    if (IsFolderFile(script, i)) {
        if (up)
            return PreviousFolderFile(script, i) >= 0;
        return GroupEnd(script, i) <= LastIndex(script); // a group follows
    }
    // A Find/Replace item that heads its group may only go up into a group before it.
    if (up && IsFolderFile(script, i - 1))
        return PreviousFolderFile(script, i - 1) >= 0;
    return true;
}

bool MoveScriptItem(TkesScript& script, bool up) {
    if (!CanMoveScriptItem(script, up))
        return false;
    const int32_t i = script.CurrentEntry;
    if (IsFolderFile(script, i)) {
        if (up)
            SwapBlocks(script, PreviousFolderFile(script, i), i, GroupEnd(script, i));
        else
            SwapBlocks(script, i, GroupEnd(script, i), GroupEnd(script, GroupEnd(script, i)));
    } else if (up) {
        SwapBlocks(script, i - 1, i, i + 1);
    } else {
        SwapBlocks(script, i, i + 1, i + 2);
    }
    Edited(script);
    return true;
}

} // namespace kes
