// Save, Save As, the save question, New and Open, with the dialogs faked.
#include "script_test_support.h"

#include <gtest/gtest.h>

namespace kestrava::script::test {
namespace {

struct FakeDialogs : ScriptDialogs {
    SaveAnswer answer = SaveAnswer::Cancel;
    std::string openPath, savePath; // empty: that dialog is cancelled
    std::vector<std::string> shown;

    bool chooseScriptToOpen(const std::string& initialFolder, std::string& path) override {
        shown.push_back("open in " + initialFolder);
        return !(path = openPath).empty();
    }
    bool chooseScriptToSave(std::string& path) override { return !(path = savePath).empty(); }
    SaveAnswer askYesNoCancel(const std::string& question) override {
        shown.push_back(question);
        return answer;
    }
};

Script changedScript(const std::string& fileName = "") {
    Script script = makeScript({folderItem("/a", "*"), findItem("x")});
    script.fileName = fileName;
    script.changed = true;
    return script;
}

// The caller may go on exactly when the changes were saved or discarded.
TEST(ScriptSaveQuestion, AnswerDecidesWhatHappensToTheChanges) {
    for (const golden::Row& c : cases("save question")) {
        SCOPED_TRACE(c[0] + " " + c[1] + c[2]);
        const SaveAnswer answer = golden::named<SaveAnswer>(c[0], {"Yes", "No", "Cancel"});
        const std::string& saved = c[3];
        TempTree scratch;
        FakeDialogs dialogs;
        dialogs.answer = answer;
        dialogs.savePath = c[2].empty() ? "" : scratch.path(c[2]);
        Script script = changedScript(c[1].empty() ? "" : scratch.path(c[1]));
        const bool goOn = c[4] == "1";
        EXPECT_EQ(saveChangedScript(script, dialogs), goOn);
        EXPECT_EQ(dialogs.shown.at(0), "Save changed script before continuing ?");
        EXPECT_EQ(script.entries.size(), answer == SaveAnswer::No ? 0u : 2u);
        EXPECT_EQ(script.changed, !goOn);
        EXPECT_EQ(kestest::names(scratch.root()),
                  saved.empty() ? std::vector<std::string>{} : std::vector<std::string>{saved});
        if (!saved.empty()) {
            EXPECT_TRUE(script.fileName == scratch.path(saved) &&
                        scratch.read(saved) == scriptText(script));
        }
    }
    for (const golden::Row& c : cases("extension"))
        EXPECT_EQ(withScriptExtension(c[0]), c[1]);
}

// Open remembers the chosen file's folder only when it was read.
TEST(ScriptOpen, AsksFirstThenReadsTheChosenFileAndRemembersItsFolder) {
    TempTree scratch;
    FakeDialogs dialogs;
    Script script = makeScript({folderItem("/a", "*")});
    EXPECT_TRUE(saveChangedScript(script, dialogs));
    EXPECT_TRUE(dialogs.shown.empty());
    script.changed = true;
    std::string folder = "/scripts/";
    EXPECT_FALSE(newScript(script, dialogs));
    EXPECT_FALSE(openScript(script, dialogs, folder));
    EXPECT_EQ(script.entries.size(), 1u);
    EXPECT_EQ(dialogs.shown.size(), 2u); // two questions, no open dialog
    dialogs.answer = SaveAnswer::No;
    EXPECT_TRUE(openScript(script, dialogs, folder)); // its dialog cancelled
    EXPECT_TRUE(script.entries.empty() && script.fileName.empty() && !script.changed);
    dialogs.openPath = scratch.path("absent.ksc");
    EXPECT_NE(errorOf([&] { openScript(script, dialogs, folder); }), "(no error)");
    EXPECT_EQ(folder, "/scripts/");
    dialogs.openPath =
        scratch.write("lib/one.ksc", "Folder(s):  /a\r\nFile(s):    *\r\n\r\nFind:       x\r\n");
    EXPECT_TRUE(openScript(script, dialogs, folder));
    EXPECT_EQ(dialogs.shown.back(), "open in /scripts/");
    EXPECT_EQ(script.entries, changedScript().entries);
    EXPECT_EQ(script.fileName, dialogs.openPath);
    EXPECT_EQ(folder, scratch.path("lib/"));
    script.changed = true;
    EXPECT_TRUE(newScript(script, dialogs));
    EXPECT_TRUE(script.entries.empty() && script.fileName.empty());
}

} // namespace
} // namespace kestrava::script::test
