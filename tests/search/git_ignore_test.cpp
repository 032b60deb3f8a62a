// Leaving out what git ignores, proven against git itself: one table of files (in
// data/search_cases.txt, with the ignore files) says what git keeps in a tree of ignore files;
// `git ls-files` must agree with it, and so must the walk from every top folder.
#include "../case_table.h"
#include "search_test_tree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>

using namespace kestrava::search;
using kestrava::util::testing::TempTree;
using Paths = std::set<std::string>;

namespace {

// What a command prints; the tests quote the paths they pass.
std::string output(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return text;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, got);
    pclose(pipe);
    return text;
}

// The files git keeps in the repository at root + repo, as paths from root, asking each nested
// repository (listed as "name/") in turn. Hidden names are left out, as the walk leaves them.
void addGitKept(const std::string& root, const std::string& repo, Paths& kept) {
    const std::string listed =
        output("git -C '" + root + repo + "' ls-files -z --others --exclude-standard 2> /dev/null");
    for (size_t at = 0, end; (end = listed.find('\0', at)) != std::string::npos; at = end + 1) {
        const std::string path = repo + listed.substr(at, end - at);
        if (path.ends_with('/'))
            addGitKept(root, path, kept);
        else if (!path.starts_with('.') && path.find("/.") == std::string::npos)
            kept.insert(path);
    }
}

// The files our walk lists from root + top, all masks, with git's rules on.
Paths walked(const TempTree& tree, const std::string& top) {
    ScanListOptions options;
    options.respectGitignore = true;
    Paths paths;
    for (const std::string& path :
         kestrava::util::testing::listScan(tree.path(top) + "<+>", "*.*", options))
        if (!path.ends_with('/') && !path.starts_with('<'))
            paths.insert((top + "/").append(path));
    return paths;
}

// "missing: ..." and "extra: ..." for what `got` lacks and has beyond `want`; "" when equal.
std::string difference(const Paths& want, const Paths& got) {
    std::string text;
    for (const std::string& path : want)
        if (!got.contains(path))
            text.append(" missing: '").append(path).append("'");
    for (const std::string& path : got)
        if (!want.contains(path))
            text.append(" extra: '").append(path).append("'");
    return text;
}

// Top folders the walk starts from: a subfolder has its ancestors' rules, an ignored one lists
// nothing, a nested repository and a worktree are found from inside.
const char* const kTops[] = {"repo", "repo/sub", "repo/build",   "repo/inner",
                             "wt",   "plain",    "plain/rel/sub"};

class GitIgnoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("git --version > /dev/null 2>&1") != 0)
            GTEST_SKIP() << "git is not installed";
        setEnv("HOME", m_tree.path("home").c_str());
        setEnv("XDG_CONFIG_HOME", m_tree.path("xdg").c_str());
        setEnv("GIT_CONFIG_NOSYSTEM", "1");
        for (const char* name : {"GIT_DIR", "GIT_WORK_TREE", "GIT_INDEX_FILE", "GIT_CONFIG_GLOBAL",
                                 "GIT_CONFIG_PARAMETERS", "GIT_CEILING_DIRECTORIES"})
            setEnv(name, nullptr);
        m_tree.write("home/.keep", "");
    }
    // The environment comes back as it was, for the tests that run after.
    void TearDown() override {
        for (const auto& [name, old] : m_savedEnv)
            old ? setenv(name.c_str(), old->c_str(), 1) : unsetenv(name.c_str());
    }
    // Runs git with the test's paths quoted; false when it fails.
    bool git(const std::string& arguments) const {
        return std::system(("cd '" + m_tree.root() + "' && git " + arguments + " > /dev/null 2>&1")
                               .c_str()) == 0;
    }

    TempTree m_tree;

  private:
    void setEnv(const char* name, const char* value) { // nullptr unsets
        const char* old = std::getenv(name);
        m_savedEnv.emplace_back(name,
                                old == nullptr ? std::nullopt : std::optional<std::string>(old));
        value == nullptr ? unsetenv(name) : setenv(name, value, 1);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> m_savedEnv;
};

