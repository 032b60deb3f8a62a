// Opening a result file in the preferred editor: where the line's first match sits (offsets,
// line and column), and the editor's argument list built from the command-line template.
// Nothing here starts a program; the window hands the arguments to its program starter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::ui {

// The position of a line's first match as the editor tokens give it.
struct MatchPosition {
    int64_t matchStart = 0; // file offset of the first matched byte (0-based)
    int64_t matchEnd = 0;   // file offset just past the match
    int64_t lineNumber = 1; // 1-based: line feeds before matchStart, plus one
    int64_t column = 1;     // 1-based: bytes from that line's start to matchStart, plus one
};

// Line and column of `offset` within `text` (text may end before offset: what is there counts).
void lineAndColumn(std::string_view text, int64_t offset, int64_t& lineNumber, int64_t& column);

// The same for a file on disk, reading no further than `offset`. An unreadable file counts as
// empty (line 1, column offset + 1), so the editor still opens.
void fileLineAndColumn(const std::string& path, int64_t offset, int64_t& lineNumber,
                       int64_t& column);

// The tokens the template may hold, in the order they are replaced.
inline constexpr std::string_view kCursorAtToken = "%CursorAt%";
inline constexpr std::string_view kStartSelToken = "%StartSel%";
inline constexpr std::string_view kEndSelToken = "%EndSel%";
inline constexpr std::string_view kLineNumberToken = "%LineNumber%";
inline constexpr std::string_view kColumnToken = "%Column%";
inline constexpr std::string_view kFilenameToken = "%Filename%";

// The editor's arguments for a matched line: the template split into arguments first (shell-like
// quoting), then each token's first occurrence replaced, one token after the other, so a path
// with blanks or quotes stays inside the one argument that named it.
std::vector<std::string> editorArguments(const std::string& commandLine, const std::string& path,
                                         const MatchPosition& position);

// The messages when the editor cannot be used; empty when `fileSpec` names a program that can
// be started. `resolved` receives the program to start.
inline constexpr const char* kNoEditorText = "An Editor needs to be specified in Preferences";
std::string checkEditor(const std::string& fileSpec, std::string& resolved);

} // namespace kestrava::ui
