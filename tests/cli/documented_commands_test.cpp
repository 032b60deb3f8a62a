// Every command that the help and the README show, run as written through the shell in a small
// tree that is also the home folder, must find what it says it finds.
#include "cli_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace kestrava::cli::test;

// The lines of `text` that begin, after `indent`, with "kestrava-cli ".
std::vector<std::string> commandsIn(const std::string& text, const std::string& indent) {
    std::vector<std::string> commands;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.starts_with(indent + "kestrava-cli "))
            commands.push_back(line.substr(indent.size()));
    return commands;
}

struct Expectation {
    const char* marker;   // a piece of the command it is for
    const char* found;    // in standard output, or, with inFile, in that file afterwards
    const char* notFound; // in standard output
    const char* inFile = nullptr;
};

const Expectation kExpectations[] = {
    {"TODO|FIXME", "src/main.cpp", "src/build/"},
    {"kestrel", "notes/hover.txt", "notes/draft.txt"},
    {"oldName", "int newName(int);", "", "src/main.cpp"},
    {"ing\\b", "hovering", "draft"},
    {"find-todo.ksc", "TODO fix the walk", "generated"},
};

class DocumentedCommands : public CliScratchTest {
  protected:
    void makeTree() {
        fs::remove_all(m_root);
        writeFile(m_root + "/src/main.cpp", "int oldName(int);\n// TODO: tidy\n");
        writeFile(m_root + "/src/build/gen.cpp", "// TODO generated\n");
        writeFile(m_root + "/src/project/walk.cpp", "// TODO fix the walk\n");
        writeFile(m_root + "/src/project/build/gen.cpp", "// TODO generated\n");
        writeFile(m_root + "/notes/hover.txt", "a kestrel hovering\n");
        writeFile(m_root + "/notes/draft.txt", "kestrel draft\n");
        fs::create_directories(m_root + "/examples");
        fs::copy(KES_SOURCE_DIR "/examples/find-todo.ksc", m_root + "/examples/find-todo.ksc");
    }
    CliRun runShell(const std::string& command) const {
        const fs::path program = fs::path(KESTRAVA_CLI).parent_path();
        const std::string line = "cd '" + m_root + "' && export HOME='" + m_root + "' PATH='" +
                                 program.string() + ":/usr/bin:/bin' && " + command + " >'" +
                                 (m_scratch / "out").string() + "' 2>'" +
                                 (m_scratch / "err").string() + "' </dev/null";
        const int status = std::system(line.c_str());
        return {readFile(m_scratch / "out"), readFile(m_scratch / "err"),
                WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    }
};

TEST_F(DocumentedCommands, FindWhatTheySay) {
    std::vector<std::string> commands = commandsIn(cli({"--help"}).out, "  ");
    const std::vector<std::string> readme = commandsIn(readFile(KES_SOURCE_DIR "/README.md"), "");
    commands.insert(commands.end(), readme.begin(), readme.end());
    ASSERT_GE(commands.size(), 6u);
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        const Expectation* expected = nullptr;
        for (const Expectation& e : kExpectations)
            if (command.find(e.marker) != std::string::npos)
                expected = &e;
        ASSERT_NE(expected, nullptr) << "a documented command without an expectation here";
        makeTree();
        const CliRun run = runShell(command);
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string checked =
            expected->inFile != nullptr ? readFile(m_root + "/" + expected->inFile) : run.out;
        EXPECT_THAT(checked, HasSubstr(expected->found));
        if (*expected->notFound != '\0') {
            EXPECT_EQ(run.out.find(expected->notFound), std::string::npos) << run.out;
        }
    }
}

} // namespace
