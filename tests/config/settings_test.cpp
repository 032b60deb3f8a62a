// KestravaConfig.xml: the exact text saved, the defaults and fallbacks of the load, and that what
// is saved comes back.
#include "config/settings.h"

#include "../util/util_test_support.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kestrava::config {
namespace {

using namespace std::string_literals;

// Every persisted field: one expectation compares (and prints) them all, one assignment sets them.
auto fields(auto&& c) {
    return std::tie(c.settings.initialMode, c.settings.fontSize, c.settings.caseSensitiveMatching,
                    c.settings.replaceInSitu, c.settings.scriptsFolder, c.settings.editorFileSpec,
                    c.settings.editorCommandLine, c.bounds.top, c.bounds.left, c.bounds.height,
                    c.bounds.width, c.lastMode, c.settings.showLineNumbers,
                    c.settings.skipBinaryFiles, c.settings.respectGitignore,
                    c.settings.includeHidden, c.settings.showPreview, c.settings.previewSize,
                    c.settings.keepUndoJournal, c.settings.undoRunsKept, c.settings.undoBytesKept);
}

// What the load gives for anything the file does not say, on a 1920 x 1080 screen.
const auto kDefaults = std::tuple(
    InitialMode::Find, FontSize::Small, false, false, "/opt/kestrava/"s, "xdg-open"s, "%Filename%"s,
    166, 430, 748, 1060, 0, true, false, false, false, false, 0, true, 20, int64_t{1} << 30);
const auto kExample =
    std::tuple(InitialMode::LastUsed, FontSize::Medium, false, true, "C:\\Tools\\Scripts\\"s,
               "Notepad"s, "%Filename%"s, 140, 430, 748, 1060, 2, false, true, false, true, true,
               240, false, 5, int64_t{100} << 20);

const char* const kExampleText =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<KestravaConfig>\r\n"
    "  <options>\r\n"
    "    <initialmode value=\"LastMode\"/>\r\n"
    "    <fontsize value=\"Medium\"/>\r\n"
    "    <casesensitivematching value=\"no\"/>\r\n"
    "    <replaceinsitu value=\"yes\"/>\r\n"
    "    <scriptsfolder value=\"C:\\Tools\\Scripts\\\"/>\r\n"
    "    <fileeditor filespec=\"Notepad\" commandline=\"%Filename%\"/>\r\n"
    "    <linenumbers value=\"no\"/>\r\n"
    "    <skipbinary value=\"yes\"/>\r\n"
    "    <respectgitignore value=\"no\"/>\r\n"
    "    <includehidden value=\"yes\"/>\r\n"
    "    <preview value=\"yes\" size=\"240\"/>\r\n"
    "    <undojournal value=\"no\" runs=\"5\" bytes=\"104857600\"/>\r\n"
    "  </options>\r\n"
    "  <forms>\r\n"
    "    <mainform top=\"140\" left=\"430\" height=\"748\" width=\"1060\"/>\r\n"
    "  </forms>\r\n"
    "  <info>\r\n"
    "    <lastmode value=\"Script\"/>\r\n"
    "  </info>\r\n"
    "</KestravaConfig>\r\n";

// Loads text as the settings file (no file at all for "-") into config; returns the error raised,
// "(no error)" when none.
std::string loadInto(const std::string& text, Config& config) {
    kestest::TempFolder folder;
    const std::string fileName = folder.path() + "KestravaConfig.xml";
    if (text != "-")
        kestest::writeRaw(fileName, text);
    return kestest::errorOf([&] { loadConfig(fileName, "/opt/kestrava", 1920, 1080, config); });
}

Config loadText(const std::string& text) {
    Config config;
    EXPECT_EQ(loadInto(text, config), "(no error)") << text;
    return config;
}

constexpr const char* kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

std::string options(const std::string& inner, const std::string& lastMode = "") {
    return "<KestravaConfig><options>" + inner + "</options>" +
           (lastMode.empty() ? "" : "<info><lastmode value=\"" + lastMode + "\"/></info>") +
           "</KestravaConfig>";
}

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

// Each entity names the one below ten times: nine levels would expand to 10^9 "lol"s.
std::string billionLaughs() {
    std::string text = "<!DOCTYPE KestravaConfig [\r\n<!ENTITY l0 \"lol\">\r\n";
    for (int i = 1; i <= 9; ++i)
        text += "<!ENTITY l" + std::to_string(i) + " \"" +
                repeated("&l" + std::to_string(i - 1) + ";", 10) + "\">\r\n";
    return text + "]>" + options("<scriptsfolder value=\"&l9;\"/><fileeditor filespec=\"&l9;\"/>");
}

// Elements nested depth deep inside the options; left open, the file ends among them.
std::string deepNesting(int depth, bool closed = true) {
    return closed ? options(repeated("<n>", depth) + repeated("</n>", depth) +
                            "<fontsize value=\"Large\"/>")
                  : "<KestravaConfig><options>" + repeated("<n>", depth);
}

TEST(ConfigFile, ExampleIsWrittenByteForByteAndReadBack) {
    kestest::TempFolder folder;
    Config config;
    fields(config) = kExample;
    saveConfig(folder.path() + "KestravaConfig.xml", config);
    EXPECT_EQ(kestest::readFile(folder.path() + "KestravaConfig.xml"), kExampleText);
    EXPECT_EQ(fields(loadText(kExampleText)), kExample);
}

// The defaults as saved, with each element of `changed` (a run of "<name .../>") in place of the
// element of its name.
std::string savedWith(const std::string& changed) {
    Config defaults;
    fields(defaults) = kDefaults;
    std::string text = configToXml(defaults);
    for (size_t at = 0, end = 0; (at = changed.find('<', end)) != std::string::npos;) {
        end = changed.find("/>", at) + 2;
        const size_t from = text.find(changed.substr(at, changed.find(' ', at) + 1 - at));
        if (from == std::string::npos)
            return "no element like " + changed.substr(at, end - at);
        text.replace(from, text.find("/>", from) + 2 - from, changed.substr(at, end - at));
    }
    return text;
}

// Whatever was loaded before is reset; a missing, malformed or hostile file leaves every default
// (and says why), never expands an entity, never reads another file, never runs out of stack.
// What each file gives is told as it would be saved.
TEST(ConfigLoad, EachValueIsTakenOnItsOwnAndAnUnreadableOneKeepsItsDefault) {
    const std::string form = "<KestravaConfig><forms><mainform ";
    const std::string huge(10u << 20, 'e');
    const struct {
        std::string text; // "-": there is no file
        std::string changed;
        std::string error = "(no error)";
    } cases[] = {
        {"-", ""},
        {"", "", "No root element found in xml"},
        {R"(<KestravaConfig><options><fontsize value="Large"/></option></KestravaConfig>)", "",
         "Incorrect close tag in element options"},
        {kHead + "<KestravaConfig>\0<options/>\0</KestravaConfig>"s, "",
         "Missing close tag in element "},
        {deepNesting(10000), "", "Elements nested more than 256 levels deep"},
        {deepNesting(10000, false), "", "Elements nested more than 256 levels deep"},
        {deepNesting(200), R"(<fontsize value="Large"/>)"},
        {billionLaughs(), R"(<scriptsfolder value="&amp;l9;"/>)"
                          R"(<fileeditor filespec="&amp;l9;" commandline="%Filename%"/>)"},
        {R"(<!DOCTYPE KestravaConfig [<!ENTITY pw SYSTEM "file:///etc/passwd">)"
         R"(<!ENTITY % remote SYSTEM "/etc/passwd"> %remote;]>)" +
             options(R"(<scriptsfolder value="&pw;"/>)"
                     R"(<fileeditor filespec="&pw;" commandline="&pw;"/>)"),
         R"(<scriptsfolder value="&amp;pw;"/>)"
         R"(<fileeditor filespec="&amp;pw;" commandline="&amp;pw;"/>)"},
        // Every word of each mode and size, both ways; awkward text and numbers past 32 bits.
        {options(R"(<initialmode value="replace"/><fontsize value="large"/>)"
                 R"(<casesensitivematching value="yes"/><respectgitignore value="yes"/>)",
                 "viewfoldersfiles"),
         R"(<initialmode value="Replace"/><fontsize value="Large"/>)"
         R"(<casesensitivematching value="yes"/><respectgitignore value="yes"/>)"
         R"(<lastmode value="ViewFoldersFiles"/>)"},
        {options(R"(<initialmode value="ViewFoldersFiles"/>)", "Script"),
         R"(<initialmode value="ViewFoldersFiles"/><lastmode value="Script"/>)"},
        {R"(<KestravaConfig><options><scriptsfolder value="/home/zoë/S &amp; &lt;T&gt; )"
         R"(&apos;a&apos; &quot;b&quot; &amp;amp; &amp;#65;/日本/"/></options>)"
         R"(<forms><mainform top="-5" width="0"/></forms></KestravaConfig>)",
         R"(<scriptsfolder value="/home/zoë/S &amp; &lt;T&gt; &apos;a&apos; &quot;b&quot; )"
         R"(&amp;amp; &amp;#65;/日本/"/><mainform top="-5" left="430" height="748" width="0"/>)"},
        {options(R"(<undojournal bytes="5368709120"/>)"),
         R"(<undojournal value="yes" runs="20" bytes="5368709120"/>)"},
        {options(R"(<fileeditor filespec=")" + huge + R"("/>)"),
         R"(<fileeditor filespec=")" + huge + R"(" commandline="%Filename%"/>)"},
        {options(R"(<fontsize value="LARGE"/>)"), R"(<fontsize value="Large"/>)"},
        {R"(<kestravaconfig><Options><FONTSIZE Value="medium"/><InitialMode VALUE="script"/>)"
         R"(</Options><FORMS><MainForm TOP="5"/></FORMS><Info><LastMode value="REPLACE"/>)"
         R"(</Info></kestravaconfig>)",
         R"(<initialmode value="Script"/><fontsize value="Medium"/><lastmode value="Replace"/>)"
         R"(<mainform top="5" left="430" height="748" width="1060"/>)"},
        {options(R"(<initialmode value="lastmode"/><fontsize value="huge"/>)", "lastmode"),
         R"(<initialmode value="LastMode"/>)"},
        {options(R"(<initialmode value="Medium"/><fontsize value=""/>)"), ""},
        {form + R"(top="abc" left="-20" height="500" width="+640"/></forms></KestravaConfig>)",
         R"(<mainform top="166" left="-20" height="500" width="640"/>)"},
        {form + R"(top="2147483648" left="1.5" height=""/></forms></KestravaConfig>)", ""},
        {options(R"(<fileeditor filespec="" commandline=""/>)"), ""},
        {options(R"(<fileeditor filespec="kate"/>)"),
         R"(<fileeditor filespec="kate" commandline="%Filename%"/>)"},
        {options(R"(<fileeditor commandline="-n %Filename%"/>)"),
         R"(<fileeditor filespec="xdg-open" commandline="-n %Filename%"/>)"},
        {options(R"(<preview value="yes"/>)"), R"(<preview value="yes" size="0"/>)"},
        {options(R"(<includehidden value="1"/>)"), R"(<includehidden value="yes"/>)"},
        {options(R"(<preview size="-40"/>)"), ""},
        {options(R"(<preview value="no" size="300"/>)"), R"(<preview value="no" size="300"/>)"},
        // The journal's limits take whole numbers of at least 1 only.
        {options(R"(<undojournal runs="0" bytes="-1"/>)"), ""},
        {options(R"(<undojournal value="no" runs="2.5" bytes="4294967296"/>)"),
         R"(<undojournal value="no" runs="20" bytes="4294967296"/>)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 160));
        Config loaded;
        fields(loaded) = kExample;
        EXPECT_EQ(loadInto(c.text, loaded), c.error);
        EXPECT_EQ(configToXml(loaded), savedWith(c.changed));
    }
}

