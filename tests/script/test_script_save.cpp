// Save, Save As, the save question, New and Open, with the dialogs faked.
#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

using namespace kes;
using kes::test::FindItem;
using kes::test::FolderItem;
using kes::test::MakeScript;
using kes::test::TScratch;

namespace {

class TFakeDialogs : public TkesScriptDialogs {
  public:
    TkesSaveAnswer Answer = saCancel;
    std::string OpenPath, SavePath; // empty: that dialog is cancelled
    std::vector<std::string> Shown;

    bool ChooseScriptToOpen(const std::string& initialFolder, std::string& path) override {
        Shown.push_back("open in " + initialFolder);
        return !(path = OpenPath).empty();
    }
    bool ChooseScriptToSave(std::string& path) override {
        Shown.push_back("save");
        return !(path = SavePath).empty();
    }
    TkesSaveAnswer AskYesNoCancel(const std::string& question) override {
        Shown.push_back(question);
        return Answer;
    }
};

TkesScript ChangedScript(const std::string& fileName = "") {
    TkesScript script = MakeScript({FolderItem("/a", "*"), FindItem("x")});
    script.FileName = fileName;
    script.Changed = true;
    return script;
}

struct TAnswerCase {
    const char* Name;
    TkesSaveAnswer Answer;
    bool HasFile; // the script has a file of its own
    bool GoOn;    // SaveChangedScript's result
    size_t Items; // items left afterwards
    bool StillChanged;
};

void PrintTo(const TAnswerCase& c, std::ostream* os) {
    *os << c.Name;
}

class ScriptSaveQuestion : public ::testing::TestWithParam<TAnswerCase> {};

TEST_P(ScriptSaveQuestion, AnswerDecidesWhatHappensToTheChanges) {
    const TAnswerCase& c = GetParam();
    TScratch scratch;
    TFakeDialogs dialogs; // a save dialog, when shown, is cancelled
    dialogs.Answer = c.Answer;
    TkesScript script = ChangedScript(c.HasFile ? scratch.Path("own.ksc") : "");
    EXPECT_EQ(SaveChangedScript(script, dialogs), c.GoOn);
    EXPECT_EQ(dialogs.Shown.front(), "Save changed script before continuing ?");
    EXPECT_EQ(script.Entries.size(), c.Items);
    EXPECT_EQ(script.Changed, c.StillChanged);
    if (c.HasFile && c.Answer == saYes) {
        EXPECT_EQ(TScratch::ReadBytes(scratch.Path("own.ksc")), ScriptText(script));
    }
}

INSTANTIATE_TEST_SUITE_P(
    ScriptAnswers, ScriptSaveQuestion,
    ::testing::Values(TAnswerCase{"YesSavesToItsFile", saYes, true, true, 2, false},
                      TAnswerCase{"YesWithoutFileAndSaveCancelled", saYes, false, false, 2, true},
                      TAnswerCase{"NoDiscardsAtOnce", saNo, true, true, 0, false},
                      TAnswerCase{"CancelKeepsEverything", saCancel, true, false, 2, true}),
    [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST(ScriptSaveQuestion, IsNotAskedWithoutChangesAndCancelStopsNewAndOpen) {
    TFakeDialogs dialogs;
    TkesScript script = MakeScript({FolderItem("/a", "*")});
    EXPECT_TRUE(SaveChangedScript(script, dialogs));
    EXPECT_TRUE(dialogs.Shown.empty());
    script.Changed = true;
    std::string folder = "/scripts/";
    EXPECT_FALSE(NewScript(script, dialogs));
    EXPECT_FALSE(OpenScript(script, dialogs, folder));
    EXPECT_EQ(script.Entries.size(), 1u);
    EXPECT_EQ(dialogs.Shown.size(), 2u); // two questions, no open dialog
    dialogs.Answer = saNo;
    EXPECT_TRUE(NewScript(script, dialogs));
    EXPECT_TRUE(script.Entries.empty());
}

TEST(ScriptSaveAs, AddsTheExtensionOnlyToANameWithout) {
    TScratch scratch;
    TFakeDialogs dialogs;
    dialogs.SavePath = scratch.Path("named");
    TkesScript script = ChangedScript(scratch.Path("old.ksc"));
    EXPECT_TRUE(SaveScriptAs(script, dialogs));
    EXPECT_EQ(script.FileName, scratch.Path("named.ksc"));
    EXPECT_TRUE(std::filesystem::exists(scratch.Path("named.ksc")));
    for (const std::string kept : {"/s/a.txt", "/s/a.ksc"})
        EXPECT_EQ(WithScriptExtension(kept), kept);
    EXPECT_EQ(WithScriptExtension("/s.d/a"), "/s.d/a.ksc");
    EXPECT_EQ(WithScriptExtension("/s/.hidden"), "/s/.hidden.ksc");
}

TEST(ScriptOpen, ReadsTheChosenFileAndRemembersItsFolder) {
    TScratch scratch;
    const std::string path =
        scratch.Write("lib/one.ksc", "Folder(s):  /a\r\nFile(s):    *\r\n\r\nFind:       x\r\n");
    TFakeDialogs dialogs;
    dialogs.OpenPath = path;
    TkesScript script;
    std::string folder = "/scripts/";
    EXPECT_TRUE(OpenScript(script, dialogs, folder));
    EXPECT_EQ(dialogs.Shown, std::vector<std::string>{"open in /scripts/"});
    EXPECT_EQ(script.Entries, ChangedScript().Entries);
    EXPECT_EQ(script.FileName, path);
    EXPECT_EQ(folder, scratch.Path("lib/"));
}

TEST(ScriptOpen, NoThenCancelledDialogLeavesAnEmptyScript) {
    TFakeDialogs dialogs;
    dialogs.Answer = saNo;
    TkesScript script = ChangedScript("/x.ksc");
    std::string folder = "/scripts/";
    EXPECT_TRUE(OpenScript(script, dialogs, folder));
    EXPECT_TRUE(script.Entries.empty() && script.FileName.empty());
    EXPECT_EQ(folder, "/scripts/");
}

TEST(ScriptOpen, AFileThatCannotBeReadPropagatesAndKeepsTheFolder) {
    TScratch scratch;
    TFakeDialogs dialogs;
    dialogs.OpenPath = scratch.Path("absent.ksc");
    TkesScript script;
    std::string folder = "/scripts/";
    EXPECT_THROW(OpenScript(script, dialogs, folder), std::runtime_error);
    EXPECT_EQ(folder, "/scripts/");
}

} // namespace
