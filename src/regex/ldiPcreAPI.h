// The one owner of the PCRE library inside the program: flag values, study with JIT, execution
// with a growable per-thread JIT stack and a stack-safe interpreter, and pattern information.
// Only src/regex/ includes this header (and its tests).
#pragma once

#include "regex/ldiRegEx.h"

#include <pcre.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace kes::pcre_api {

constexpr int32_t kNotEmpty = PCRE_NOTEMPTY;
constexpr int32_t kNotEmptyAtStart = PCRE_NOTEMPTY_ATSTART;
constexpr int32_t kAnchored = PCRE_ANCHORED;
constexpr int32_t kNoUtf8Check = PCRE_NO_UTF8_CHECK;
constexpr int32_t kUtf8 = PCRE_UTF8;
constexpr int32_t kJitStackStart = 32 * 1024;
constexpr int32_t kJitStackMax = 16 * 1024 * 1024;

// A zeroed extra block that pcre_free_study releases.
TExtraPtr NewExtra();
// Studies (and, with jit, JIT-compiles) the pattern; null is normal when there is nothing to
// keep. error is set to the library's text on failure.
TExtraPtr Study(const real_pcre* code, bool jit, const char*& error);
// False for the patterns whose JIT results this library version gets wrong.
bool JitGivesExactResults(const std::string& pattern, const real_pcre* code);

// pcre_exec. The JIT runs on this thread's own stack (grown up to kJitStackMax); a JIT stack
// overflow is retried on the interpreter, whose recursion is bounded by the thread's stack so a
// deep match reports PCRE_ERROR_RECURSIONLIMIT instead of crashing.
int Exec(const real_pcre* code, const pcre_extra* extra, const char* subject, uint32_t length,
         uint32_t startOffset, int32_t options, int* ovector, int ovectorSize);

int32_t CaptureCount(const real_pcre* code);
// The number of the named group, or 0 when the pattern has no group of that name.
int32_t NamedGroupNumber(const real_pcre* code, std::string_view name);
// True when the pattern was compiled in UTF-8 mode.
bool IsUtf8(const real_pcre* code);

// For tests: the largest JIT stack the calling thread's matches may use from now on.
void SetThreadJitStackLimit(int32_t maxBytes);

} // namespace kes::pcre_api