TEST_F(GitIgnoreTest, WalkLeavesOutExactlyWhatGitIgnores) {
    std::vector<std::pair<std::string, std::string>> ignoreFiles; // in the order first named
    for (const golden::Row& row : golden::caseTable(KES_SEARCH_CASES, "ignore lines")) {
        if (ignoreFiles.empty() || ignoreFiles.back().first != row[0])
            ignoreFiles.emplace_back(row[0], "");
        ignoreFiles.back().second += row.at(1) + "\n";
    }
    m_tree.write("home/.gitconfig", ignoreFiles.at(0).second);
    ASSERT_TRUE(git("init -q repo && git init -q repo/inner && git init -q plain/proj && "
                    "git init -q plain/rel"));
    ASSERT_TRUE(
        git("-C repo commit -q --allow-empty -m start && git -C repo worktree add -q ../wt"));
    for (const auto& [path, text] : ignoreFiles)
        m_tree.write(path, text);
    kestest::writeRaw(m_tree.path("plain/proj/.git/config"),
                      kestest::readFile(m_tree.path("plain/proj/.git/config")) +
                          "[Core]\n\tExcludesFile = \"~/proj-ignore\" ; its own list\n");
    kestest::writeRaw(m_tree.path("plain/rel/.git/config"),
                      kestest::readFile(m_tree.path("plain/rel/.git/config")) +
                          "[core]\n\texcludesFile = .rules/ex\n\tignoreCase\n");
    std::filesystem::create_directories(m_tree.path("repo/linkedrules"));
    std::filesystem::create_symlink("../sub/.gitignore",
                                    m_tree.path("repo/linkedrules/.gitignore"));
    std::filesystem::create_directories(m_tree.path("repo/odd/.gitignore"));
    Paths wanted;
    Paths wantedInRepositories; // what git is asked about
    for (const golden::Row& row : golden::caseTable(KES_SEARCH_CASES, "ignored files")) {
        const std::string path = row[0].substr(1);
        m_tree.write(path, "x");
        if (row[0][0] == '+')
            wanted.insert(path);
        if (row[0][0] == '+' && (!path.starts_with("plain/") || path.starts_with("plain/proj/") ||
                                 path.starts_with("plain/rel/")))
            wantedInRepositories.insert(path);
    }
    Paths gitKept;
    for (const char* repo : {"repo/", "wt/", "plain/proj/", "plain/rel/"})
        addGitKept(m_tree.path(""), repo, gitKept);
    EXPECT_EQ(difference(wantedInRepositories, gitKept), "") << "the table is not what git does";

    for (const std::string top : kTops) {
        Paths wantedBelow;
        for (const std::string& path : wanted)
            if (path.starts_with(top + "/"))
                wantedBelow.insert(path);
        EXPECT_EQ(difference(wantedBelow, walked(m_tree, top)), "") << "walked from " << top;
    }
}

// Git does not follow links; the walk does, and judges what it meets at the link's place: under
// the rules of the repository being walked, with the ignore files found inside the linked folder,
// unless that folder is a repository's root.
TEST_F(GitIgnoreTest, LinkedFoldersAreJudgedWhereTheWalkMeetsThem) {
    ASSERT_TRUE(git("init -q repo && git init -q other"));
    m_tree.write("repo/.gitignore", "*.bak\nout/\n");
    m_tree.write("other/.gitignore", "*.tmp\n");
    m_tree.write("other/sub/.gitignore", "*.sub\n");
    for (const char* name : {"a.bak", "a.tmp", "a.sub", "a.txt"})
        m_tree.write(std::string("other/sub/") + name, "x");
    for (const char* link : {"linked", "out"})
        std::filesystem::create_directory_symlink("../other/sub", m_tree.path("repo/") + link);
    std::filesystem::create_directory_symlink("../other", m_tree.path("repo/whole"));

    EXPECT_EQ(difference({"repo/linked/a.tmp", "repo/linked/a.txt", "repo/whole/sub/a.bak",
                          "repo/whole/sub/a.txt"},
                         walked(m_tree, "repo")),
              "");
}

// Each "**/" nests one call deeper: a repository's ignore file must not run the stack out.
TEST_F(GitIgnoreTest, AHostilePatternMatchesNothingInsteadOfCrashing) {
    ASSERT_TRUE(git("init -q repo"));
    std::string chain;
    for (int i = 0; i < 200000; ++i)
        chain += "**/";
    m_tree.write("repo/.gitignore", chain + "x\n");
    m_tree.write("repo/d/x", "x");
    EXPECT_EQ(walked(m_tree, "repo"), Paths{"repo/d/x"});
}

} // namespace
