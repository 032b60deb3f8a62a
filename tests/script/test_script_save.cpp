// Save, Save As, the save question, New and Open, with the dialogs faked.
#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

using namespace kes;
using kes::test::ErrorOf;
using kes::test::FindItem;
using kes::test::FolderItem;
using kes::test::MakeScript;
using kes::test::TempTree;

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

// The caller may go on exactly when the changes were saved or discarded.
TEST(ScriptSaveQuestion, AnswerDecidesWhatHappensToTheChanges) {
    // Answer, whether the script has a file of its own (else the save dialog is cancelled), and
    // whether the caller may go on.
    const std::tuple<TkesSaveAnswer, bool, bool> cases[] = {
        {saYes, true, true}, {saYes, false, false}, {saNo, true, true}, {saCancel, true, false}};
    for (const auto& [answer, hasFile, goOn] : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "answer " << static_cast<int>(answer) << ", file " << hasFile);
        TempTree scratch;
        TFakeDialogs dialogs;
        dialogs.Answer = answer;
        TkesScript script = ChangedScript(hasFile ? scratch.Path("own.ksc") : "");
        EXPECT_EQ(SaveChangedScript(script, dialogs), goOn);
        EXPECT_EQ(dialogs.Shown.at(0), "Save changed script before continuing ?");
        EXPECT_EQ(script.Entries.size(), answer == saNo ? 0u : 2u);
        EXPECT_EQ(script.Changed, !goOn);
        EXPECT_EQ(scratch.Read("own.ksc"), answer == saYes && goOn ? ScriptText(script) : "");
    }
}

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
    TempTree scratch;
    TFakeDialogs dialogs;
    dialogs.SavePath = scratch.Path("named");
    TkesScript script = ChangedScript(scratch.Path("old.ksc"));
    EXPECT_TRUE(SaveScriptAs(script, dialogs));
    EXPECT_EQ(script.FileName, scratch.Path("named.ksc"));
    EXPECT_EQ(scratch.Read("named.ksc"), ScriptText(script));
    for (const std::string kept : {"/s/a.txt", "/s/a.ksc"})
        EXPECT_EQ(WithScriptExtension(kept), kept);
    EXPECT_EQ(WithScriptExtension("/s.d/a"), "/s.d/a.ksc");
    EXPECT_EQ(WithScriptExtension("/s/.hidden"), "/s/.hidden.ksc");
}

TEST(ScriptOpen, ReadsTheChosenFileAndRemembersItsFolderOnlyWhenRead) {
    TempTree scratch;
    TFakeDialogs dialogs;
    dialogs.Answer = saNo;
    TkesScript script = ChangedScript("/x.ksc");
    std::string folder = "/scripts/";
    // No, then a cancelled dialog: the changes are gone and nothing is read.
    EXPECT_TRUE(OpenScript(script, dialogs, folder));
    EXPECT_TRUE(script.Entries.empty() && script.FileName.empty());
    dialogs.OpenPath = scratch.Path("absent.ksc");
    EXPECT_NE(ErrorOf([&] { OpenScript(script, dialogs, folder); }), "(no error)");
    EXPECT_EQ(folder, "/scripts/");
    dialogs.OpenPath =
        scratch.Write("lib/one.ksc", "Folder(s):  /a\r\nFile(s):    *\r\n\r\nFind:       x\r\n");
    EXPECT_TRUE(OpenScript(script, dialogs, folder));
    EXPECT_EQ(dialogs.Shown.back(), "open in /scripts/");
    EXPECT_EQ(script.Entries, ChangedScript().Entries);
    EXPECT_EQ(script.FileName, dialogs.OpenPath);
    EXPECT_EQ(folder, scratch.Path("lib/"));
}

} // namespace
