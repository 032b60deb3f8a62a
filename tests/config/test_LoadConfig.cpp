// KestravaConfig.xml: the exact text saved, the defaults and fallbacks of the load, and that what
// is saved comes back.
#include "config/kes_uLoadConfig.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kes {
namespace {

constexpr int32_t kScreenWidth = 1920;
constexpr int32_t kScreenHeight = 1080;
const TkesFormBounds kCentred1080{166, 430, 748, 1060};

// Loads text as the settings file, with program folder "/opt/kestrava".
TkesConfig LoadText(const std::string& text) {
    test::TTempFolder folder;
    const std::string fileName = folder.Path() + "KestravaConfig.xml";
    test::WriteFileBytes(fileName, text);
    TkesConfig config;
    LoadConfig(fileName, "/opt/kestrava", kScreenWidth, kScreenHeight, config);
    return config;
}

std::string Options(const std::string& inner) {
    return "<KestravaConfig><options>" + inner + "</options></KestravaConfig>";
}

void ExpectDefaults(const TkesConfig& config) {
    const TkesSettings& s = config.Settings;
    EXPECT_EQ(s.InitialMode, imFind);
    EXPECT_EQ(s.FontSize, fsSmall);
    EXPECT_FALSE(s.CaseSensitiveMatching);
    EXPECT_FALSE(s.ReplaceInSitu);
    EXPECT_EQ(s.ScriptsFolder, "/opt/kestrava/");
    EXPECT_EQ(s.EditorFileSpec, "xdg-open");
    EXPECT_EQ(s.EditorCommandLine, "%Filename%");
    EXPECT_EQ(config.Bounds, kCentred1080);
    EXPECT_EQ(config.LastMode, mdFind);
}

TkesConfig ExampleConfig() {
    TkesConfig config;
    config.Settings.InitialMode = imLastUsed;
    config.Settings.FontSize = fsMedium;
    config.Settings.CaseSensitiveMatching = false;
    config.Settings.ReplaceInSitu = true;
    config.Settings.ScriptsFolder = "C:\\Tools\\Scripts\\";
    config.Settings.EditorFileSpec = "Notepad";
    config.Settings.EditorCommandLine = "%Filename%";
    config.Bounds = {140, 430, 748, 1060};
    config.LastMode = mdScript;
    return config;
}

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

// ---- Saving ----

TEST(ConfigSave, WritesTheExampleFileByteForByte) {
    test::TTempFolder folder;
    const std::string fileName = folder.Path() + "new/sub/KestravaConfig.xml";
    SaveConfig(fileName, ExampleConfig()); // creates the missing folders
    EXPECT_EQ(test::ReadFileBytes(fileName), kExampleText);
}

TEST(ConfigSave, EveryEnumerationValueHasItsWord) {
    const struct {
        TInitialMode Initial;
        TFontSize Size;
        TkesMode Last;
        const char* InitialWord;
        const char* SizeWord;
        const char* LastWord;
    } cases[] = {
        {imFind, fsSmall, mdFind, "Find", "Small", "Find"},
        {imReplace, fsLarge, mdFindAndReplace, "Replace", "Large", "Replace"},
        {imScript, fsMedium, mdScript, "Script", "Medium", "Script"},
        {imViewFoldersFiles, fsSmall, mdViewFoldersFiles, "ViewFoldersFiles", "Small",
         "ViewFoldersFiles"},
    };
    for (const auto& c : cases) {
        TkesConfig config;
        config.Settings.InitialMode = c.Initial;
        config.Settings.FontSize = c.Size;
        config.LastMode = c.Last;
        const std::string text = ConfigToXml(config);
        EXPECT_NE(text.find(std::string("<initialmode value=\"") + c.InitialWord + "\"/>"),
                  std::string::npos);
        EXPECT_NE(text.find(std::string("<fontsize value=\"") + c.SizeWord + "\"/>"),
                  std::string::npos);
        EXPECT_NE(text.find(std::string("<lastmode value=\"") + c.LastWord + "\"/>"),
                  std::string::npos);
    }
}

TEST(ConfigSave, FailureIsReportedWithTheReason) {
    test::TTempFolder folder;
    test::WriteFileBytes(folder.Path() + "plain", "x");
    try {
        SaveConfig(folder.Path() + "plain/KestravaConfig.xml", ExampleConfig());
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(folder.Path() + "plain"), std::string::npos)
            << e.what();
    }
}

