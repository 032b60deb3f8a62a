// Short builders for the items of the script tests; scratch trees come from the search tests.
#pragma once

#include "../search/SearchTestTree.h"
#include "script/kes_uScript.h"

namespace kes::test {

using kes::testing::ErrorOf;
using kes::testing::TempTree;

inline TkesScriptEntry FolderItem(std::string folders, std::string files) {
    return {0, 0, sekFolderFile, std::move(folders), std::move(files), ""};
}

inline TkesScriptEntry FindItem(std::string find, std::string replace = "",
                                std::string options = "") {
    return {0, 0, sekFindReplace, std::move(find), std::move(replace), std::move(options)};
}

// A numbered script of the items, first item current, line view built.
inline TkesScript MakeScript(TkesScriptEntries entries, TkesScriptState state = ssViewing) {
    TkesScript script;
    script.Entries = std::move(entries);
    script.State = state;
    script.CurrentEntry = script.Entries.empty() ? -1 : 0;
    NumberScriptEntries(script);
    BuildScriptLines(script);
    return script;
}

} // namespace kes::test
