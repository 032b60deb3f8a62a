// Fuzzes the .ksc reader: any text is read or rejected with a message, and a script that was
// read comes back unchanged from the text the writer makes of it (Options are never written).
#include "fuzz_input.h"
#include "script/script.h"

#include <stdexcept>

namespace {

using kes::fuzz::require;

kes::ScriptEntries withoutOptions(kes::ScriptEntries entries) {
    for (auto& entry : entries)
        entry.Text3.clear();
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kes::Script script;
    try {
        kes::parseScriptText(script, kes::fuzz::inputText(data, size));
    } catch (const std::runtime_error& error) {
        require(error.what()[0] != '\0', "a rejected script says why");
        return 0;
    }
    kes::numberScriptEntries(script);
    kes::buildScriptLines(script);

    kes::Script again;
    try {
        kes::parseScriptText(again, kes::scriptText(script));
    } catch (const std::runtime_error&) {
        kes::fuzz::fail("the writer's text of a script that was read is read back");
    }
    kes::numberScriptEntries(again);
    require(withoutOptions(again.entries) == withoutOptions(script.entries),
            "a script survives a write and a read");
    return 0;
}
