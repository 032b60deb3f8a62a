// Hostile script files (a 10 MB line, NUL bytes, a byte order mark, repeated fields) load or
// fail with the load's message, never crash; saving a script is atomic, even with two writers.
#include "script_test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace kestrava::script::test {
namespace {

using namespace std::string_literals;

const std::string kGroup = "Folder(s):  /src\r\nFile(s):    *.txt\r\n\r\nFind:       old\r\n";

struct HostileScriptCase {
    const char* name;
    std::string text;
    bool loads;
    std::string find = {}; // the first Find it must read back, when not empty
};

TEST(HostileScripts, LoadWholeOrFailWithTheLoadMessage) {
    const std::string huge(10u << 20, 'q');
    const HostileScriptCase cases[] = {
        {"10 MB line", "Folder(s):  /src\r\nFile(s):    *.txt\r\n\r\nFind:       " + huge + "\r\n",
         true, huge},
        {"NUL bytes", "Folder(s):  /s\0rc\r\nFile(s):    *.txt\r\n\r\nFind:       a\0b\r\n"s, true},
        {"byte order mark", "\xef\xbb\xbf" + kGroup, false},
        {"repeated Find line", kGroup + "Find:       again\r\n", false},
        {"repeated Folder line", "Folder(s):  /a\r\n" + kGroup, false},
        {"only NUL bytes (blank, like every control character)", std::string(1u << 20, '\0'), true},
    };
    for (const HostileScriptCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        const std::string path = tree.write("s.ksc", c.text);
        Script script;
        const std::string error = errorOf([&] { loadScript(script, path); });
        if (error == "(no error)") {
            for (const ScriptEntry& entry : script.entries)
                EXPECT_LE(entry.folders.size() + entry.files.size() + entry.find.size() +
                              entry.replace.size(),
                          c.text.size());
        } else {
            EXPECT_TRUE(error.starts_with("Unable to load script file: " + path + "\r\n")) << error;
            EXPECT_TRUE(script.entries.empty());
        }
        if (c.loads) {
            EXPECT_EQ(error, "(no error)");
        }
        if (!c.find.empty()) {
            ASSERT_EQ(script.entries.size(), 2u);
            EXPECT_TRUE(script.entries[1].find == c.find);
        }
    }
}

TEST(AtomicScriptSaves, AKillDuringASaveLeavesTheOldScriptWhole) {
    TempTree tree;
    const std::string path = tree.path("s.ksc");
    Script old = makeScript({folderItem("/old", "*.txt"), findItem("old")});
    writeScript(old, path);
    const std::string before = tree.read("s.ksc");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("KESTRAVA_FAULT", "after-temp-write:abort", 1);
        Script changed = makeScript({folderItem("/new", "*.c"), findItem("new", "x")});
        writeScript(changed, path);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the fault hook did not fire";
    EXPECT_EQ(tree.read("s.ksc"), before);
}

TEST(AtomicScriptSaves, TwoWritersAtOnceLeaveOneWholeScript) {
    TempTree tree;
    const std::string path = tree.path("s.ksc");
    Script scripts[] = {
        makeScript({folderItem("/a", "*.txt"), findItem(std::string(300000, 'a'))}),
        makeScript({folderItem("/b", "*.txt"), findItem(std::string(200000, 'b'))})};
    pid_t pids[2];
    for (int i = 0; i < 2; ++i) {
        pids[i] = ::fork();
        if (pids[i] == 0) {
            for (int round = 0; round < 40; ++round)
                writeScript(scripts[i], path);
            ::_exit(0);
        }
    }
    for (const pid_t pid : pids) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string saved = tree.read("s.ksc");
    EXPECT_TRUE(saved == scriptText(scripts[0]) || saved == scriptText(scripts[1]))
        << "a mix of " << saved.size() << " bytes";
    EXPECT_EQ(kestest::names(tree.root()), std::vector<std::string>{"s.ksc"});
}

} // namespace
} // namespace kestrava::script::test
