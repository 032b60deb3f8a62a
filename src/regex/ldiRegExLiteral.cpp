// Plain-text patterns: found with the C library's vectorised byte search instead of the regex
// engine, with exactly the matches the engine would report.
#include "regex/ldiRegExInternals.h"

#include <cstring>
#include <string_view>

namespace kes {

namespace {

// Options under which plain text matches itself and nothing else.
constexpr int32_t kLiteralSafeFlags = PCRE_CASELESS | PCRE_DOTALL | PCRE_MULTILINE |
                                      PCRE_DOLLAR_ENDONLY | PCRE_UNGREEDY | PCRE_NO_AUTO_CAPTURE |
                                      PCRE_EXTRA | PCRE_NO_UTF8_CHECK;

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualNoCase(const char* text, const std::string& literal) {
    for (size_t i = 0; i < literal.size(); ++i)
        if (LowerAscii(text[i]) != LowerAscii(literal[i]))
            return false;
    return true;
}

const char* Find(const char* from, const char* end, char c) {
    return from < end
               ? static_cast<const char*>(std::memchr(from, c, static_cast<size_t>(end - from)))
               : nullptr;
}

// Walks the occurrences of both cases of the first byte in order, checking each candidate.
size_t FindNoCase(const char* text, const char* from, const char* lastStart,
                  const std::string& literal) {
    const char lower = LowerAscii(literal[0]);
    const char upper = UpperAscii(literal[0]);
    const char* nextLower = Find(from, lastStart, lower);
    const char* nextUpper = lower == upper ? nullptr : Find(from, lastStart, upper);
    while (nextLower != nullptr || nextUpper != nullptr) {
        const bool lowerFirst =
            nextUpper == nullptr || (nextLower != nullptr && nextLower < nextUpper);
        const char* candidate = lowerFirst ? nextLower : nextUpper;
        if (EqualNoCase(candidate, literal))
            return static_cast<size_t>(candidate - text);
        if (lowerFirst)
            nextLower = Find(candidate + 1, lastStart, lower);
        else
            nextUpper = Find(candidate + 1, lastStart, upper);
    }
    return std::string::npos;
}

} // namespace

std::string PlainLiteral(const std::string& pattern, int32_t flags, TPatternLanguage language) {
    // The library reads the pattern up to its first NUL.
    std::string text(pattern.c_str());
    if (text.empty() || language != laEnglish || (flags & ~kLiteralSafeFlags) != 0)
        return {};
    if (text.find_first_of("\\^$.|?*+()[]{}") != std::string::npos)
        return {};
    return text;
}

size_t FindLiteral(const char* text, size_t length, size_t from, const std::string& literal,
                   bool caseless) {
    if (from > length || literal.size() > length - from)
        return std::string::npos;
    if (!caseless) {
        const void* hit = memmem(text + from, length - from, literal.data(), literal.size());
        return hit == nullptr ? std::string::npos
                              : static_cast<size_t>(static_cast<const char*>(hit) - text);
    }
    return FindNoCase(text, text + from, text + length - literal.size() + 1, literal);
}

} // namespace kes
