// Choosing the settings folder: the environment override, a portable install, the XDG folder.
#include "config/kes_uConfigPaths.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kes {
namespace {

TEST(SettingsFolder, ChoiceByEnvironmentAndProgramFolder) {
    test::TTempFolder portable; // holds a KestravaConfig.xml
    test::WriteFileBytes(portable.Path() + "KestravaConfig.xml", "<KestravaConfig/>");
    test::TTempFolder installed; // holds none
    const std::string portableNoSlash = portable.Path().substr(0, portable.Path().size() - 1);
    const struct {
        const char* Case;
        TConfigEnvironment Env;
        std::string Program;
        std::string Expected;
    } cases[] = {
        {"override wins over everything",
         {"/etc/kes", "/x", "/home/u"},
         portable.Path(),
         "/etc/kes/"},
        {"portable install", {"", "/x", "/home/u"}, portable.Path(), portable.Path()},
        {"portable install, folder without slash",
         {"", "/x", "/home/u"},
         portableNoSlash,
         portable.Path()},
        {"XDG folder", {"", "/x/conf/", "/home/u"}, installed.Path(), "/x/conf/kestrava/"},
        {"relative XDG folder is ignored",
         {"", "conf", "/home/u"},
         installed.Path(),
         "/home/u/.config/kestrava/"},
        {"home default", {"", "", "/home/u/"}, installed.Path(), "/home/u/.config/kestrava/"},
        {"no home at all", {"", "", ""}, installed.Path(), installed.Path()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SettingsFolder(c.Program, c.Env), c.Expected) << c.Case;
}

TEST(SettingsFolder, AFolderNamedLikeTheSettingsFileIsNoPortableInstall) {
    test::TTempFolder program;
    std::filesystem::create_directory(program.Path() + "KestravaConfig.xml");
    EXPECT_EQ(SettingsFolder(program.Path(), {"", "/x", ""}), "/x/kestrava/");
}

TEST(SettingsFolder, FileNamesAndFolderCreation) {
    EXPECT_EQ(ConfigFilePath("/a/b"), "/a/b/KestravaConfig.xml");
    EXPECT_EQ(HistoryFilePath("/a/b/"), "/a/b/kestrava.ini");
    test::TTempFolder folder;
    ForceSettingsFolder(folder.Path() + "x/y/kestrava.ini");
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path() + "x/y"));
    test::WriteFileBytes(folder.Path() + "plain", "x");
    EXPECT_THROW(ForceSettingsFolder(folder.Path() + "plain/sub/kestrava.ini"), std::runtime_error);
}

TEST(SettingsFolder, ProgramFolderIsTheFolderOfThisTestProgram) {
    const std::string folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(folder + "config_tests"));
}

} // namespace
} // namespace kes
