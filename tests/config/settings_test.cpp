// KestravaConfig.xml: the exact text saved, the defaults and fallbacks of the load.
#include "config/settings.h"

#include "../case_table.h"
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

// No file at all for "-".
std::string loadInto(const std::string& text, Config& config) {
    kestest::TempFolder folder;
    const std::string fileName = folder.path() + "KestravaConfig.xml";
    if (text != "-")
        kestest::writeRaw(fileName, text);
    return kestest::errorOf([&] { loadConfig(fileName, "/opt/kestrava", 1920, 1080, config); });
}

std::string options(const std::string& inner) {
    return "<KestravaConfig><options>" + inner + "</options></KestravaConfig>";
}

TEST(ConfigFile, ExampleIsWrittenByteForByteAndReadBack) {
    const std::string example = kestest::readFile(KES_CONFIG_DATA "example-settings.xml");
    Config config;
    fields(config) = kExample;
    EXPECT_EQ(configToXml(config), example);
    fields(config) = kDefaults;
    EXPECT_EQ(loadInto(example, config), "(no error)");
    EXPECT_EQ(fields(config), kExample);
}

// The defaults as saved, with each element from expected[1] on in place of the one of its name.
std::string savedWith(const std::vector<std::string>& expected) {
    Config defaults;
    fields(defaults) = kDefaults;
    std::string text = configToXml(defaults);
    for (size_t i = 1; i < expected.size(); ++i) {
        const std::string& element = expected[i];
        const size_t from = text.find(element.substr(0, element.find(' ') + 1));
        if (from == std::string::npos)
            return "no element like " + element;
        text.replace(from, text.find("/>", from) + 2 - from, element);
    }
    return text;
}

// Whatever was loaded before is reset. Each data/*.expected holds the error, then the elements
// that differ from the defaults as saved. Only the large cases are made here.
TEST(ConfigLoad, EachValueIsTakenOnItsOwnAndAnUnreadableOneKeepsItsDefault) {
    auto cases = kestest::fileCases(KES_CONFIG_DATA, ".xml");
    ASSERT_GT(cases.size(), 30u);
    // Elements nested depth deep inside the options; left open, the file ends among them.
    const auto nested = [](int depth, bool closed) {
        std::string open, close;
        for (int i = 0; i < depth; ++i)
            open += "<n>", close += "</n>";
        return closed ? options(open + close + R"(<fontsize value="Large"/>)")
                      : "<KestravaConfig><options>" + open;
    };
    const std::string tooDeep = "Elements nested more than 256 levels deep";
    const std::string huge(10u << 20, 'e');
    cases.push_back({"no file", "-", {"(no error)"}});
    cases.push_back(
        {"200 deep", nested(200, true), {"(no error)", R"(<fontsize value="Large"/>)"}});
    cases.push_back({"too deep", nested(10000, true), {tooDeep}});
    cases.push_back({"too deep, left open", nested(10000, false), {tooDeep}});
    cases.push_back(
        {"10 MB value",
         options(R"(<fileeditor filespec=")" + huge + R"("/>)"),
         {"(no error)", R"(<fileeditor filespec=")" + huge + R"(" commandline="%Filename%"/>)"}});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Config loaded;
        fields(loaded) = kExample;
        EXPECT_EQ(loadInto(c.input, loaded), c.expected.at(0));
        EXPECT_EQ(configToXml(loaded), savedWith(c.expected));
    }
}

TEST(ConfigLoad, BooleanWordsAndScreenDerivedBounds) {
    const std::string tables = KES_CONFIG_DATA "tables.txt";
    for (const golden::Row& r : golden::caseTable(tables, "boolean words"))
        EXPECT_EQ(configStrToBool(r[0], r[1] == "1"), r[2] == "1") << '"' << r[0] << '"';
    for (const golden::Row& r : golden::caseTable(tables, "screen bounds")) {
        const WindowBounds expected{std::stoi(r[2]), std::stoi(r[3]), std::stoi(r[4]),
                                    std::stoi(r[5])};
        EXPECT_EQ(defaultFormBounds(std::stoi(r[0]), std::stoi(r[1])), expected) << r[0] << r[1];
    }
}

} // namespace
} // namespace kestrava::config
