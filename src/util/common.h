// Small checks shared by the search, the main window and the command line.
#pragma once

#include <cstdint>
#include <string>

namespace kestrava::util {

// True (refused, message filled) when the expression, trimmed of bytes 32 and below, ends with an
// unescaped "|": an empty last alternative would match the empty string everywhere.
bool checkFindExpression(const std::string& expression, std::string& message);

} // namespace kestrava::util
