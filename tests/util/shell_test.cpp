// Starting programs and opening documents never goes through a shell.
#include "util/shell.h"

#include "../case_table.h"
#include "util_test_support.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace kestest;
using namespace kestrava::util;
using namespace std::string_literals;

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

TEST(SplitCommandLine, FollowsShellQuotingWithoutExpansion) {
    for (const golden::Row& row :
         golden::caseTable(KES_UTIL_DATA "tables.txt", "split command line"))
        EXPECT_EQ(splitCommandLine(row[0]), Args(row.begin() + 1, row.end())) << row[0];
}

// Hostile names reach the editor and xdg-open byte for byte; the file itself is never run. What
// cannot start is reported, the last program below failing in exec itself.
TEST(StartDetached, PassesArgumentsIntactWithStdioOnDevNullLeavesNoChildAndReportsFailures) {
    kestest::TempFolder tmp;
    const std::string& dir = tmp.path();
    std::filesystem::create_directory(dir + "bin");
    writeRecorder(dir + "editor", dir + "edited");
    writeRecorder(dir + "bin/xdg-open", dir + "opened");
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", (dir + "bin:" + path).c_str(), 1);
    ASSERT_FALSE(std::filesystem::exists("pwned")) << "left over from elsewhere";
    const std::string stdio = "/dev/null\n/dev/null\n/dev/null\n";
    int round = 0;
    for (const golden::Row& row : golden::caseTable(KES_UTIL_DATA "tables.txt", "hostile names")) {
        const std::string& name = row[0];
        SCOPED_TRACE(name);
        writeRecorder(dir + name, dir + "was-run");
        std::filesystem::remove(dir + "edited");
        std::filesystem::remove(dir + "opened");
        const Args argv = {dir + "editor", "+" + std::to_string(++round), dir + name};
        ASSERT_TRUE(startDetached(argv));
        EXPECT_EQ(waitForFile(dir + "edited"), argv[1] + '\0' + argv[2] + '\0' + stdio);
        ASSERT_TRUE(openDocument(argv[2]));
        EXPECT_EQ(waitForFile(dir + "opened"), argv[2] + '\0' + stdio);
        EXPECT_FALSE(std::filesystem::exists(dir + "pwned"));
        EXPECT_FALSE(std::filesystem::exists("pwned"));
    }
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_FALSE(std::filesystem::exists(dir + "was-run"));
    writeRaw(dir + "not-executable", "#!/bin/sh\n");
    writeRaw(dir + "bad-interpreter", "#!/no/such/interpreter\n");
    ::chmod((dir + "bad-interpreter").c_str(), 0755);
    EXPECT_FALSE(startDetached({}));
    for (const std::string& program : {""s, "no-such-program-kes"s, dir, dir + "missing",
                                       dir + "not-executable", dir + "bad-interpreter"})
        EXPECT_FALSE(startDetached({program})) << program;
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

} // namespace
