// Builders and one-line pictures of scripts; scratch trees come from the search tests.
#pragma once

#include "../case_table.h"
#include "../search/search_test_tree.h"
#include "script/script.h"

#include <algorithm>

namespace kestrava::script::test {

using kestrava::util::testing::errorOf;
using kestrava::util::testing::TempTree;

inline ScriptEntry folderItem(std::string folders, std::string files) {
    return ScriptEntry::folderFile(std::move(folders), std::move(files));
}

inline ScriptEntry findItem(std::string find, std::string replace = "", std::string options = "") {
    return ScriptEntry::findReplace(std::move(find), std::move(replace), std::move(options));
}

inline Script makeScript(ScriptEntries entries, ItemEdit edit = ItemEdit::None,
                         int32_t current = 0) {
    Script script;
    script.entries = std::move(entries);
    script.currentEntry = script.entries.empty() ? -1 : current;
    numberScriptEntries(script);
    buildScriptLines(script, edit);
    return script;
}

inline std::vector<golden::Row> cases(const std::string& name) {
    return golden::caseTable(KES_SCRIPT_CASES, name);
}

// Items as the case files write them: "@FOLDERS;FILES", else "FIND=>REPLACE=>OPTIONS".
inline ScriptEntries itemsOf(golden::Row::const_iterator item, golden::Row::const_iterator end) {
    ScriptEntries items;
    for (; item != end; ++item) {
        const bool folders = item->starts_with('@');
        const std::string cut = folders ? ";" : "=>";
        std::vector<std::string> parts;
        for (size_t from = folders ? 1 : 0, at = 0; at != std::string::npos; from = at + cut.size())
            parts.push_back(item->substr(from, (at = item->find(cut, from)) - from));
        parts.resize(3);
        items.push_back(folders ? folderItem(parts[0], parts[1])
                                : findItem(parts[0], parts[1], parts[2]));
    }
    return items;
}

inline const char* const kEdits[] = {"None", "Append", "Insert", "Change"};

// The items as the grid numbers them with their first text: "1 /a, 1.1 x, 2 /b".
inline std::string numbered(const Script& script) {
    std::string items;
    for (const ScriptEntry& e : script.entries)
        items += (items.empty() ? "" : ", ") + scriptItemNumber(e) + " " + e.heading();
    return items;
}

} // namespace kestrava::script::test
