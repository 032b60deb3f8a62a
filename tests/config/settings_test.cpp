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

std::string options(const std::string& inner) {
    return "<KestravaConfig><options>" + inner + "</options></KestravaConfig>";
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

TEST(ConfigFile, EveryValueIsWrittenInItsWordAndComesBack) {
    Config config;
    fields(config) =
        std::tuple(InitialMode::Find, FontSize::Small, true, true,
                   "/home/zoë/Skripte & <Tests> 'a' \"b\" &amp; &#65;/日本/"s, "/usr/bin/gvim"s,
                   "--remote-silent +%LineNumber% \"%Filename%\""s, -5, 2000, 1, 0, 0, true, false,
                   true, false, true, 7, true, 1, int64_t{5} << 30); // beyond 32 bits
    const struct {
        InitialMode initial;
        FontSize size;
        int32_t last;
        std::string mode, sizeWord; // as written: the mode for both the initial and the last one
    } cases[] = {
        {InitialMode::Find, FontSize::Small, 0, "Find", "Small"},
        {InitialMode::Replace, FontSize::Large, 1, "Replace", "Large"},
        {InitialMode::Script, FontSize::Medium, 2, "Script", "Medium"},
        {InitialMode::ViewFoldersFiles, FontSize::Small, 3, "ViewFoldersFiles", "Small"},
    };
    for (const auto& c : cases) {
        config.settings.initialMode = c.initial;
        config.settings.fontSize = c.size;
        config.lastMode = c.last;
        const std::string text = configToXml(config);
        for (const std::string& written :
             {"<initialmode value=\"" + c.mode + "\"/>", "<fontsize value=\"" + c.sizeWord + "\"/>",
              "<lastmode value=\"" + c.mode + "\"/>"})
            EXPECT_NE(text.find(written), std::string::npos) << written;
        EXPECT_EQ(fields(loadText(text)), fields(config)) << c.mode;
    }
}

// Whatever was loaded before is reset; a missing, malformed or hostile file leaves every default
// (and says why), never expands an entity, never reads another file, never runs out of stack.
TEST(ConfigLoad, EachValueIsTakenOnItsOwnAndAnUnreadableOneKeepsItsDefault) {
    const std::string form = "<KestravaConfig><forms><mainform ";
    const struct {
        std::string text;                    // "-": there is no file
        std::function<void(Config&)> change; // from the defaults
        std::string error = "(no error)";
    } cases[] = {
        {"-", nullptr},
        {"", nullptr, "No root element found in xml"},
        {"<KestravaConfig><options><fontsize value=\"Large\"/></option></KestravaConfig>", nullptr,
         "Incorrect close tag in element options"},
        {"<KestravaConfig>\0<options/>\0</KestravaConfig>"s, nullptr,
         "Missing close tag in element "},
        {deepNesting(10000), nullptr, "Elements nested more than 256 levels deep"},
        {deepNesting(10000, false), nullptr, "Elements nested more than 256 levels deep"},
        {deepNesting(200), [](Config& c) { c.settings.fontSize = FontSize::Large; }},
        {billionLaughs(),
         [](Config& c) { c.settings.scriptsFolder = c.settings.editorFileSpec = "&l9;"; }},
        {"<!DOCTYPE KestravaConfig [<!ENTITY pw SYSTEM \"file:///etc/passwd\">"
         "<!ENTITY % remote SYSTEM \"/etc/passwd\"> %remote;]>" +
             options("<scriptsfolder value=\"&pw;\"/><fileeditor filespec=\"&pw;\" "
                     "commandline=\"&pw;\"/>"),
         [](Config& c) {
             c.settings.scriptsFolder = c.settings.editorFileSpec = c.settings.editorCommandLine =
                 "&pw;";
         }},
        {options("<fileeditor filespec=\"" + std::string(10u << 20, 'e') + "\"/>"),
         [](Config& c) { c.settings.editorFileSpec = std::string(10u << 20, 'e'); }},
        {options("<fontsize value=\"LARGE\"/>"),
         [](Config& c) { c.settings.fontSize = FontSize::Large; }},
        {"<kestravaconfig><Options><FONTSIZE Value=\"medium\"/><InitialMode VALUE=\"script\"/>"
         "</Options><FORMS><MainForm TOP=\"5\"/></FORMS><Info><LastMode value=\"REPLACE\"/>"
         "</Info></kestravaconfig>",
         [](Config& c) {
             c.settings.fontSize = FontSize::Medium;
             c.settings.initialMode = InitialMode::Script;
             c.bounds.top = 5;
             c.lastMode = 1;
         }},
        {"<KestravaConfig><options><initialmode value=\"lastmode\"/><fontsize value=\"huge\"/>"
         "</options><info><lastmode value=\"lastmode\"/></info></KestravaConfig>",
         [](Config& c) { c.settings.initialMode = InitialMode::LastUsed; }},
        {options("<initialmode value=\"Medium\"/><fontsize value=\"\"/>"), nullptr},
        {form + "top=\"abc\" left=\"-20\" height=\"500\" width=\"+640\"/></forms></KestravaConfig>",
         [](Config& c) {
             c.bounds.top = 166;
             c.bounds.left = -20;
             c.bounds.height = 500;
             c.bounds.width = 640;
         }},
        {form + "top=\"2147483648\" left=\"1.5\" height=\"\"/></forms></KestravaConfig>", nullptr},
        {options("<fileeditor filespec=\"\" commandline=\"\"/>"), nullptr},
        {options("<fileeditor filespec=\"kate\"/>"),
         [](Config& c) { c.settings.editorFileSpec = "kate"; }},
        {options("<fileeditor commandline=\"-n %Filename%\"/>"),
         [](Config& c) { c.settings.editorCommandLine = "-n %Filename%"; }},
        {options("<preview value=\"yes\"/>"), [](Config& c) { c.settings.showPreview = true; }},
        {options("<includehidden value=\"1\"/>"),
         [](Config& c) { c.settings.includeHidden = true; }},
        {options("<preview size=\"-40\"/>"), nullptr},
        {options("<preview value=\"no\" size=\"300\"/>"),
         [](Config& c) { c.settings.previewSize = 300; }},
        // The journal's limits take whole numbers of at least 1 only.
        {options("<undojournal runs=\"0\" bytes=\"-1\"/>"), nullptr},
        {options("<undojournal value=\"no\" runs=\"2.5\" bytes=\"4294967296\"/>"),
         [](Config& c) {
             c.settings.keepUndoJournal = false;
             c.settings.undoBytesKept = int64_t{4} << 30;
         }},
    };
    for (const auto& c : cases) {
        Config expected;
        fields(expected) = kDefaults;
        if (c.change)
            c.change(expected);
        Config loaded;
        fields(loaded) = kExample;
        SCOPED_TRACE(c.text.substr(0, 160));
        EXPECT_EQ(loadInto(c.text, loaded), c.error);
        EXPECT_EQ(fields(loaded), fields(expected));
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
