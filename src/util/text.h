// Small byte-text helpers shared by the parsers of the entries, settings and history files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava::util {

// True when a and b are equal ignoring the letter case of A-Z only (other bytes compare exactly).
bool sameTextAscii(std::string_view a, std::string_view b);
// The text with A-Z lowered and every other byte as it was, whatever the locale.
std::string asciiLower(std::string_view text);
// Without leading and trailing blanks and tabs.
std::string_view trimBlanks(std::string_view text);
// Without leading and trailing bytes of code 32 or below.
std::string trimControl(std::string_view text);
// "12,345": digits in groups of three, as counts are easier read.
std::string groupedDigits(int64_t number);

} // namespace kestrava::util