// ---- Loading ----

TEST(ConfigLoad, ExampleFileGivesEveryValue) {
    const TkesConfig config = LoadText(kExampleText);
    const TkesSettings& s = config.Settings;
    EXPECT_EQ(s.InitialMode, imLastUsed);
    EXPECT_EQ(s.FontSize, fsMedium);
    EXPECT_FALSE(s.CaseSensitiveMatching);
    EXPECT_TRUE(s.ReplaceInSitu);
    EXPECT_EQ(s.ScriptsFolder, "C:\\Tools\\Scripts\\");
    EXPECT_EQ(s.EditorFileSpec, "Notepad");
    EXPECT_EQ(s.EditorCommandLine, "%Filename%");
    EXPECT_EQ(config.Bounds, (TkesFormBounds{140, 430, 748, 1060}));
    EXPECT_EQ(config.LastMode, mdScript);
}

TEST(ConfigLoad, MissingFileLeavesDefaultsAndAddsTheTrailingSlash) {
    test::TTempFolder folder;
    TkesConfig config;
    config.Settings.FontSize = fsLarge; // whatever was there is reset
    config.LastMode = mdScript;
    LoadConfig(folder.Path() + "absent.xml", "/opt/kestrava", kScreenWidth, kScreenHeight, config);
    ExpectDefaults(config);
}

TEST(ConfigLoad, FontSizeAloneLeavesEveryOtherDefault) {
    const TkesConfig config = LoadText(Options("<fontsize value=\"LARGE\"/>"));
    EXPECT_EQ(config.Settings.FontSize, fsLarge);
    TkesConfig expected = config;
    expected.Settings.FontSize = fsSmall;
    ExpectDefaults(expected);
}

TEST(ConfigLoad, NamesInOtherLetterCaseAreRead) {
    const TkesConfig config =
        LoadText("<kestravaconfig><Options><FONTSIZE Value=\"medium\"/>"
                 "<InitialMode VALUE=\"script\"/></Options>"
                 "<FORMS><MainForm TOP=\"5\"/></FORMS>"
                 "<Info><LastMode value=\"REPLACE\"/></Info></kestravaconfig>");
    EXPECT_EQ(config.Settings.FontSize, fsMedium);
    EXPECT_EQ(config.Settings.InitialMode, imScript);
    EXPECT_EQ(config.Bounds.Top, 5);
    EXPECT_EQ(config.LastMode, mdFindAndReplace);
}

