// Hostile script files (a 10 MB line, NUL bytes, a byte order mark, repeated fields) load or
// fail with the load's message, never crash; saving a script is atomic, even with two writers.
#include "ScriptTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace kes::test {
namespace {

using namespace std::string_literals;

const std::string kGroup = "Folder(s):  /src\r\nFile(s):    *.txt\r\n\r\nFind:       old\r\n";

struct HostileScriptCase {
    const char* Name;
    std::string Text;
    bool Loads;
};

TEST(HostileScripts, LoadWholeOrFailWithTheLoadMessage) {
    const std::string huge(10u << 20, 'q');
    const HostileScriptCase cases[] = {
        {"10 MB line", "Folder(s):  /src\r\nFile(s):    *.txt\r\n\r\nFind:       " + huge + "\r\n",
         true},
        {"NUL bytes", "Folder(s):  /s\0rc\r\nFile(s):    *.txt\r\n\r\nFind:       a\0b\r\n"s, true},
        {"byte order mark", "\xef\xbb\xbf" + kGroup, false},
        {"repeated Find line", kGroup + "Find:       again\r\n", false},
        {"repeated Folder line", "Folder(s):  /a\r\n" + kGroup, false},
        {"only NUL bytes (blank, like every control character)", std::string(1u << 20, '\0'),
         true},
    };
    for (const HostileScriptCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TempTree tree;
        const std::string path = tree.Write("s.ksc", c.Text);
        TkesScript script;
        const std::string error = ErrorOf([&] { LoadScript(script, path); });
        if (error == "(no error)") {
            for (const TkesScriptEntry& entry : script.Entries)
                EXPECT_LE(entry.Text1.size() + entry.Text2.size(), c.Text.size());
        } else {
            EXPECT_TRUE(error.starts_with("Unable to load script file: " + path + "\r\n")) << error;
            EXPECT_TRUE(script.Entries.empty());
        }
        if (c.Loads) {
            EXPECT_EQ(error, "(no error)");
        }
    }
}

TEST(HostileScripts, AHugeFindSurvivesARoundTrip) {
    TempTree tree;
    const std::string huge(10u << 20, 'q');
    TkesScript script = MakeScript({FolderItem("/src", "*.txt"), FindItem(huge, "r")});
    WriteScript(script, tree.Path("big.ksc"));
    TkesScript loaded;
    LoadScript(loaded, tree.Path("big.ksc"));
    ASSERT_EQ(loaded.Entries.size(), 2u);
    EXPECT_EQ(loaded.Entries[1].Text1, huge);
}

TEST(AtomicScriptSaves, AKillDuringASaveLeavesTheOldScriptWhole) {
    TempTree tree;
    const std::string path = tree.Path("s.ksc");
    TkesScript old = MakeScript({FolderItem("/old", "*.txt"), FindItem("old")});
    WriteScript(old, path);
    const std::string before = tree.Read("s.ksc");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("KESTRAVA_FAULT", "after-temp-write:abort", 1);
        TkesScript changed = MakeScript({FolderItem("/new", "*.c"), FindItem("new", "x")});
        WriteScript(changed, path);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the fault hook did not fire";
    EXPECT_EQ(tree.Read("s.ksc"), before);
}

TEST(AtomicScriptSaves, TwoWritersAtOnceLeaveOneWholeScript) {
    TempTree tree;
    const std::string path = tree.Path("s.ksc");
    TkesScript scripts[] = {
        MakeScript({FolderItem("/a", "*.txt"), FindItem(std::string(300000, 'a'))}),
        MakeScript({FolderItem("/b", "*.txt"), FindItem(std::string(200000, 'b'))})};
    pid_t pids[2];
    for (int i = 0; i < 2; ++i) {
        pids[i] = ::fork();
        if (pids[i] == 0) {
            for (int round = 0; round < 40; ++round)
                WriteScript(scripts[i], path);
            ::_exit(0);
        }
    }
    for (const pid_t pid : pids) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string saved = tree.Read("s.ksc");
    EXPECT_TRUE(saved == ScriptText(scripts[0]) || saved == ScriptText(scripts[1]))
        << "a mix of " << saved.size() << " bytes";
    EXPECT_EQ(kestest::Names(tree.Root()), std::vector<std::string>{"s.ksc"});
}

} // namespace
} // namespace kes::test
