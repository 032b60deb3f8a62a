// The XML document layer: the exact text it writes, how it reads names and attribute values, and
// the messages of malformed files.
#include "config/NativeXml.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kes {
namespace {

std::string ParseError(const std::string& text) {
    TUtf8NativeXml document;
    try {
        document.LoadFromString(text);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(no error)";
}

// ---- Writing ----

TEST(XmlWriter, ReadableLayoutIndentsByTwoAndEndsEveryLineWithCrLf) {
    TUtf8NativeXml document("KestravaConfig");
    document.SetXmlFormat(xfReadable);
    document.Root()->NodeNew("options").NodeNew("item").WriteAttributeString("value", "a&b");
    EXPECT_EQ(document.WriteToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                                        "<KestravaConfig>\r\n"
                                        "  <options>\r\n"
                                        "    <item value=\"a&amp;b\"/>\r\n"
                                        "  </options>\r\n"
                                        "</KestravaConfig>\r\n");
}

TEST(XmlWriter, EmptyRootKeepsItsEndTagWhileEmptyChildrenUseTheShortForm) {
    TUtf8NativeXml document("root");
    document.SetXmlFormat(xfReadable);
    document.Root()->NodeNew("empty");
    EXPECT_EQ(document.WriteToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                                        "<root>\r\n  <empty/>\r\n</root>\r\n");
    TUtf8NativeXml bare("root");
    EXPECT_EQ(bare.WriteToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root></root>\n");
}

TEST(XmlWriter, CompactAndLfFormatsDropIndentation) {
    TUtf8NativeXml document("r");
    document.Root()->NodeNew("a").NodeNew("b");
    const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    EXPECT_EQ(document.WriteToString(), declaration + "<r><a><b/></a></r>\n");
    document.SetXmlFormat(xfLfOnly);
    EXPECT_EQ(document.WriteToString(), declaration + "<r>\n<a>\n<b/>\n</a>\n</r>\n");
}

TEST(XmlWriter, AttributesKeepTheirOrderAndAreReplacedInPlace) {
    TUtf8NativeXml document("r");
    TUtf8XmlNode& node = document.Root()->NodeNew("n");
    node.WriteAttributeString("b", "1");
    node.WriteAttributeInteger("a", -7);
    node.WriteAttributeString("empty", "");
    node.WriteAttributeString("B", "2"); // same attribute, other letter case
    EXPECT_EQ(
        document.WriteToString(),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r><n b=\"2\" a=\"-7\" empty=\"\"/></r>\n");
}

TEST(XmlWriter, NamesWithBlanksAreRefused) {
    TUtf8NativeXml document("r");
    for (const char* name : {"a b", "a\tb", "a\nb", "a\rb"}) {
        try {
            document.Root()->NodeNew(name);
            ADD_FAILURE() << "accepted " << name;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), "Illegal character in node name \"" + std::string(name) + "\"");
        }
    }
    EXPECT_EQ(document.Root()->NodeCount(), 0u);
}

// ---- Escaping ----

TEST(XmlEscaping, FiveCharactersAreEscapedAndEverythingElseKept) {
    EXPECT_EQ(XmlEscape("a&b<c>d'e\"f"), "a&amp;b&lt;c&gt;d&apos;e&quot;f");
    EXPECT_EQ(XmlEscape("&amp;"), "&amp;amp;");
    EXPECT_EQ(XmlEscape("/home/zoë/日本"), "/home/zoë/日本");
}

TEST(XmlEscaping, UnescapeDecodesEntitiesAndNumericReferencesOnly) {
    const struct {
        const char* In;
        const char* Out;
    } cases[] = {
        {"&amp;&lt;&gt;&apos;&quot;", "&<>'\""},
        {"&amp;lt;", "&lt;"}, // one pass: the decoded ampersand does not start a new entity
        {"&#65;&#x42;&#x20AC;", "AB\xE2\x82\xAC"},
        {"&#x1F600;", "\xF0\x9F\x98\x80"},
        {"&nbsp;", "&nbsp;"},                                 // unknown entity stays
        {"a & b", "a & b"},                                   // no semicolon after it
        {"x&amp", "x&amp"},                                   // no semicolon at all
        {"&#12a;&#xZZ;&#;", "&#12a;&#xZZ;&#;"},               // numbers that do not parse
        {"&#0;&#xD800;&#x110000;", "&#0;&#xD800;&#x110000;"}, // not characters
        {"&#99999999999;", "&#99999999999;"},                 // overflows
        {"&a&amp;", "&a&amp;"}, // "&a&amp;" up to the first ";" is no entity
    };
    for (const auto& c : cases)
        EXPECT_EQ(XmlUnescape(c.In), c.Out) << c.In;
}

TEST(XmlEscaping, AttributeValuesRoundTripThroughTheWrittenText) {
    const std::string awkward = "&<>'\" /ordner/zoë/日本/ &amp; &#65;";
    TUtf8NativeXml written("r");
    written.Root()->NodeNew("n").WriteAttributeString("value", awkward);
    TUtf8NativeXml read;
    read.LoadFromString(written.WriteToString());
    EXPECT_EQ(read.Root()->NodeByName("n")->AttributeByName("value"), awkward);
}

// ---- Reading ----

TEST(XmlReader, ChildAndAttributeNamesIgnoreLetterCase) {
    TUtf8NativeXml document;
    document.LoadFromString("<R><!-- c --><Options Value='1'/><options value='2'/></R>");
    const TUtf8XmlNode* options = document.Root()->NodeByName("OPTIONS");
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->AttributeByName("VALUE"), "1"); // the first match wins
    EXPECT_EQ(options->AttributeByName("missing"), "");
    EXPECT_EQ(document.Root()->NodeByName("absent"), nullptr);
}

