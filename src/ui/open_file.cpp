// Editor arguments and match positions for opening result files.
#include "open_file.h"

#include "search/search.h"
#include "util/file_io.h"
#include "util/shell.h"
#include "util/text.h"
#include "util/unique_fd.h"

#include <algorithm>
#include <array>
#include <limits>
#include <unistd.h>

namespace kestrava::ui {

namespace {

// Replaces the first occurrence of token in the first argument that holds it.
void replaceFirst(std::vector<std::string>& args, std::string_view token,
                  const std::string& value) {
    for (std::string& arg : args) {
        const size_t at = arg.find(token);
        if (at != std::string::npos) {
            arg.replace(at, token.size(), value);
            return;
        }
    }
}

} // namespace

void lineAndColumn(std::string_view text, int64_t offset, int64_t& lineNumber, int64_t& column) {
    offset = std::max<int64_t>(offset, 0);
    const std::string_view before = text.substr(0, static_cast<size_t>(offset));
    lineNumber = 1 + std::count(before.begin(), before.end(), '\n');
    const size_t lastFeed = before.rfind('\n');
    const int64_t lineStart = lastFeed == std::string_view::npos ? 0 : int64_t(lastFeed) + 1;
    column = offset - lineStart + 1;
}

void fileLineAndColumn(const std::string& path, int64_t offset, int64_t& lineNumber,
                       int64_t& column) {
    // This runs on the window thread: a result that has become a FIFO or a device since the run
    // is never opened for waiting (it counts as empty), and only the bytes before the match are
    // read, in pieces, so a large file is never held.
    util::UniqueFd file;
    size_t size = 0;
    int error = 0;
    const util::ReadStatus status =
        util::openRegularFile(path, std::numeric_limits<int64_t>::max(), file, size, error);
    std::array<char, 64 * 1024> buffer{};
    int64_t done = 0;
    int64_t feeds = 0;
    int64_t lineStart = 0;
    while (status == util::ReadStatus::Read && done < offset) {
        const auto want = static_cast<size_t>(
            std::min<int64_t>(offset - done, static_cast<int64_t>(buffer.size())));
        const ssize_t got = ::read(file.get(), buffer.data(), want);
        if (got <= 0)
            break;
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[static_cast<size_t>(i)] == '\n') {
                ++feeds;
                lineStart = done + i + 1;
            }
        }
        done += got;
    }
    lineNumber = feeds + 1;
    column = std::max<int64_t>(offset, 0) - lineStart + 1;
}

std::vector<std::string> editorArguments(const std::string& commandLine, const std::string& path,
                                         const MatchPosition& position) {
    std::vector<std::string> args = util::splitCommandLine(commandLine);
    replaceFirst(args, kCursorAtToken, std::to_string(position.matchStart + 1));
    replaceFirst(args, kStartSelToken, std::to_string(position.matchStart + 1));
    replaceFirst(args, kEndSelToken, std::to_string(position.matchEnd + 1));
    replaceFirst(args, kLineNumberToken, std::to_string(position.lineNumber));
    replaceFirst(args, kColumnToken, std::to_string(position.column));
    // The path goes in last, so nothing inside it is ever taken for a token.
    replaceFirst(args, kFilenameToken, path);
    return args;
}

std::string checkEditor(const std::string& fileSpec, std::string& resolved) {
    resolved.clear();
    if (util::trimControl(fileSpec).empty())
        return kNoEditorText;
    resolved = util::findProgram(fileSpec);
    if (resolved.empty())
        return "The Editor specified in Preferences cannot be found.\r\n(" + fileSpec + ")";
    return {};
}

} // namespace kestrava::ui
