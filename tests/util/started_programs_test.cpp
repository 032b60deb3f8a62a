// Programs started for the user never see a shell: an editor template is split into arguments
// first and the file name put inside its argument afterwards, so hostile file names reach the
// editor byte for byte and run nothing.
#include "util/shell.h"

#include "util_test_support.h"

#include <gtest/gtest.h>

using namespace kestrava;
using namespace kestrava::util;

namespace {

// Replaces the first occurrence of token in each argument, as the window's editor start does.
std::vector<std::string> substituted(std::vector<std::string> args, const std::string& token,
                                     const std::string& value) {
    for (std::string& arg : args)
        if (const size_t at = arg.find(token); at != std::string::npos)
            arg.replace(at, token.size(), value);
    return args;
}

std::string recorded(const std::vector<std::string>& args) {
    std::string text;
    for (const std::string& arg : args)
        text += arg + '\0';
    return text;
}

TEST(HostileFileNames, ReachTheEditorAsOneArgumentEachAndRunNothing) {
    const std::string names[] = {
        "with blank.txt",    "quote\"and'apostrophe.txt", "$(touch pwned).txt",
        "`touch pwned`",     "semi;touch pwned",          "new\nline.txt",
        "-leading-dash.txt", "\xe9t\xe9\xff.txt",         "back\\slash %Filename%.txt",
        "&& touch pwned |"};
    kestest::TempFolder tmp;
    const std::string editor = tmp.path() + "fake-editor";
    kestest::writeRecorder(editor, tmp.path() + "record", "\\0");
    ASSERT_FALSE(std::filesystem::exists("pwned")) << "left over from elsewhere";
    const std::vector<std::string> templateArgs = splitCommandLine("+%LineNumber% %Filename%");
    ASSERT_EQ(templateArgs, (std::vector<std::string>{"+%LineNumber%", "%Filename%"}));
    int round = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string path = tmp.path() + name;
        kestest::writeRaw(path, "x");
        const std::string record = tmp.path() + "record";
        std::filesystem::remove(record);
        std::vector<std::string> argv = substituted(
            substituted(templateArgs, "%LineNumber%", std::to_string(++round)), "%Filename%", path);
        argv.insert(argv.begin(), editor);
        ASSERT_TRUE(startDetached(argv));
        EXPECT_EQ(kestest::waitForFile(record), recorded({"+" + std::to_string(round), path}));
        EXPECT_FALSE(std::filesystem::exists(tmp.path() + "pwned"));
        EXPECT_FALSE(std::filesystem::exists("pwned"));
    }
}

} // namespace
