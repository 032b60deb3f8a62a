// The XML document layer: the exact text it writes, how it reads names and attribute values, and
// the messages of malformed files.
#include "config/NativeXml.h"

#include "../util/UtilTestSupport.h"

#include <gtest/gtest.h>

namespace kes {
namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

std::string ParseError(const std::string& text) {
    return kestest::ErrorOf([&] { TUtf8NativeXml().LoadFromString(text); });
}

TEST(XmlWriter, EachFormatLaysOutElementsItsWay) {
    TUtf8NativeXml document("r");
    EXPECT_EQ(document.WriteToString(), kDeclaration + "\n<r></r>\n"); // the root keeps its end tag
    document.Root()->NodeNew("a").NodeNew("b").WriteAttributeString("v", "1");
    const std::pair<TXmlFormat, std::string> cases[] = {
        {xfReadable, "\r\n<r>\r\n  <a>\r\n    <b v=\"1\"/>\r\n  </a>\r\n</r>\r\n"},
        {xfLfOnly, "\n<r>\n<a>\n<b v=\"1\"/>\n</a>\n</r>\n"},
        {xfCompact, "\n<r><a><b v=\"1\"/></a></r>\n"},
    };
    for (const auto& [format, expected] : cases) {
        document.SetXmlFormat(format);
        EXPECT_EQ(document.WriteToString(), kDeclaration + expected) << expected;
    }
}

TEST(XmlWriter, AttributesKeepTheirOrderAndAreReplacedInPlace) {
    TUtf8NativeXml document("r");
    TUtf8XmlNode& node = document.Root()->NodeNew("n");
    node.WriteAttributeString("b", "1");
    node.WriteAttributeInteger("a", -7);
    node.WriteAttributeString("empty", "");
    node.WriteAttributeString("B", "2"); // same attribute, other letter case
    EXPECT_EQ(document.WriteToString(),
              kDeclaration + "\n<r><n b=\"2\" a=\"-7\" empty=\"\"/></r>\n");
}

TEST(XmlWriter, NamesWithBlanksAreRefused) {
    TUtf8NativeXml document("r");
    for (const char* name : {"a b", "a\tb", "a\nb", "a\rb"}) {
        EXPECT_EQ(kestest::ErrorOf([&] { document.Root()->NodeNew(name); }),
                  "Illegal character in node name \"" + std::string(name) + "\"");
    }
    EXPECT_EQ(document.Root()->NodeCount(), 0u);
}

TEST(XmlEscaping, FiveCharactersAreEscapedAndEverythingElseKept) {
    EXPECT_EQ(XmlEscape("a&b<c>d'e\"f"), "a&amp;b&lt;c&gt;d&apos;e&quot;f");
    EXPECT_EQ(XmlEscape("&amp;/home/zoë/日本"), "&amp;amp;/home/zoë/日本");
}

TEST(XmlEscaping, UnescapeDecodesEntitiesAndNumericReferencesOnly) {
    const std::pair<const char*, const char*> cases[] = {
        {"&amp;&lt;&gt;&apos;&quot;", "&<>'\""},
        {"&amp;lt;", "&lt;"}, // one pass: the decoded ampersand does not start a new entity
        {"&#65;&#x42;&#x20AC;&#x1F600;", "AB\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"&nbsp;", "&nbsp;"},                                 // unknown entity stays
        {"a & b", "a & b"},                                   // no semicolon after it
        {"x&amp", "x&amp"},                                   // no semicolon at all
        {"&#12a;&#xZZ;&#;", "&#12a;&#xZZ;&#;"},               // numbers that do not parse
        {"&#0;&#xD800;&#x110000;", "&#0;&#xD800;&#x110000;"}, // not characters
        {"&#99999999999;", "&#99999999999;"},                 // overflows
        {"&a&amp;", "&a&amp;"}, // "&a&amp;" up to the first ";" is no entity
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(XmlUnescape(in), out) << in;
}

TEST(XmlReader, ChildAndAttributeNamesIgnoreLetterCase) {
    TUtf8NativeXml document;
    document.LoadFromString(
        "\xEF\xBB\xBF<R><!-- c --><Options Value='1'/><options value='2'/></R>");
    const TUtf8XmlNode* options = document.Root()->NodeByName("OPTIONS");
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->AttributeByName("VALUE"), "1"); // the first match wins
    EXPECT_EQ(options->AttributeByName("missing"), "");
    EXPECT_EQ(document.Root()->NodeByName("absent"), nullptr);
}

TEST(XmlReader, ReadDocumentIsWrittenBackUnchanged) {
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                             "<!-- kept -->\r\n"
                             "<r>\r\n"
                             "  <a q='say \"hi\"' x=\"1&amp;2\"/>\r\n"
                             "  <b>some &lt;text&gt;</b>\r\n"
                             "  <![CDATA[<raw>]]>\r\n"
                             "</r>\r\n";
    TUtf8NativeXml document;
    document.LoadFromString(text);
    document.SetXmlFormat(xfReadable);
    EXPECT_EQ(document.WriteToString(), text);
    EXPECT_EQ(document.Root()->NodeByName("a")->AttributeByName("q"), "say \"hi\"");
}

TEST(XmlReader, MalformedFilesGiveTheirMessages) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "No root element found in xml"},
        {"<?xml version=\"1.0\"?><!-- only a comment -->", "No root element found in xml"},
        {"<a><b></c></a>", "Incorrect close tag in element b"},
        {"<a><b/></a></x>", "Incorrect close tag in element x"},
        {"<a>\r\n  <b/>\r\n", "Missing close tag in element a"},
        {"<a><b></b</a>", "Missing \">\" in close tag of element b"},
        {"<a>text<", "Missing data after \"<\" in element a"},
        {"<a><!-- > --><b x='>'>", "Missing close tag in element b"},
        {"<a></", "Missing data after \"<\" in element a"},
        {"<>", "Missing element name"},
        {"<a>\n<b x=1/></a>", "Error parsing element attribute at line 2, column 6"},
        {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a/>", "Unsupported string encoding"},
        // A name byte that makes pugixml read past the declaration's end into a value.
        {"<?xml versi\xff\xffo=\"U?>x?></r>M\"/><r/>",
         "Error parsing document declaration/processing instruction"},
    };
    for (const auto& [text, message] : cases)
        EXPECT_EQ(ParseError(text), message) << text;
}

TEST(XmlReader, LatinOneFilesAreReadAsUtf8) {
    TUtf8NativeXml document;
    document.LoadFromString("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a v=\"caf\xE9\"/>");
    EXPECT_EQ(document.Root()->AttributeByName("v"), "caf\xC3\xA9");
}

TEST(XmlFile, SavedFileLoadsBackAndFailuresAreReported) {
    kestest::TempFolder folder;
    TUtf8NativeXml saved("r");
    saved.SaveToFile(folder.Path() + "doc.xml");
    TUtf8NativeXml loaded;
    loaded.LoadFromFile(folder.Path() + "doc.xml");
    EXPECT_EQ(loaded.Root()->Name(), "r");
    EXPECT_EQ(kestest::ErrorOf([&] { loaded.LoadFromFile(folder.Path() + "absent.xml"); }),
              "Cannot read " + folder.Path() + "absent.xml: No such file or directory");
    kestest::WriteRaw(folder.Path() + "plain", "x"); // no folder, not even for root
    EXPECT_THROW(saved.SaveToFile(folder.Path() + "plain/out.xml"), std::runtime_error);
}

} // namespace
} // namespace kes
