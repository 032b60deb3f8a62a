// Starting programs and opening documents never goes through a shell.
#include "util/shell.h"

#include "util_test_support.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace kestest;
using namespace kestrava::util;

namespace {

using Args = std::vector<std::string>;

// Records its arguments, each ended by a NUL, then where its standard streams lead; renamed
// into place, so the record appears only complete.
void writeRecorder(const std::string& script, const std::string& record) {
    writeRaw(script, "#!/bin/sh\no=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
                     "{ for a in \"$@\"; do printf '%s\\0' \"$a\"; done; echo \"$o\"; } > '" +
                         record + ".part'\nmv '" + record + ".part' '" + record + "'\n");
    ::chmod(script.c_str(), 0700);
}

std::string recorded(const Args& args) {
    std::string text;
    for (const std::string& arg : args)
        text += arg + '\0';
    return text + "/dev/null\n/dev/null\n/dev/null\n";
}

TEST(SplitCommandLine, FollowsShellQuotingWithoutExpansion) {
    const std::pair<std::string, Args> cases[] = {
        {"", {}},
        {" \t ", {}},
        {"  a b  c ", {"a", "b", "c"}},
        {"'two words' \"and more\"", {"two words", "and more"}},
        {"pre'mid dle'post", {"premid dlepost"}},
        {"\"\" '' x", {"", "", "x"}},
        {"a\\ b \\\"q\\\"", {"a b", "\"q\""}},
        {"'it\\s' \"x\\y\" \"\\\"\\\\\\$\"", {"it\\s", "x\\y", "\"\\$"}},
        {"$HOME *.txt ~ `id` ;rm", {"$HOME", "*.txt", "~", "`id`", ";rm"}},
        {"'unterminated rest", {"unterminated rest"}},
        {"trailing\\", {"trailing\\"}},
        {"+%LineNumber% %Filename%", {"+%LineNumber%", "%Filename%"}},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(splitCommandLine(line), expected) << line;
}

// Hostile names reach the editor and xdg-open byte for byte; the file itself is never run.
TEST(StartDetached, PassesArgumentsIntactWithStdioOnDevNullAndLeavesNoChildToReap) {
    const std::string names[] = {
        "with blank.txt",    "quote\"and'apostrophe.txt", "$(touch pwned).txt",
        "`touch pwned`",     "semi;touch pwned",          "new\nline.txt",
        "-leading-dash.txt", "\xe9t\xe9\xff.txt",         "back\\slash %Filename%.txt",
        "&& touch pwned |",  "a 'b' \"c\" $HOME;"};
    kestest::TempFolder tmp;
    const std::string& dir = tmp.path();
    std::filesystem::create_directory(dir + "bin");
    writeRecorder(dir + "editor", dir + "edited");
    writeRecorder(dir + "bin/xdg-open", dir + "opened");
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", (dir + "bin:" + path).c_str(), 1);
    ASSERT_FALSE(std::filesystem::exists("pwned")) << "left over from elsewhere";
    int round = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        writeRecorder(dir + name, dir + "was-run");
        std::filesystem::remove(dir + "edited");
        std::filesystem::remove(dir + "opened");
        const Args argv = {dir + "editor", "+" + std::to_string(++round), dir + name};
        ASSERT_TRUE(startDetached(argv));
        EXPECT_EQ(waitForFile(dir + "edited"), recorded({argv[1], argv[2]}));
        ASSERT_TRUE(openDocument(argv[2]));
        EXPECT_EQ(waitForFile(dir + "opened"), recorded({argv[2]}));
        EXPECT_FALSE(std::filesystem::exists(dir + "pwned"));
        EXPECT_FALSE(std::filesystem::exists("pwned"));
    }
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_FALSE(std::filesystem::exists(dir + "was-run"));
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(StartDetached, ReportsProgramsThatCannotStart) {
    kestest::TempFolder tmp;
    const std::string& t = tmp.path();
    writeRaw(t + "not-executable", "#!/bin/sh\n");
    writeRaw(t + "bad-interpreter", "#!/no/such/interpreter\n");
    ::chmod((t + "bad-interpreter").c_str(), 0755);
    EXPECT_FALSE(startDetached({}));
    // The last one fails in exec itself.
    for (const std::string& program : {std::string(), std::string("no-such-program-kes"), t,
                                       t + "missing", t + "not-executable", t + "bad-interpreter"})
        EXPECT_FALSE(startDetached({program})) << program;
}

} // namespace
