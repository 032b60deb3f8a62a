// The XML document layer (the messages of malformed files are among the settings files of data/).
#include "config/xml_document.h"

#include "../case_table.h"
#include "../util/util_test_support.h"

#include <gtest/gtest.h>

namespace kestrava::config {
namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// Attributes keep their order and are replaced in place, whatever the letter case of their name.
TEST(XmlWriter, WritesEachFormatItsWay) {
    XmlDocument document("r");
    EXPECT_EQ(document.writeToString(), kDeclaration + "\n<r></r>\n"); // the root keeps its end tag
    XmlNode& node = document.root()->nodeNew("a").nodeNew("b");
    node.writeAttributeString("v", "1");
    node.writeAttributeInteger("a", -7);
    node.writeAttributeString("empty", "");
    node.writeAttributeString("V", "2");
    for (const char* name : {"a b", "a\tb", "a\nb", "a\rb"})
        EXPECT_EQ(kestest::errorOf([&] { node.nodeNew(name); }),
                  "Illegal character in node name \"" + std::string(name) + "\"");
    const std::string b = "<b v=\"2\" a=\"-7\" empty=\"\"/>";
    const std::pair<XmlFormat, std::string> cases[] = {
        {XmlFormat::Readable, "\r\n<r>\r\n  <a>\r\n    " + b + "\r\n  </a>\r\n</r>\r\n"},
        {XmlFormat::LfOnly, "\n<r>\n<a>\n" + b + "\n</a>\n</r>\n"},
        {XmlFormat::Compact, "\n<r><a>" + b + "</a></r>\n"},
    };
    for (const auto& [format, expected] : cases) {
        document.setXmlFormat(format);
        EXPECT_EQ(document.writeToString(), kDeclaration + expected) << expected;
    }
}

TEST(XmlEscaping, EscapesFiveCharactersAndDecodesEntitiesAndNumbersOnly) {
    for (const golden::Row& r : golden::caseTable(KES_CONFIG_DATA "tables.txt", "xml unescape"))
        EXPECT_EQ(xmlUnescape(r[0]), r[1]) << r[0];
    // Escaping touches those five characters only.
    EXPECT_EQ(xmlEscape("a&b<c>d'e\"f &amp;/home/zoë/日本"),
              "a&amp;b&lt;c&gt;d&apos;e&quot;f &amp;amp;/home/zoë/日本");
}

// Names in any case, first match wins, a Latin-1 file is read as UTF-8: see the settings files of
// data/.
TEST(XmlReader, WritesTheDocumentBackUnchanged) {
    const std::string text = kestest::readFile(KES_CONFIG_DATA "document.xml");
    XmlDocument document;
    document.loadFromString(text);
    document.setXmlFormat(XmlFormat::Readable);
    EXPECT_EQ(document.writeToString(), text);
    EXPECT_EQ(document.root()->nodeByName("A")->attributeByName("Q"), "say \"hi\"");
}

} // namespace
} // namespace kestrava::config