TEST(ConfigLoad, BooleanValues) {
    const struct {
        const char* value;
        bool expected;
    } cases[] = {
        {"2", true},    {"0.0", false}, {"Yes", true},  {"maybe", false}, {"", false},
        {"-1", true},   {"1e3", true},  {"0e5", false}, {"y", true},      {"TRUE", true},
        {"tRuE", true}, {"N", false},   {"no", false},  {"FALSE", false}, {" 1 ", true},
        {"inf", false}, {"nan", false}, {"0x1", false}, {"yes!", false},
    };
    for (const auto& c : cases) {
        const Config config =
            loadText(options(std::string("<casesensitivematching value=\"") + c.value + "\"/>"));
        EXPECT_EQ(config.settings.caseSensitiveMatching, c.expected) << '"' << c.value << '"';
    }
    // The default decides only for values that are neither numbers nor boolean words.
    EXPECT_TRUE(configStrToBool("maybe", true));
    EXPECT_FALSE(configStrToBool("0", true));
}

TEST(ConfigLoad, ScreenDerivedBounds) {
    const struct {
        int32_t screenWidth, screenHeight;
        WindowBounds expected; // top, left, height, width
    } cases[] = {
        {1024, 768, {10, 0, 748, 1024}}, {1920, 1080, {166, 430, 748, 1060}},
        {1061, 749, {0, 0, 748, 1060}}, // half a pixel truncates
        {1063, 751, {1, 1, 748, 1060}},  {800, 600, {0, 0, 600, 800}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(defaultFormBounds(c.screenWidth, c.screenHeight), c.expected)
            << c.screenWidth << "x" << c.screenHeight;
    }
}

} // namespace
} // namespace kestrava::config
