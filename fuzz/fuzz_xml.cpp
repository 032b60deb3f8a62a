// Fuzzes the settings XML layer: any text is parsed or rejected with a message, and what the
// writer makes of a parsed document parses again and is written the same a second time.
#include "config/xml_document.h"
#include "fuzz_input.h"

#include <stdexcept>
#include <string_view>

namespace {

using kestrava::fuzz::require;

// Visits every node so a half-built tree (null child, bad name) shows under the sanitizers.
size_t countNodes(const kestrava::config::XmlNode& node) {
    size_t count = 1;
    for (const auto& attribute : node.attributes())
        (void)node.attributeByName(attribute.name);
    for (size_t i = 0; i < node.nodeCount(); ++i)
        count += countNodes(node.nodes(i));
    return count;
}

size_t countNodes(const kestrava::config::XmlDocument& document) {
    size_t count = 0;
    for (size_t i = 0; i < document.nodeCount(); ++i)
        count += countNodes(document.nodes(i));
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = kestrava::fuzz::inputText(data, size);
    kestrava::config::XmlDocument document;
    try {
        document.loadFromString(text);
    } catch (const std::runtime_error& error) {
        require(error.what()[0] != '\0', "a rejected document says why");
        return 0;
    }
    const size_t nodes = countNodes(document);
    if (kestrava::config::XmlNode* root = document.root())
        (void)root->nodeByName("options");

    const std::string written = document.writeToString();
    kestrava::config::XmlDocument reread;
    try {
        reread.loadFromString(written);
    } catch (const std::runtime_error&) {
        kestrava::fuzz::fail("the writer's text of a parsed document parses again");
    }
    require(countNodes(reread) == nodes, "a written document keeps its nodes");
    require(reread.writeToString() == written, "a written document is written the same again");
    return 0;
}
