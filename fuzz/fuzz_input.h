// Shared helpers for the fuzz harnesses: turning libFuzzer's byte buffer into the texts a parser
// takes, and stopping the run loudly when a property the code promises does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::fuzz {

// The whole input as a byte string.
inline std::string inputText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at its first (count - 1) NUL bytes into exactly `count` parts; missing parts are
// empty. A NUL separates parts because none of the pattern-side texts can hold one.
inline std::vector<std::string> splitInput(const uint8_t* data, size_t size, size_t count) {
    std::vector<std::string> parts(count);
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (size_t i = 0; i + 1 < count; ++i) {
        const size_t nul = rest.find('\0');
        parts[i] = rest.substr(0, nul);
        rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    }
    parts[count - 1] = rest;
    return parts;
}

// A broken promise is a finding: say which, then abort so the fuzzer saves the input.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

inline void require(bool condition, const char* what) {
    if (!condition)
        fail(what);
}

} // namespace kestrava::fuzz
