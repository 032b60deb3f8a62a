// Short builders for the items of the script tests; scratch trees come from the search tests.
#pragma once

#include "../search/search_test_tree.h"
#include "script/script.h"

namespace kestrava::script::test {

using kestrava::util::testing::errorOf;
using kestrava::util::testing::TempTree;

inline ScriptEntry folderItem(std::string folders, std::string files) {
    return ScriptEntry::folderFile(std::move(folders), std::move(files));
}

inline ScriptEntry findItem(std::string find, std::string replace = "", std::string options = "") {
    return ScriptEntry::findReplace(std::move(find), std::move(replace), std::move(options));
}

// A numbered script of the items, first item current, line view built.
inline Script makeScript(ScriptEntries entries, ItemEdit edit = ItemEdit::None) {
    Script script;
    script.entries = std::move(entries);
    script.currentEntry = script.entries.empty() ? -1 : 0;
    numberScriptEntries(script);
    buildScriptLines(script, edit);
    return script;
}

} // namespace kestrava::script::test
