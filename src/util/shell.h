// Starting programs and opening documents without ever going through a shell: command lines are
// split into arguments here, programs are started detached (no zombie, the caller never waits),
// and documents go to xdg-open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrava::util {

// Opens fileName with the desktop's associated program (xdg-open), even when it is executable,
// so that opening a searched file never runs it. False when xdg-open could not start.
bool openDocument(const std::string& fileName);

// Splits a command-line template into arguments with shell-like quoting ('..', "..", \x), no
// expansion. "" and '' give an empty argument; an unterminated quote runs to the end.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

// The path that starting `program` would run: itself when it holds a "/", else the first match on
// PATH (empty entries skipped). Empty when it is not an executable regular file.
std::string findProgram(const std::string& program);

// Starts argv[0] detached (looked up on PATH when it has no '/'), never through a shell, with
// stdin/stdout/stderr on /dev/null in a session of its own; false when it could not start.
bool startDetached(const std::vector<std::string>& argv);

} // namespace kestrava::util
