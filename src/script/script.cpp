// The in-memory script: clearing, numbering, item numbers and the line view the grid draws.
#include "script/script.h"

namespace kestrava::script {

namespace {

void addLine(ScriptLines& lines, ScriptLineKind kind, int32_t index) {
    lines.push_back({kind, index});
}

void addEntryLines(ScriptLines& lines, const ScriptEntry& entry, int32_t index) {
    if (entry.isFolderFile()) {
        // The File(s) row is there even when Files is empty, so the item always shows both.
        addLine(lines, ScriptLineKind::Folders, index);
        addLine(lines, ScriptLineKind::Files, index);
    } else {
        addLine(lines, ScriptLineKind::Find, index);
        if (!entry.replace.empty())
            addLine(lines, ScriptLineKind::Replace, index);
        if (!entry.options.empty())
            addLine(lines, ScriptLineKind::Options, index);
    }
    addLine(lines, ScriptLineKind::Blank, index);
}

} // namespace

void clearScript(Script& script) {
    script = Script{};
}

void numberScriptEntries(Script& script) {
    int32_t group = 0;
    int32_t member = 0;
    for (ScriptEntry& entry : script.entries) {
        if (entry.isFolderFile()) {
            ++group;
            member = 0;
            entry.subItemNo = 0;
        } else {
            entry.subItemNo = ++member;
        }
        entry.itemNo = group;
    }
}

void buildScriptLines(Script& script, ItemEdit edit) {
    ScriptLines& lines = script.lines;
    lines.clear();
    const int32_t count = static_cast<int32_t>(script.entries.size());
    for (int32_t i = 0; i < count; ++i) {
        if (edit == ItemEdit::Insert && i == script.currentEntry) {
            addLine(lines, ScriptLineKind::NewItem, i - 1);
            addLine(lines, ScriptLineKind::Blank, i - 1);
        }
        addEntryLines(lines, script.entries[static_cast<size_t>(i)], i);
    }
    if (edit == ItemEdit::Append) {
        const int32_t last = count - 1;
        addLine(lines, ScriptLineKind::Blank, last);
        addLine(lines, ScriptLineKind::NewItem, last);
        addLine(lines, ScriptLineKind::Blank, last);
    }
}

std::string scriptItemNumber(const ScriptEntry& entry) {
    std::string number = std::to_string(entry.itemNo);
    if (entry.subItemNo > 0)
        number += "." + std::to_string(entry.subItemNo);
    return number;
}

} // namespace kestrava::script
