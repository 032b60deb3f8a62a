// The in-memory script: clearing, numbering, item numbers and the line view the grid draws.
#include "script/kes_uScript.h"

namespace kes {

namespace {

void AddLine(TkesScriptLines& lines, TkesScriptLineKind kind, int32_t index) {
    lines.push_back({kind, index});
}

void AddEntryLines(TkesScriptLines& lines, const TkesScriptEntry& entry, int32_t index) {
    if (entry.EntryKind == sekFolderFile) {
        // The File(s) row is there even when Files is empty, so the item always shows both.
        AddLine(lines, slkFolders, index);
        AddLine(lines, slkFiles, index);
    } else {
        AddLine(lines, slkFind, index);
        if (!entry.Text2.empty())
            AddLine(lines, slkReplace, index);
        if (!entry.Text3.empty())
            AddLine(lines, slkOptions, index);
    }
    AddLine(lines, slkBlank, index);
}

} // namespace

void ClearScript(TkesScript& script) {
    script = TkesScript{};
}

void NumberScriptEntries(TkesScript& script) {
    int32_t group = 0;
    int32_t member = 0;
    for (TkesScriptEntry& entry : script.Entries) {
        if (entry.EntryKind == sekFolderFile) {
            ++group;
            member = 0;
            entry.SubItemNo = 0;
        } else {
            entry.SubItemNo = ++member;
        }
        entry.ItemNo = group;
    }
}

void BuildScriptLines(TkesScript& script) {
    TkesScriptLines& lines = script.Lines;
    lines.clear();
    const int32_t count = static_cast<int32_t>(script.Entries.size());
    for (int32_t i = 0; i < count; ++i) {
        if (script.State == ssInsert && i == script.CurrentEntry) {
            AddLine(lines, slkNewItem, i - 1);
            AddLine(lines, slkBlank, i - 1);
        }
        AddEntryLines(lines, script.Entries[static_cast<size_t>(i)], i);
    }
    if (script.State == ssAppend) {
        const int32_t last = count - 1;
        AddLine(lines, slkBlank, last);
        AddLine(lines, slkNewItem, last);
        AddLine(lines, slkBlank, last);
    }
}

std::string ScriptItemNumber(const TkesScriptEntry& entry) {
    std::string number = std::to_string(entry.ItemNo);
    if (entry.SubItemNo > 0)
        number += "." + std::to_string(entry.SubItemNo);
    return number;
}

} // namespace kes