TEST(ConfigLoad, WordsAreMappedAndUnknownWordsFallBack) {
    const struct {
        const char* Word;
        TInitialMode Initial;
        TFontSize Size;
        TkesMode Last;
    } cases[] = {
        {"lastmode", imLastUsed, fsSmall, mdFind},
        {"Replace", imReplace, fsSmall, mdFindAndReplace},
        {"SCRIPT", imScript, fsSmall, mdScript},
        {"ViewFoldersFiles", imViewFoldersFiles, fsSmall, mdViewFoldersFiles},
        {"Medium", imFind, fsMedium, mdFind},
        {"huge", imFind, fsSmall, mdFind},
        {"", imFind, fsSmall, mdFind},
    };
    for (const auto& c : cases) {
        const std::string value = std::string("value=\"") + c.Word + "\"/>";
        std::string text = "<KestravaConfig><options><initialmode ";
        for (const char* part : {"<fontsize ", "</options><info><lastmode "})
            text += value + part;
        text += value + "</info></KestravaConfig>";
        const TkesConfig config = LoadText(text);
        EXPECT_EQ(config.Settings.InitialMode, c.Initial) << c.Word;
        EXPECT_EQ(config.Settings.FontSize, c.Size) << c.Word;
        EXPECT_EQ(config.LastMode, c.Last) << c.Word;
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

TEST(ConfigLoad, MainFormTakesEachIntegerAttributeOnItsOwn) {
    const TkesConfig config = LoadText("<KestravaConfig><forms><mainform top=\"abc\" left=\"-20\" "
                                       "height=\"500\" width=\"+640\"/></forms></KestravaConfig>");
    EXPECT_EQ(config.Bounds, (TkesFormBounds{kCentred1080.Top, -20, 500, 640}));
    const TkesConfig overflow = LoadText("<KestravaConfig><forms><mainform top=\"2147483648\" "
                                         "left=\"1.5\" height=\"\"/></forms></KestravaConfig>");
    EXPECT_EQ(overflow.Bounds, kCentred1080);
}

TEST(ConfigLoad, EmptyOrMissingEditorValuesFallBackToTheDefaults) {
    TkesConfig saved = ExampleConfig();
    saved.Settings.EditorFileSpec = "";
    saved.Settings.EditorCommandLine = "";
    const std::string text = ConfigToXml(saved);
    EXPECT_NE(text.find("<fileeditor filespec=\"\" commandline=\"\"/>"), std::string::npos);
    const TkesConfig loaded = LoadText(text);
    EXPECT_EQ(loaded.Settings.EditorFileSpec, "xdg-open");
    EXPECT_EQ(loaded.Settings.EditorCommandLine, "%Filename%");
    const TkesConfig partial = LoadText(Options("<fileeditor filespec=\"kate\"/>"));
    EXPECT_EQ(partial.Settings.EditorFileSpec, "kate");
    EXPECT_EQ(partial.Settings.EditorCommandLine, "%Filename%");
}

TEST(ConfigLoad, ParseErrorsRaiseTheirMessageAndLeaveEveryDefault) {
    const struct {
        const char* Text;
        const char* Message;
    } cases[] = {
        {"", "No root element found in xml"},
        {"<KestravaConfig><options><fontsize value=\"Large\"/></option></KestravaConfig>",
         "Incorrect close tag in element options"},
        {"<KestravaConfig><options><fontsize value=\"Large\"/></options</KestravaConfig>",
         "Missing \">\" in close tag of element options"},
    };
    for (const auto& c : cases) {
        test::TTempFolder folder;
        const std::string fileName = folder.Path() + "KestravaConfig.xml";
        test::WriteFileBytes(fileName, c.Text);
        TkesConfig config = ExampleConfig();
        try {
            LoadConfig(fileName, "/opt/kestrava", kScreenWidth, kScreenHeight, config);
            ADD_FAILURE() << "no error for " << c.Text;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), c.Message);
        }
        ExpectDefaults(config);
    }
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
    test::TTempFolder folder;
    TkesConfig config;
    LoadConfig(folder.Path() + "absent.xml", "/opt/", 1024, 768, config);
    EXPECT_EQ(config.Bounds, (TkesFormBounds{10, 0, 748, 1024}));
}

// ---- Round trips ----

TEST(ConfigRoundTrip, EveryPersistedValueComesBack) {
    TkesConfig saved;
    saved.Settings.InitialMode = imViewFoldersFiles;
    saved.Settings.FontSize = fsLarge;
    saved.Settings.CaseSensitiveMatching = true;
    saved.Settings.ReplaceInSitu = true;
    saved.Settings.ScriptsFolder = "/home/zoë/Skripte & <Tests> 'a' \"b\"/日本/";
    saved.Settings.EditorFileSpec = "/usr/bin/gvim";
    saved.Settings.EditorCommandLine = "--remote-silent +%LineNumber% \"%Filename%\"";
    saved.Bounds = {-5, 2000, 1, 0};
    saved.LastMode = mdViewFoldersFiles;

    test::TTempFolder folder;
    const std::string fileName = folder.Path() + "KestravaConfig.xml";
    SaveConfig(fileName, saved);
    TkesConfig loaded;
    LoadConfig(fileName, "/opt/kestrava", kScreenWidth, kScreenHeight, loaded);
    EXPECT_EQ(loaded.Settings.InitialMode, saved.Settings.InitialMode);
    EXPECT_EQ(loaded.Settings.FontSize, saved.Settings.FontSize);
    EXPECT_TRUE(loaded.Settings.CaseSensitiveMatching);
    EXPECT_TRUE(loaded.Settings.ReplaceInSitu);
    EXPECT_EQ(loaded.Settings.ScriptsFolder, saved.Settings.ScriptsFolder);
    EXPECT_EQ(loaded.Settings.EditorFileSpec, saved.Settings.EditorFileSpec);
    EXPECT_EQ(loaded.Settings.EditorCommandLine, saved.Settings.EditorCommandLine);
    EXPECT_EQ(loaded.Bounds, saved.Bounds);
    EXPECT_EQ(loaded.LastMode, saved.LastMode);
}

} // namespace
} // namespace kes
