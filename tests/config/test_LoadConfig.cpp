// KestravaConfig.xml: the exact text saved, the defaults and fallbacks of the load, and that what
// is saved comes back.
#include "config/kes_uLoadConfig.h"

#include "../util/UtilTestSupport.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kes {
namespace {

using namespace std::string_literals;

// Every persisted field: one expectation compares (and prints) them all, one assignment sets them.
auto Fields(auto&& c) {
    return std::tie(c.Settings.InitialMode, c.Settings.FontSize, c.Settings.CaseSensitiveMatching,
                    c.Settings.ReplaceInSitu, c.Settings.ScriptsFolder, c.Settings.EditorFileSpec,
                    c.Settings.EditorCommandLine, c.Bounds.Top, c.Bounds.Left, c.Bounds.Height,
                    c.Bounds.Width, c.LastMode);
}

// What the load gives for anything the file does not say, on a 1920 x 1080 screen.
const auto kDefaults = std::tuple(imFind, fsSmall, false, false, "/opt/kestrava/"s, "xdg-open"s,
                                  "%Filename%"s, 166, 430, 748, 1060, mdFind);
const auto kExample = std::tuple(imLastUsed, fsMedium, false, true, "C:\\Tools\\Scripts\\"s,
                                 "Notepad"s, "%Filename%"s, 140, 430, 748, 1060, mdScript);

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
    "  </options>\r\n"
    "  <forms>\r\n"
    "    <mainform top=\"140\" left=\"430\" height=\"748\" width=\"1060\"/>\r\n"
    "  </forms>\r\n"
    "  <info>\r\n"
    "    <lastmode value=\"Script\"/>\r\n"
    "  </info>\r\n"
    "</KestravaConfig>\r\n";

// Loads text as the settings file (no file at all when text is null) into config; returns the
// error raised, "(no error)" when none.
std::string LoadInto(const char* text, TkesConfig& config) {
    kestest::TempFolder folder;
    const std::string fileName = folder.Path() + "KestravaConfig.xml";
    if (text != nullptr)
        kestest::WriteRaw(fileName, text);
    return kestest::ErrorOf([&] { LoadConfig(fileName, "/opt/kestrava", 1920, 1080, config); });
}

TkesConfig LoadText(const std::string& text) {
    TkesConfig config;
    EXPECT_EQ(LoadInto(text.c_str(), config), "(no error)") << text;
    return config;
}

std::string Options(const std::string& inner) {
    return "<KestravaConfig><options>" + inner + "</options></KestravaConfig>";
}

TEST(ConfigFile, ExampleIsWrittenByteForByteAndReadBack) {
    kestest::TempFolder folder;
    TkesConfig config;
    Fields(config) = kExample;
    SaveConfig(folder.Path() + "KestravaConfig.xml", config);
    EXPECT_EQ(kestest::ReadFile(folder.Path() + "KestravaConfig.xml"), kExampleText);
    EXPECT_EQ(Fields(LoadText(kExampleText)), kExample);
}

TEST(ConfigFile, EveryValueIsWrittenInItsWordAndComesBack) {
    TkesConfig config;
    Fields(config) = std::tuple(
        imFind, fsSmall, true, true, "/home/zoë/Skripte & <Tests> 'a' \"b\" &amp; &#65;/日本/"s,
        "/usr/bin/gvim"s, "--remote-silent +%LineNumber% \"%Filename%\""s, -5, 2000, 1, 0, mdFind);
    const struct {
        TInitialMode Initial;
        TFontSize Size;
        TkesMode Last;
        const char* Words[3]; // as written for each of them
    } cases[] = {
        {imFind, fsSmall, mdFind, {"Find", "Small", "Find"}},
        {imReplace, fsLarge, mdFindAndReplace, {"Replace", "Large", "Replace"}},
        {imScript, fsMedium, mdScript, {"Script", "Medium", "Script"}},
        {imViewFoldersFiles,
         fsSmall,
         mdViewFoldersFiles,
         {"ViewFoldersFiles", "Small", "ViewFoldersFiles"}},
    };
    for (const auto& c : cases) {
        config.Settings.InitialMode = c.Initial;
        config.Settings.FontSize = c.Size;
        config.LastMode = c.Last;
        const std::string text = ConfigToXml(config);
        const std::string elements[] = {"initialmode", "fontsize", "lastmode"};
        for (size_t i = 0; i < 3; ++i) {
            const std::string written = "<" + elements[i] + " value=\"" + c.Words[i] + "\"/>";
            EXPECT_NE(text.find(written), std::string::npos) << written;
        }
        EXPECT_EQ(Fields(LoadText(text)), Fields(config)) << c.Words[0];
    }
}

TEST(ConfigLoad, MissingOrMalformedFileLeavesEveryDefault) {
    const struct {
        const char* Text;
        const char* Error;
    } cases[] = {
        {nullptr, "(no error)"},
        {"", "No root element found in xml"},
        {"<KestravaConfig><options><fontsize value=\"Large\"/></option></KestravaConfig>",
         "Incorrect close tag in element options"},
        {"<KestravaConfig><options><fontsize value=\"Large\"/></options</KestravaConfig>",
         "Missing \">\" in close tag of element options"},
    };
    for (const auto& c : cases) {
        TkesConfig config;
        Fields(config) = kExample; // whatever was there is reset
        EXPECT_EQ(LoadInto(c.Text, config), c.Error) << c.Error;
        EXPECT_EQ(Fields(config), kDefaults) << c.Error;
    }
}

TEST(ConfigLoad, EachValueIsTakenOnItsOwnAndAnUnreadableOneKeepsItsDefault) {
    const std::string form = "<KestravaConfig><forms><mainform ";
    const struct {
        std::string Text;
        std::function<void(TkesConfig&)> Change; // from the defaults
    } cases[] = {
        {Options("<fontsize value=\"LARGE\"/>"),
         [](TkesConfig& c) { c.Settings.FontSize = fsLarge; }},
        {"<kestravaconfig><Options><FONTSIZE Value=\"medium\"/><InitialMode VALUE=\"script\"/>"
         "</Options><FORMS><MainForm TOP=\"5\"/></FORMS><Info><LastMode value=\"REPLACE\"/>"
         "</Info></kestravaconfig>",
         [](TkesConfig& c) {
             c.Settings.FontSize = fsMedium;
             c.Settings.InitialMode = imScript;
             c.Bounds.Top = 5;
             c.LastMode = mdFindAndReplace;
         }},
        {"<KestravaConfig><options><initialmode value=\"lastmode\"/><fontsize value=\"huge\"/>"
         "</options><info><lastmode value=\"lastmode\"/></info></KestravaConfig>",
         [](TkesConfig& c) { c.Settings.InitialMode = imLastUsed; }},
        {Options("<initialmode value=\"Medium\"/><fontsize value=\"\"/>"), [](TkesConfig&) {}},
        {form + "top=\"abc\" left=\"-20\" height=\"500\" width=\"+640\"/></forms></KestravaConfig>",
         [](TkesConfig& c) {
             c.Bounds = {166, -20, 500, 640};
         }},
        {form + "top=\"2147483648\" left=\"1.5\" height=\"\"/></forms></KestravaConfig>",
         [](TkesConfig&) {}},
        {Options("<fileeditor filespec=\"\" commandline=\"\"/>"), [](TkesConfig&) {}},
        {Options("<fileeditor filespec=\"kate\"/>"),
         [](TkesConfig& c) { c.Settings.EditorFileSpec = "kate"; }},
        {Options("<fileeditor commandline=\"-n %Filename%\"/>"),
         [](TkesConfig& c) { c.Settings.EditorCommandLine = "-n %Filename%"; }},
    };
    for (const auto& c : cases) {
        TkesConfig expected;
        Fields(expected) = kDefaults;
        c.Change(expected);
        EXPECT_EQ(Fields(LoadText(c.Text)), Fields(expected)) << c.Text;
    }
}

TEST(ConfigLoad, BooleanValues) {
    const struct {
        const char* Value;
        bool Expected;
    } cases[] = {
        {"2", true},    {"0.0", false}, {"Yes", true},  {"maybe", false}, {"", false},
        {"-1", true},   {"1e3", true},  {"0e5", false}, {"y", true},      {"TRUE", true},
        {"tRuE", true}, {"N", false},   {"no", false},  {"FALSE", false}, {" 1 ", true},
        {"inf", false}, {"nan", false}, {"0x1", false}, {"yes!", false},
    };
    for (const auto& c : cases) {
        const TkesConfig config =
            LoadText(Options(std::string("<casesensitivematching value=\"") + c.Value + "\"/>"));
        EXPECT_EQ(config.Settings.CaseSensitiveMatching, c.Expected) << '"' << c.Value << '"';
    }
    // The default decides only for values that are neither numbers nor boolean words.
    EXPECT_TRUE(ConfigStrToBool("maybe", true));
    EXPECT_FALSE(ConfigStrToBool("0", true));
}

TEST(ConfigLoad, ScreenDerivedBounds) {
    const struct {
        int32_t ScreenWidth, ScreenHeight;
        TkesFormBounds Expected; // top, left, height, width
    } cases[] = {
        {1024, 768, {10, 0, 748, 1024}}, {1920, 1080, {166, 430, 748, 1060}},
        {1061, 749, {0, 0, 748, 1060}}, // half a pixel truncates
        {1063, 751, {1, 1, 748, 1060}},  {800, 600, {0, 0, 600, 800}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DefaultFormBounds(c.ScreenWidth, c.ScreenHeight), c.Expected)
            << c.ScreenWidth << "x" << c.ScreenHeight;
    }
}

} // namespace
} // namespace kes
