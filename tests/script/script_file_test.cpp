// The line view, and reading (hostile files too) and writing .ksc files that a kill cannot tear.
#include "script_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

namespace kestrava::script::test {
namespace {

// The line view as "kind item" words: "folders0 files0 _0 find1 _1 new1".
std::string lineView(const Script& script) {
    static const char* const kKinds[] = {"?",       "folders", "files", "find",
                                         "replace", "options", "_",     "new"};
    std::string view;
    for (const ScriptLine& line : script.lines)
        view += kKinds[static_cast<int>(line.lineKind)] + std::to_string(line.entryIndex) + " ";
    return view;
}

TEST(ScriptLineView, HasThePlaceholderRowsOfANewItem) {
    for (const golden::Row& c : cases("line view"))
        EXPECT_EQ(lineView(makeScript({folderItem("a", ""), findItem("f", "r", "o"), findItem("g")},
                                      golden::named<ItemEdit>(c[0], kEdits), std::stoi(c[1]))),
                  c[2] + " ");
    // Appending to an empty script: the placeholder belongs to no item.
    EXPECT_EQ(lineView(makeScript({}, ItemEdit::Append)), "_-1 new-1 _-1 ");
}

// A failed load names file and cause and leaves an empty, unchanged script.
void expectRefused(const std::string& path, std::string message, const std::string& line = "",
                   bool quoted = false) {
    message += quoted ? "\"" + line + "\"" : line;
    Script script = makeScript({folderItem("old", "*")}, ItemEdit::Append);
    script.fileName = "/old.ksc";
    script.changed = true;
    EXPECT_EQ(errorOf([&] { loadScript(script, path); }),
              "Unable to load script file: " + path + "\r\n" + message);
    EXPECT_TRUE(script.entries.empty() && script.lines.empty() && script.fileName.empty());
    EXPECT_TRUE(script.currentEntry == -1 && !script.changed);
}

TEST(ScriptReading, RefusedTextFailsWithItsMessageAndLeavesTheScriptEmpty) {
    TempTree scratch;
    for (const golden::Row& c : cases("refused"))
        expectRefused(scratch.write("s.ksc", c[1] + c[2]), c[0], c[2],
                      c[0].starts_with("Invalid line type"));
    expectRefused(scratch.path("none.ksc"), "Open Error: No such file or directory");
    // A FIFO named by mistake must not hang the load waiting for a writer.
    ASSERT_EQ(::mkfifo(scratch.path("fifo.ksc").c_str(), 0600), 0);
    expectRefused(scratch.path("fifo.ksc"), "Not a regular file");
}

TEST(ScriptReading, AcceptedTextGivesItsItemsNumberedWithTheLineView) {
    const std::string huge(10u << 20, 'q');
    std::vector<std::pair<std::string, ScriptEntries>> texts = {
        {"Folder(s):  /data\r\nFile(s):    *.txt\r\n\r\nFind:       " + huge + "\r\n",
         {folderItem("/data", "*.txt"), findItem(huge)}},
        {std::string(1u << 20, '\0'), {}}};
    for (const golden::Row& c : cases("loads"))
        texts.emplace_back(c[0], itemsOf(c.begin() + 1, c.end()));
    TempTree scratch;
    for (const auto& [text, entries] : texts) {
        SCOPED_TRACE(text.substr(0, 40));
        Script script;
        const std::string path = scratch.write("s.ksc", text);
        ASSERT_EQ(errorOf([&] { loadScript(script, path); }), "(no error)");
        const Script expected = makeScript(entries);
        EXPECT_EQ(script.entries, expected.entries);
        EXPECT_EQ(script.lines, expected.lines);
        EXPECT_EQ(script.currentEntry, expected.currentEntry);
        EXPECT_TRUE(script.fileName == path && !script.changed);
    }
}

// Options are never written; a failed save names the path and changes nothing.
TEST(ScriptWriting, WritesTheExactBytesAndReadsBackAllButOptionsOrNothing) {
    TempTree scratch;
    Script script = makeScript({folderItem("/a <+>", "*.c|*.h"), findItem(" x ", "y", "o"),
                                findItem(""), folderItem("/b", ""), findItem("z", "^$")});
    script.changed = true;
    const std::string path = scratch.path("rt.ksc");
    writeScript(script, path);
    EXPECT_TRUE(script.fileName == path && !script.changed);
    EXPECT_EQ(scratch.read("rt.ksc"), "Folder(s):  /a <+>\r\nFile(s):    *.c|*.h\r\n\r\n"
                                      "Find:        x \r\nReplace:    y\r\n\r\n"
                                      "Find:       \r\n\r\n"
                                      "Folder(s):  /b\r\nFile(s):    \r\n\r\n"
                                      "Find:       z\r\nReplace:    ^$\r\n\r\n");
    EXPECT_EQ(scriptText(makeScript({})), "");
    Script back;
    loadScript(back, path);
    script.entries[1].options.clear();
    buildScriptLines(script);
    EXPECT_EQ(back.entries, script.entries);
    EXPECT_EQ(back.lines, script.lines);
    // No folder to write in, and a value that would read back as other lines.
    for (const auto& [name, find] : {std::pair{"missing/s.ksc", "x"}, {"s.ksc", "x\r\nFind: y"}}) {
        script = makeScript({folderItem("/a", "*"), findItem(find)});
        script.fileName = "/before.ksc";
        script.changed = true;
        const std::string target = scratch.path(name);
        const std::string failure = errorOf([&] { writeScript(script, target); });
        EXPECT_TRUE(failure.starts_with("Unable to save Script to " + target + ": ")) << failure;
        EXPECT_FALSE(std::filesystem::exists(target)) << name;
        EXPECT_TRUE(script.fileName == "/before.ksc" && script.changed) << name;
    }
}

pid_t startWriter(Script script, const std::string& path, int rounds, const char* fault = "") {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("KESTRAVA_FAULT", fault, 1);
        while (rounds-- > 0)
            writeScript(script, path);
        ::_exit(0);
    }
    return pid;
}

TEST(AtomicScriptSaves, AKillOrASecondWriterLeavesOneWholeScript) {
    TempTree tree, other; // a killed save may leave its temporary file behind
    Script old = makeScript({folderItem("/old", "*.txt"), findItem("old")});
    writeScript(old, tree.path("s.ksc"));
    int status = 0;
    ::waitpid(startWriter(makeScript({folderItem("/new", "*.c"), findItem("new", "x")}),
                          tree.path("s.ksc"), 1, "after-temp-write:abort"),
              &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the fault hook did not fire";
    EXPECT_EQ(tree.read("s.ksc"), scriptText(old));
    const Script writers[] = {
        makeScript({folderItem("/a", "*.txt"), findItem(std::string(300000, 'a'))}),
        makeScript({folderItem("/b", "*.txt"), findItem(std::string(200000, 'b'))})};
    for (const pid_t pid : {startWriter(writers[0], other.path("s.ksc"), 40),
                            startWriter(writers[1], other.path("s.ksc"), 40)}) {
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string saved = other.read("s.ksc");
    EXPECT_TRUE(saved == scriptText(writers[0]) || saved == scriptText(writers[1]))
        << "a mix of " << saved.size() << " bytes";
    EXPECT_EQ(kestest::names(other.root()), std::vector<std::string>{"s.ksc"});
}

} // namespace
} // namespace kestrava::script::test
