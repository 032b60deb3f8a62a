// Fuzzes the .ksc reader: any text is read or rejected with a message, and a script that was
// read comes back unchanged from the text the writer makes of it (Options are never written).
#include "fuzz_input.h"
#include "script/script.h"

#include <stdexcept>

namespace {

using kestrava::fuzz::require;

kestrava::script::ScriptEntries withoutOptions(kestrava::script::ScriptEntries entries) {
    for (auto& entry : entries)
        entry.options.clear();
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kestrava::script::Script script;
    try {
        kestrava::script::parseScriptText(script, kestrava::fuzz::inputText(data, size));
    } catch (const std::runtime_error& error) {
        require(error.what()[0] != '\0', "a rejected script says why");
        return 0;
    }
    kestrava::script::numberScriptEntries(script);
    kestrava::script::buildScriptLines(script);

    kestrava::script::Script again;
    try {
        kestrava::script::parseScriptText(again, kestrava::script::scriptText(script));
    } catch (const std::runtime_error&) {
        kestrava::fuzz::fail("the writer's text of a script that was read is read back");
    }
    kestrava::script::numberScriptEntries(again);
    require(withoutOptions(again.entries) == withoutOptions(script.entries),
            "a script survives a write and a read");
    return 0;
}
