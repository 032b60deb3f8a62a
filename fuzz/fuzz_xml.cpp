// Fuzzes the settings XML layer: any text is parsed or rejected with a message, and what the
// writer makes of a parsed document parses again and is written the same a second time.
#include "config/NativeXml.h"
#include "fuzz_input.h"

#include <stdexcept>
#include <string_view>

namespace {

using kes::fuzz::Require;

// Visits every node so a half-built tree (null child, bad name) shows under the sanitizers.
size_t CountNodes(const kes::TUtf8XmlNode& node) {
    size_t count = 1;
    for (const auto& attribute : node.Attributes())
        (void)node.AttributeByName(attribute.Name);
    for (size_t i = 0; i < node.NodeCount(); ++i)
        count += CountNodes(node.Nodes(i));
    return count;
}

size_t CountNodes(const kes::TUtf8NativeXml& document) {
    size_t count = 0;
    for (size_t i = 0; i < document.NodeCount(); ++i)
        count += CountNodes(document.Nodes(i));
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = kes::fuzz::InputText(data, size);
    kes::TUtf8NativeXml document;
    try {
        document.LoadFromString(text);
    } catch (const std::runtime_error& error) {
        Require(error.what()[0] != '\0', "a rejected document says why");
        return 0;
    }
    const size_t nodes = CountNodes(document);
    if (kes::TUtf8XmlNode* root = document.Root())
        (void)root->NodeByName("options");

    const std::string written = document.WriteToString();
    kes::TUtf8NativeXml reread;
    try {
        reread.LoadFromString(written);
    } catch (const std::runtime_error&) {
        kes::fuzz::Fail("the writer's text of a parsed document parses again");
    }
    Require(CountNodes(reread) == nodes, "a written document keeps its nodes");
    Require(reread.WriteToString() == written, "a written document is written the same again");
    return 0;
}
