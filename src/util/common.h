// Small checks and the main window's mode, shared by the search, the results, the settings, the
// main window and the command line.
#pragma once

#include <cstdint>
#include <string>

namespace kestrava::util {

// The main window's mode; its number is stored in the settings file.
enum class Mode : int32_t { Find = 0, FindAndReplace = 1, Script = 2, ViewFoldersFiles = 3 };

// True (refused, message filled) when the expression, trimmed of bytes 32 and below, ends with an
// unescaped "|": an empty last alternative would match the empty string everywhere.
bool checkFindExpression(const std::string& expression, std::string& message);

// Point size of the font-size setting: Small (0) 10, Medium (1) 11, Large (2) 12, else 10.
int32_t fontPointSize(int32_t fontSize);

} // namespace kestrava::util
