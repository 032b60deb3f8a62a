// Where the settings live (the environment override, a portable install, the XDG folder), and how
// both settings files are saved into it.
#include "config/kes_uConfigPaths.h"
#include "config/kes_uHistory.h"
#include "config/kes_uLoadConfig.h"

#include "../util/UtilTestSupport.h"

#include <gtest/gtest.h>

namespace kes {
namespace {

TEST(SettingsFolder, ChoiceByEnvironmentAndProgramFolder) {
    kestest::TempFolder portable; // holds a KestravaConfig.xml
    kestest::WriteRaw(portable.Path() + "KestravaConfig.xml", "<KestravaConfig/>");
    kestest::TempFolder installed; // holds none
    kestest::TempFolder lookalike; // holds a folder of that name
    std::filesystem::create_directory(lookalike.Path() + "KestravaConfig.xml");
    const std::string portableNoSlash = portable.Path().substr(0, portable.Path().size() - 1);
    const struct {
        const char* Case;
        TConfigEnvironment Env;
        std::string Program;
        std::string Expected;
    } cases[] = {
        {"override wins", {"/etc/kes", "/x", "/home/u"}, portable.Path(), "/etc/kes/"},
        {"portable install", {"", "/x", "/home/u"}, portable.Path(), portable.Path()},
        {"portable, no slash", {"", "/x", "/home/u"}, portableNoSlash, portable.Path()},
        {"folder named like the file", {"", "/x", ""}, lookalike.Path(), "/x/kestrava/"},
        {"XDG folder", {"", "/x/conf/", "/home/u"}, installed.Path(), "/x/conf/kestrava/"},
        {"relative XDG", {"", "conf", "/home/u"}, installed.Path(), "/home/u/.config/kestrava/"},
        {"home default", {"", "", "/home/u/"}, installed.Path(), "/home/u/.config/kestrava/"},
        {"no home at all", {"", "", ""}, installed.Path(), installed.Path()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SettingsFolder(c.Program, c.Env), c.Expected) << c.Case;
    EXPECT_EQ(ConfigFilePath("/a/b"), "/a/b/KestravaConfig.xml");
    EXPECT_EQ(HistoryFilePath("/a/b/"), "/a/b/kestrava.ini");
}

TEST(SettingsFolder, ProgramFolderIsTheFolderOfThisTestProgram) {
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(folder + "config_tests"));
}

// A folder that is a regular file cannot be created, not even by root.
TEST(SettingsFiles, SavingCreatesTheFolderAndAFailureNamesIt) {
    kestest::TempFolder folder;
    kestest::WriteRaw(folder.Path() + "plain", "x");
    const std::pair<const char*, std::function<void(const std::string&)>> savers[] = {
        {"settings", [](const std::string& name) { SaveConfig(name, TkesConfig{}); }},
        {"histories", [](const std::string& name) { SaveHistory(name, THistoryBoxes{}); }},
    };
    for (const auto& [what, save] : savers) {
        save(folder.Path() + what + "/sub/file");
        EXPECT_TRUE(std::filesystem::is_regular_file(folder.Path() + what + "/sub/file")) << what;
        const std::string error = kestest::ErrorOf([&] { save(folder.Path() + "plain/file"); });
        EXPECT_NE(error.find(folder.Path() + "plain"), std::string::npos) << what << ": " << error;
    }
}

// A file that could not be read is moved aside, never over anything already kept.
TEST(SettingsFiles, ADamagedFileIsKeptUnderAFreeName) {
    kestest::TempFolder folder;
    const std::string file = folder.Path() + "KestravaConfig.xml";
    EXPECT_EQ(KeepDamagedFile(file, DamagedFileName(file)), ""); // nothing to keep
    kestest::WriteRaw(file, "first");
    EXPECT_EQ(KeepDamagedFile(file, DamagedFileName(file)), file + ".damaged");
    kestest::WriteRaw(file, "second");
    const std::string stamped = DamagedFileName(file);
    EXPECT_TRUE(stamped.starts_with(file + ".damaged-")) << stamped;
    kestest::WriteRaw(stamped, "appeared meanwhile");
    const std::string kept = KeepDamagedFile(file, stamped);
    EXPECT_EQ(kept, stamped + "-2");
    EXPECT_EQ(kestest::ReadFile(file + ".damaged"), "first");
    EXPECT_EQ(kestest::ReadFile(stamped), "appeared meanwhile");
    EXPECT_EQ(kestest::ReadFile(kept), "second");
    EXPECT_FALSE(std::filesystem::exists(file));
}

} // namespace
} // namespace kes
