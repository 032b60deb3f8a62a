// Where the settings live, and how both settings files are saved into it.
#include "config/config_paths.h"
#include "config/history.h"
#include "config/settings.h"

#include "../case_table.h"
#include "../util/util_test_support.h"

#include <gtest/gtest.h>

namespace kestrava::config {
namespace {

TEST(SettingsFolder, ChoiceByEnvironmentAndProgramFolder) {
    kestest::TempFolder scratch;
    for (const char* folder : {"portable/", "installed/", "lookalike/KestravaConfig.xml/"})
        std::filesystem::create_directories(scratch.path() + folder);
    kestest::writeRaw(scratch.path() + "portable/KestravaConfig.xml", "<KestravaConfig/>");
    const auto placed = [&](const std::string& folder) {
        return folder.starts_with('/') ? folder : scratch.path() + folder;
    };
    for (const golden::Row& r :
         golden::caseTable(KES_CONFIG_DATA "tables.txt", "settings folder")) {
        const ConfigEnvironment env{r[2], r[3], r[4], r[5], r[6]};
        EXPECT_EQ(r[1] == "settings"  ? settingsFolder(placed(r[7]), env)
                  : r[1] == "scripts" ? defaultScriptsFolder(placed(r[7]), env)
                                      : undoJournalFolder(env),
                  placed(r[8]))
            << r[0];
    }
    EXPECT_EQ(configFilePath("/a/b"), "/a/b/KestravaConfig.xml");
    EXPECT_EQ(historyFilePath("/a/b/"), "/a/b/kestrava.ini");
    EXPECT_TRUE(std::filesystem::exists(programFolder() + "config_tests")) << programFolder();
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
