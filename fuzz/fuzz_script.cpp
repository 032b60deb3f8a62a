// Fuzzes the .ksc reader: any text is read or rejected with a message, and a script that was
// read comes back unchanged from the text the writer makes of it (Options are never written).
#include "fuzz_input.h"
#include "script/kes_uScript.h"

#include <stdexcept>

namespace {

using kes::fuzz::Require;

kes::TkesScriptEntries WithoutOptions(kes::TkesScriptEntries entries) {
    for (auto& entry : entries)
        entry.Text3.clear();
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kes::TkesScript script;
    try {
        kes::ParseScriptText(script, kes::fuzz::InputText(data, size));
    } catch (const std::runtime_error& error) {
        Require(error.what()[0] != '\0', "a rejected script says why");
        return 0;
    }
    kes::NumberScriptEntries(script);
    kes::BuildScriptLines(script);

    kes::TkesScript again;
    try {
        kes::ParseScriptText(again, kes::ScriptText(script));
    } catch (const std::runtime_error&) {
        kes::fuzz::Fail("the writer's text of a script that was read is read back");
    }
    kes::NumberScriptEntries(again);
    Require(WithoutOptions(again.Entries) == WithoutOptions(script.Entries),
            "a script survives a write and a read");
    return 0;
}