TEST(XmlReader, RootIsTheFirstElementAfterDeclarationAndComments) {
    TUtf8NativeXml document;
    document.LoadFromString("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<!-- note -->\n<first/>\n<second/>\n");
    ASSERT_NE(document.Root(), nullptr);
    EXPECT_EQ(document.Root()->Name(), "first");
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
    const struct {
        const char* Text;
        const char* Message;
    } cases[] = {
        {"", "No root element found in xml"},
        {"  \r\n", "No root element found in xml"},
        {"<?xml version=\"1.0\"?><!-- only a comment -->", "No root element found in xml"},
        {"<a><b></c></a>", "Incorrect close tag in element b"},
        {"<a><b/></a></x>", "Incorrect close tag in element x"},
        {"<a><b>", "Missing close tag in element b"},
        {"<a>\r\n  <b/>\r\n", "Missing close tag in element a"},
        {"<a><b></b</a>", "Missing \">\" in close tag of element b"},
        {"<a></a", "Missing \">\" in close tag of element a"},
        {"<a>text<", "Missing data after \"<\" in element a"},
        {"<a><!-- > --><b x='>'>", "Missing close tag in element b"},
        {"<a></", "Missing data after \"<\" in element a"},
        {"<>", "Missing element name"},
        {"< a/>", "Missing element name"},
        {"<a>\n<b x=1/></a>", "Error parsing element attribute at line 2, column 6"},
        {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a/>", "Unsupported string encoding"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseError(c.Text), c.Message) << c.Text;
}

TEST(XmlReader, LatinOneFilesAreReadAsUtf8) {
    TUtf8NativeXml document;
    document.LoadFromString("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a v=\"caf\xE9\"/>");
    EXPECT_EQ(document.Root()->AttributeByName("v"), "caf\xC3\xA9");
}

TEST(XmlReader, FileIsReadAndAMissingFileIsReported) {
    test::TTempFolder folder;
    const std::string fileName = folder.Path() + "doc.xml";
    test::WriteFileBytes(fileName, "<r><n value=\"zo&#235;\"/></r>");
    TUtf8NativeXml document;
    document.LoadFromFile(fileName);
    EXPECT_EQ(document.Root()->NodeByName("n")->AttributeByName("value"), "zo\xC3\xAB");
    try {
        document.LoadFromFile(folder.Path() + "absent.xml");
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot read " + folder.Path() + "absent.xml: No such file or directory");
    }
}

TEST(XmlWriter, SaveToFileWritesTheTextAndReportsFailure) {
    test::TTempFolder folder;
    TUtf8NativeXml document("r");
    document.SaveToFile(folder.Path() + "out.xml");
    EXPECT_EQ(test::ReadFileBytes(folder.Path() + "out.xml"), document.WriteToString());
    // A folder that is a regular file cannot hold anything, not even for root.
    test::WriteFileBytes(folder.Path() + "plain", "x");
    EXPECT_THROW(document.SaveToFile(folder.Path() + "plain/out.xml"), std::runtime_error);
}

} // namespace
} // namespace kes
