#include "util/text.h"

#include <algorithm>

namespace kestrava::util {

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

bool sameTextAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

std::string asciiLower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), lowerAscii);
    return lower;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::string trimControl(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && isBlankOrControl(text[first]))
        ++first;
    while (last > first && isBlankOrControl(text[last - 1]))
        --last;
    return std::string(text.substr(first, last - first));
}

std::string groupedDigits(int64_t number) {
    std::string digits = std::to_string(number);
    const auto first = static_cast<int64_t>(number < 0 ? 1 : 0);
    for (auto at = static_cast<int64_t>(digits.size()) - 3; at > first; at -= 3)
        digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

} // namespace kestrava::util
