// Leaving out what git ignores, proven against git itself: one table of files says what git
// keeps in a tree of ignore files; `git ls-files` must agree with it, and so must the walk from
// every top folder.
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

// Written after `git init` of repo, repo/inner, plain/proj and plain/rel, and of the linked
// worktree wt.
const std::pair<const char*, const char*> kIgnoreFiles[] = {
    {"home/.gitconfig",
     "[user]\n\tname = t\n\temail = t@example.org\n[init]\n"
     "\tdefaultBranch = main\n[core]\n\tautocrlf = false\n"
     "[other]\n\texcludesFile = ~/wrong\n[core \"x\"]\nexcludesfile = ~/wrong\n"},
    {"home/wrong", "*\n"},
    {"xdg/git/ignore", "*.glob\n!keep.glob\n"},
    {"home/proj-ignore", "*.pig\n"},
    {"repo/.git/info/exclude", "*.excl\n/top-only.ex2\n!b.log\n!kept.glob\n"},
    {"repo/.gitignore", "# a comment, then a blank line\n\n\\#hash.txt\n\\!bang.txt\n*.log\n"
                        "!important.log\nbuild/\n/anchored.txt\ndoc/*.txt\n**/deep/target.txt\n"
                        "logs/**\na/**/z.txt\n**.tmp\n[abc]?.cls\n[!x-z]9.neg\n[]]x.br\n"
                        "[[:digit:]][[:upper:]].pc\n[unclosed\nlit\\*.txt\ntrail.txt   \n"
                        "esc\\ \nkd/*\n!kd/want.txt\nsrc/gen/\n!saved.excl\n"},
    {"repo/sub/.gitignore", "!*.log\n*.md\n/sub-anchored.txt\ncrlf.txt\r\n"},
    {"repo/build/.gitignore", "!keep.txt\n"},
    {"repo/bom/.gitignore", "\xEF\xBB\xBF"
                            "bom.txt\n"},
    {"repo/inner/.gitignore", "*.in\n"},
    {"repo/inner/.git/info/exclude", "*.iex\n"},
    {"wt/.gitignore", "*.w\n"},
    {"plain/.gitignore", "*\n"},
    {"plain/proj/.gitignore", "*.o\n"},
    {"plain/rel/.gitignore", "*.TXT\nBuild/\nDoc/*.md\n[A-C]?.cls\n[[:upper:]].up\n[A]x.br\n"
                             "\\Q.esc\nLit\n"},
    {"plain/rel/.rules/ex", "*.rex\n"},
};

// The files below the trees, "+" when git keeps one, "-" when it ignores it.
const std::vector<std::string> kFiles[] = {
    // Escapes, negation, case.
    {"-repo/#hash.txt", "-repo/!bang.txt", "-repo/a.log", "+repo/important.log", "+repo/Case.LOG"},
    // info/exclude comes after every .gitignore: its "!b.log" cannot undo "*.log".
    {"-repo/b.log", "+repo/saved.excl", "-repo/one.excl", "-repo/top-only.ex2",
     "+repo/sub/top-only.ex2"},
    // The user's excludes file (git's default place), last of all.
    {"-repo/g.glob", "+repo/kept.glob", "+repo/keep.glob", "-repo/sub/g.glob"},
    // A trailing "/" takes folders only, at any depth; an ignored folder's own .gitignore never
    // re-includes anything.
    {"-repo/build/keep.txt", "-repo/build/x.c", "-repo/src/build/y.c", "+repo/src/other/build",
     "-repo/src/gen/a.c", "+repo/gen/a.c"},
    // A "/" at the start or in the middle anchors to the .gitignore's folder.
    {"-repo/anchored.txt", "+repo/src/anchored.txt", "-repo/doc/a.txt", "+repo/doc/sub/b.txt",
     "+repo/src/doc/a.txt"},
    // "**" leading, trailing, in the middle, and elsewhere (one "*").
    {"-repo/deep/target.txt", "-repo/p/q/deep/target.txt", "+repo/p/deep/other.txt", "-repo/logs/a",
     "-repo/logs/x/y", "+repo/src/logs/a", "-repo/a/z.txt", "-repo/a/b/c/z.txt", "+repo/b/a/z.txt",
     "-repo/x.tmp", "-repo/src/y.tmp"},
    // Bracket sets, ranges, "]" first, POSIX classes, an unclosed set, an escaped "*".
    {"-repo/ab.cls", "+repo/dz.cls", "+repo/a.cls", "-repo/a9.neg", "+repo/y9.neg", "-repo/]x.br",
     "-repo/1A.pc", "+repo/1a.pc", "+repo/[unclosed", "-repo/lit*.txt", "+repo/litx.txt"},
    // Trailing spaces are dropped unless escaped.
    {"-repo/trail.txt", "-repo/esc ", "+repo/esc"},
    // A folder left in (kd/*) whose file a negation re-includes.
    {"+repo/kd/want.txt", "-repo/kd/other.txt"},
    // A nested .gitignore overrides the root one; CR LF lines; a byte order mark.
    {"+repo/sub/x.log", "-repo/sub/readme.md", "+repo/readme.md", "-repo/sub/sub-anchored.txt",
     "+repo/sub/deeper/sub-anchored.txt", "-repo/sub/crlf.txt", "-repo/bom/bom.txt"},
    // A .gitignore that is a link is not followed; one that is a folder ignores nothing.
    {"+repo/linkedrules/readme.md", "+repo/odd/x.txt"},
    // A nested repository has its own rules, not the outer ones; the user's still apply.
    {"+repo/inner/x.log", "-repo/inner/y.in", "-repo/inner/z.glob", "+repo/inner/w.excl",
     "-repo/inner/v.iex"},
    // A linked worktree: info/exclude of the common folder, its own .gitignore.
    {"-wt/a.excl", "-wt/x.w", "+wt/y.txt", "+wt/a.log"},
    // Outside any repository nothing is ignored, but a repository below has its rules, and its
    // own configuration names another excludes file.
    {"+plain/a.txt", "-plain/proj/a.o", "+plain/proj/b.c", "+plain/proj/c.glob",
     "-plain/proj/d.pig"},
    // core.ignorecase: letters match in either case, in ranges and classes too, but not after a
    // "\" nor as a set's member. Its excludes file is named relative to the work tree's top.
    {"-plain/rel/A.Txt", "-plain/rel/BUILD/x.c", "-plain/rel/doc/a.MD", "-plain/rel/bq.cls",
     "-plain/rel/a.up", "-plain/rel/LIT", "+plain/rel/Ax.br", "+plain/rel/ax.br",
     "+plain/rel/Q.esc", "-plain/rel/x.rex", "-plain/rel/sub/y.REX", "+plain/rel/sub/z.c"},
};

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
    m_tree.write("home/.gitconfig", kIgnoreFiles[0].second);
    ASSERT_TRUE(git("init -q repo && git init -q repo/inner && git init -q plain/proj && "
                    "git init -q plain/rel"));
    ASSERT_TRUE(
        git("-C repo commit -q --allow-empty -m start && git -C repo worktree add -q ../wt"));
    for (const auto& [path, text] : kIgnoreFiles)
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
    for (const std::vector<std::string>& group : kFiles)
        for (const std::string& file : group) {
            const std::string path = file.substr(1);
            m_tree.write(path, "x");
            if (file[0] == '+')
                wanted.insert(path);
            if (file[0] == '+' && (!path.starts_with("plain/") || path.starts_with("plain/proj/") ||
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
