// Where the settings live, and how both settings files are saved into it.
#include "config/config_paths.h"
#include "config/history.h"
#include "config/settings.h"

#include "../util/util_test_support.h"

#include <gtest/gtest.h>

namespace kestrava::config {
namespace {

ConfigEnvironment env(const char* a = "", const char* b = "", const char* c = "",
                      const char* d = "", const char* e = "") {
    return {a, b, c, d, e};
}

// Scripts are documents: they go to the XDG data folder unless the install is portable.
TEST(SettingsFolder, ChoiceByEnvironmentAndProgramFolder) {
    kestest::TempFolder portable; // holds a KestravaConfig.xml
    kestest::writeRaw(portable.path() + "KestravaConfig.xml", "<KestravaConfig/>");
    kestest::TempFolder installed; // holds none
    kestest::TempFolder lookalike; // holds a folder of that name
    std::filesystem::create_directory(lookalike.path() + "KestravaConfig.xml");
    const std::string& p = portable.path();
    const std::string& i = installed.path();
    const struct {
        const char* label;
        char folder; // 's': settingsFolder, 'c': defaultScriptsFolder, 'u': undoJournalFolder
        ConfigEnvironment env; // KESTRAVA_CONFIG_DIR, XDG_CONFIG_HOME, HOME, XDG_DATA/STATE_HOME
        std::string program;
        std::string expected;
    } cases[] = {
        {"override wins", 's', env("/etc/kes", "/x", "/home/u"), p, "/etc/kes/"},
        {"portable install", 's', env("", "/x", "/home/u"), p, p},
        {"portable, no slash", 's', env("", "/x", "/home/u"), p.substr(0, p.size() - 1), p},
        {"folder named like the file", 's', env("", "/x"), lookalike.path(), "/x/kestrava/"},
        {"XDG folder", 's', env("", "/x/conf/", "/home/u"), i, "/x/conf/kestrava/"},
        {"relative XDG", 's', env("", "conf", "/home/u"), i, "/home/u/.config/kestrava/"},
        {"home default", 's', env("", "", "/home/u/"), i, "/home/u/.config/kestrava/"},
        {"no home at all", 's', env(), i, i},
        {"scripts, portable", 'c', env("", "/c", "/home/u", "/d"), p, p},
        {"scripts, settings moved", 'c', env("/etc/kes", "", "/u", "/d/"), p,
         "/d/kestrava/scripts/"},
        {"scripts, XDG folder", 'c', env("", "", "/home/u", "/d/"), i, "/d/kestrava/scripts/"},
        {"scripts, relative XDG", 'c', env("", "", "/u", "d"), i,
         "/u/.local/share/kestrava/scripts/"},
        {"scripts, home default", 'c', env("", "/c", "/u"), i, "/u/.local/share/kestrava/scripts/"},
        {"scripts, no home at all", 'c', env(), i, i},
        {"undo, XDG folder", 'u', env("", "", "/home/u", "", "/s"), "", "/s/kestrava/undo/"},
        {"undo, relative XDG", 'u', env("", "", "/u", "", "s"), "",
         "/u/.local/state/kestrava/undo/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.folder == 's'   ? settingsFolder(c.program, c.env)
                  : c.folder == 'c' ? defaultScriptsFolder(c.program, c.env)
                                    : undoJournalFolder(c.env),
                  c.expected)
            << c.label;
    }
    EXPECT_EQ(configFilePath("/a/b"), "/a/b/KestravaConfig.xml");
    EXPECT_EQ(historyFilePath("/a/b/"), "/a/b/kestrava.ini");
    const std::string program = programFolder(); // this test program's
    EXPECT_TRUE(program.ends_with('/')) << program;
    EXPECT_TRUE(std::filesystem::exists(program + "config_tests")) << program;
}

Config configWith(const std::string& editor) {
    Config config;
    config.settings.editorFileSpec = editor;
    return config;
}

HistoryBoxes historyWith(const std::string& find) {
    HistoryBoxes boxes;
    boxes[HistoryBox::FindExpressions] = {{find, "second"}, 0};
    return boxes;
}

// A folder that is a regular file cannot be created, not even by root.
TEST(SettingsFiles, SavesCreateTheFolderAndAreAtomicEvenTwoAtOnce) {
    const struct {
        const char* name;
        std::function<void(const std::string&, const std::string&)> save; // file, distinct text
        std::function<std::string(const std::string&)> text;              // what the save writes
    } savers[] = {
        {"settings",
         [](const std::string& f, const std::string& t) { saveConfig(f, configWith(t)); },
         [](const std::string& t) { return configToXml(configWith(t)); }},
        {"history",
         [](const std::string& f, const std::string& t) { saveHistory(f, historyWith(t)); },
         [](const std::string& t) { return historyToText(historyWith(t)); }},
    };
    for (const auto& c : savers) {
        SCOPED_TRACE(c.name);
        kestest::TempFolder folder;
        kestest::writeRaw(folder.path() + "plain", "x");
        const std::string error =
            kestest::errorOf([&] { c.save(folder.path() + "plain/file", ""); });
        EXPECT_NE(error.find(folder.path() + "plain"), std::string::npos) << error;
        const std::string killed = folder.path() + "new/sub/killed";
        c.save(killed, "old");
        int status = 0;
        ::waitpid(kestest::startChild([&] {
                      ::setenv("KESTRAVA_FAULT", "after-temp-write:abort", 1);
                      c.save(killed, std::string(100000, 'n'));
                  }),
                  &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the fault hook did not fire";
        EXPECT_EQ(kestest::readFile(killed), c.text("old"));

        const std::string file = folder.path() + "two/saved";
        const std::string texts[] = {std::string(300000, 'a'), std::string(200000, 'b')};
        std::vector<pid_t> pids;
        for (const std::string& text : texts)
            pids.push_back(kestest::startChild([&] {
                for (int round = 0; round < 40; ++round)
                    c.save(file, text);
            }));
        for (const pid_t pid : pids) {
            ::waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed";
        }
        const std::string saved = kestest::readFile(file);
        EXPECT_TRUE(saved == c.text(texts[0]) || saved == c.text(texts[1]))
            << "a mix of " << saved.size() << " bytes";
        EXPECT_EQ(kestest::names(folder.path() + "two"), std::vector<std::string>{"saved"});
    }
}

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
