// Where the settings live (the environment override, a portable install, the XDG folder), and how
// both settings files are saved into it.
#include "config/config_paths.h"
#include "config/history.h"
#include "config/settings.h"

#include "../util/util_test_support.h"

#include <gtest/gtest.h>

namespace kestrava::config {
namespace {

TEST(SettingsFolder, ChoiceByEnvironmentAndProgramFolder) {
    kestest::TempFolder portable; // holds a KestravaConfig.xml
    kestest::writeRaw(portable.path() + "KestravaConfig.xml", "<KestravaConfig/>");
    kestest::TempFolder installed; // holds none
    kestest::TempFolder lookalike; // holds a folder of that name
    std::filesystem::create_directory(lookalike.path() + "KestravaConfig.xml");
    const std::string portableNoSlash = portable.path().substr(0, portable.path().size() - 1);
    const struct {
        const char* label;
        ConfigEnvironment env;
        std::string program;
        std::string expected;
    } cases[] = {
        {"override wins", {"/etc/kes", "/x", "/home/u", "", ""}, portable.path(), "/etc/kes/"},
        {"portable install", {"", "/x", "/home/u", "", ""}, portable.path(), portable.path()},
        {"portable, no slash", {"", "/x", "/home/u", "", ""}, portableNoSlash, portable.path()},
        {"folder named like the file", {"", "/x", "", "", ""}, lookalike.path(), "/x/kestrava/"},
        {"XDG folder", {"", "/x/conf/", "/home/u", "", ""}, installed.path(), "/x/conf/kestrava/"},
        {"relative XDG",
         {"", "conf", "/home/u", "", ""},
         installed.path(),
         "/home/u/.config/kestrava/"},
        {"home default",
         {"", "", "/home/u/", "", ""},
         installed.path(),
         "/home/u/.config/kestrava/"},
        {"no home at all", {"", "", "", "", ""}, installed.path(), installed.path()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(settingsFolder(c.program, c.env), c.expected) << c.label;
    EXPECT_EQ(configFilePath("/a/b"), "/a/b/KestravaConfig.xml");
    EXPECT_EQ(historyFilePath("/a/b/"), "/a/b/kestrava.ini");
}

// Scripts are documents: they go to the XDG data folder unless the install is portable.
TEST(SettingsFolder, DefaultScriptsFolderByEnvironmentAndProgramFolder) {
    kestest::TempFolder portable;
    kestest::writeRaw(portable.path() + "KestravaConfig.xml", "<KestravaConfig/>");
    kestest::TempFolder installed;
    const struct {
        const char* label;
        ConfigEnvironment env;
        std::string program;
        std::string expected;
    } cases[] = {
        {"portable install", {"", "/c", "/home/u", "/d", ""}, portable.path(), portable.path()},
        {"portable, settings moved",
         {"/etc/kes", "", "/home/u", "/d/", ""},
         portable.path(),
         "/d/kestrava/scripts/"},
        {"XDG data folder",
         {"", "", "/home/u", "/d/", ""},
         installed.path(),
         "/d/kestrava/scripts/"},
        {"relative XDG",
         {"", "", "/home/u", "d", ""},
         installed.path(),
         "/home/u/.local/share/kestrava/scripts/"},
        {"home default",
         {"", "/c", "/home/u", "", ""},
         installed.path(),
         "/home/u/.local/share/kestrava/scripts/"},
        {"no home at all", {"", "", "", "", ""}, installed.path(), installed.path()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(defaultScriptsFolder(c.program, c.env), c.expected) << c.label;
    EXPECT_EQ(undoJournalFolder({"", "", "/home/u", "", "/s"}), "/s/kestrava/undo/");
    EXPECT_EQ(undoJournalFolder({"", "", "/home/u", "", "s"}),
              "/home/u/.local/state/kestrava/undo/");
}

TEST(SettingsFolder, ProgramFolderIsTheFolderOfThisTestProgram) {
    const std::string folder = programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(folder + "config_tests"));
}

// A folder that is a regular file cannot be created, not even by root.
TEST(SettingsFiles, SavingCreatesTheFolderAndAFailureNamesIt) {
    kestest::TempFolder folder;
    kestest::writeRaw(folder.path() + "plain", "x");
    const std::pair<const char*, std::function<void(const std::string&)>> savers[] = {
        {"settings", [](const std::string& name) { saveConfig(name, Config{}); }},
        {"histories", [](const std::string& name) { saveHistory(name, HistoryBoxes{}); }},
    };
    for (const auto& [what, saver] : savers) {
        const auto& save = saver; // clang cannot capture a structured binding in a lambda
        save(folder.path() + what + "/sub/file");
        EXPECT_TRUE(std::filesystem::is_regular_file(folder.path() + what + "/sub/file")) << what;
        const std::string error = kestest::errorOf([&] { save(folder.path() + "plain/file"); });
        EXPECT_NE(error.find(folder.path() + "plain"), std::string::npos) << what << ": " << error;
    }
}

// A file that could not be read is moved aside, never over anything already kept.
TEST(SettingsFiles, ADamagedFileIsKeptUnderAFreeName) {
    kestest::TempFolder folder;
    const std::string file = folder.path() + "KestravaConfig.xml";
    EXPECT_EQ(keepDamagedFile(file, damagedFileName(file)), ""); // nothing to keep
    kestest::writeRaw(file, "first");
    EXPECT_EQ(keepDamagedFile(file, damagedFileName(file)), file + ".damaged");
    kestest::writeRaw(file, "second");
    const std::string stamped = damagedFileName(file);
    EXPECT_TRUE(stamped.starts_with(file + ".damaged-")) << stamped;
    kestest::writeRaw(stamped, "appeared meanwhile");
    const std::string kept = keepDamagedFile(file, stamped);
    EXPECT_EQ(kept, stamped + "-2");
    EXPECT_EQ(kestest::readFile(file + ".damaged"), "first");
    EXPECT_EQ(kestest::readFile(stamped), "appeared meanwhile");
    EXPECT_EQ(kestest::readFile(kept), "second");
    EXPECT_FALSE(std::filesystem::exists(file));
}

} // namespace
} // namespace kestrava::config
