// A replacement goes only over the very file read, never through a planted link, with openat2
// and with the walk name by name that stands in for it.
#include "util/write_gate.h"

#include "util_test_support.h"

#include <gtest/gtest.h>

using namespace kestest;
using namespace kestrava::util;
using Strings = std::vector<std::string>;

namespace {

namespace fs = std::filesystem;

void link(const std::string& target, const std::string& name) {
    ASSERT_EQ(::symlink(target.c_str(), name.c_str()), 0) << name;
}

class WriteGuards : public ::testing::Test {
  protected:
    kestest::TempFolder m_tmp;
    const std::string m_tree = m_tmp.path() + "tree/"; // the searched folder
    const std::string m_victim = m_tmp.path() + "victim/";

    void plantTree() {
        fs::remove_all(m_tree);
        fs::create_directories(m_tree + "sub");
        fs::create_directories(m_victim);
        writeRaw(m_tree + "a.txt", "old");
        writeRaw(m_tree + "sub/b.txt", "old");
        writeRaw(m_victim + "passwd", "secret");
        link("a.txt", m_tree + "link.txt");
        link(m_victim + "passwd", m_tree + "out.txt");
        link("sub", m_tree + "in");
        link(m_victim, m_tree + "dir");
    }
    // "name=content;..." as the tree holds it now for the names of `expected` in that form
    // ("-" for a name that is gone).
    std::string contents(const std::string& expected) const {
        std::istringstream in(expected);
        std::string text;
        for (std::string entry; std::getline(in, entry, ';');) {
            const std::string name = entry.substr(0, entry.find('='));
            text += (text.empty() ? "" : ";") + name + "=" +
                    (fs::exists(m_tree + name) ? readFile(m_tree + name) : "-");
        }
        return text;
    }
};

// What another program does between the read and the write is what stays.
TEST_F(WriteGuards, OnlyTheFileReadIsReplacedAndOnlyBeneathTheSearchedFolder) {
    const std::string outside =
        " is reached through a link that leads outside the searched folders; not replaced";
    const std::string changed = "changed while it was being replaced; left as it is";
    const std::string notFolder =
        "kesReplace is not a folder but a link or a file; nothing is written into it";
    const std::string a = m_tree + "a.txt";
    const std::string copies = m_tree + "kesReplace";
    const struct {
        const char* listed; // the file read, beneath the tree
        bool inPlace;       // replaced, or copied into kesReplace beside it
        std::function<void()> meanwhile;
        std::string message; // how the refusal ends; "" when written
        const char* after;   // names of the tree and their content afterwards
    } cases[] = {
        {"link.txt", true, [] {}, "", "a.txt=new;link.txt=new"},
        {"in/b.txt", true, [] {}, "", "sub/b.txt=new"},
        {"in/b.txt", false, [] {}, "", "sub/b.txt=old;sub/kesReplace/b.txt=new"},
        {"out.txt", true, [] {}, outside, "a.txt=old"},
        {"dir/passwd", true, [] {}, outside, "a.txt=old"},
        {"dir/passwd", false, [] {}, outside, "a.txt=old"},
        {"a.txt", true, [&] { ::chmod(a.c_str(), 0444); }, "Permission denied", "a.txt=old"},
        {"a.txt", true, [&] { std::ofstream(a, std::ios::app) << " and more"; }, changed,
         "a.txt=old and more"},
        {"a.txt", true,
         [&] {
             writeRaw(m_tree + "new", "theirs");
             fs::rename(m_tree + "new", a);
         },
         changed, "a.txt=theirs"},
        {"a.txt", true, [&] { fs::remove(a); }, changed, "a.txt=-"},
        {"a.txt", true,
         [&] {
             fs::rename(a, m_tree + "moved");
             link(m_victim + "passwd", a);
         },
         changed, "moved=old;a.txt=secret"},
        {"a.txt", false,
         [&] {
             fs::create_directory(copies);
             writeRaw(copies + "/a.txt", "an earlier copy");
         },
         "", "a.txt=old;kesReplace/a.txt=new"},
        {"a.txt", false, [&] { link(".", copies); }, notFolder, "a.txt=old"},
        {"a.txt", false, [&] { link(m_victim, copies); }, notFolder, "a.txt=old"},
        {"a.txt", false, [&] { writeRaw(copies, "x"); }, notFolder, "a.txt=old"},
        {"a.txt", false,
         [&] {
             fs::create_directory(copies);
             link(m_victim + "passwd", copies + "/a.txt");
         },
         "kesReplace/a.txt is a link or not a regular file; not replaced", "a.txt=old"},
    };
    for (const char* walk : {"", "no-openat2"}) {
        ::setenv("KESTRAVA_FAULT", walk, 1);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.listed) + (c.inPlace ? " in place " : " copied ") +
                         c.message + " " + walk);
            plantTree();
            const std::string listed = m_tree + c.listed;
            const std::string folder = fileFolder(listed);
            const ReadTarget read = kestest::readTargetOf(listed);
            c.meanwhile();
            std::string message;
            const WriteRoots roots({m_tree});
            const WriteOutcome outcome =
                c.inPlace ? replaceReadFile(roots, read, "new", message)
                          : writeIntoSubfolder(roots, folder, "kesReplace",
                                               listed.substr(folder.size()), "new", message);
            EXPECT_EQ(outcome, c.message.empty() ? WriteOutcome::Written : WriteOutcome::Refused);
            EXPECT_TRUE(message.ends_with(c.message)) << message;
            EXPECT_EQ(contents(c.after), c.after);
            EXPECT_EQ(names(m_victim), Strings{"passwd"});
            EXPECT_EQ(readFile(m_victim + "passwd"), "secret");
            EXPECT_TRUE(fs::is_symlink(m_tree + "link.txt"));
        }
    }
    ::unsetenv("KESTRAVA_FAULT");
}

} // namespace
