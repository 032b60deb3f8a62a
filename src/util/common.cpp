#include "util/common.h"

#include <string_view>

namespace kestrava::util {
namespace {

// A bar is escaped only by an odd run of backslashes before it: in "a\\|" the backslash is
// itself escaped and the bar still opens an empty alternative.
bool isEscaped(std::string_view text, size_t position) {
    size_t backslashes = 0;
    while (backslashes < position && text[position - 1 - backslashes] == '\\')
        ++backslashes;
    return backslashes % 2 == 1;
}

} // namespace

bool checkFindExpression(const std::string& expression, std::string& message) {
    message.clear();
    std::string_view trimmed = expression;
    // Leading blanks cannot change the outcome; only the end needs trimming.
    while (!trimmed.empty() && static_cast<unsigned char>(trimmed.back()) <= 32)
        trimmed.remove_suffix(1);
    if (!trimmed.empty() && trimmed.back() == '|' && !isEscaped(trimmed, trimmed.size() - 1))
        message = "Expression cannot end with '|'";
    return !message.empty();
}

} // namespace kestrava::util
