// Where the text line holding a byte begins and ends, for the outputs that print whole lines.
#pragma once

#include <cstring>
#include <string_view>

namespace kestrava::cli {

inline size_t lineStartOf(std::string_view text, size_t at) {
    const void* feed = at == 0 ? nullptr : ::memrchr(text.data(), '\n', at);
    return feed == nullptr ? 0
                           : static_cast<size_t>(static_cast<const char*>(feed) - text.data()) + 1;
}

// Just past the line feed of the line holding `at`, or the end of the text.
inline size_t lineEndOf(std::string_view text, size_t at) {
    const size_t feed = text.find('\n', at);
    return feed == std::string_view::npos ? text.size() : feed + 1;
}

} // namespace kestrava::cli
