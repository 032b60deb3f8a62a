// The one owner of the PCRE library inside the program: flag values, the stop check every
// compiled pattern carries, study with JIT, execution with a growable per-thread JIT stack and a
// stack-safe interpreter, and pattern information. Only src/regex/ includes this header (and its
// tests).
#pragma once

#include "regex/pattern_table.h"

#include <pcre.h>

#include <cstddef>
#include <stop_token>
#include <string>
#include <string_view>

namespace kestrava::regex::pcre_api {

constexpr int32_t kNotEmpty = PCRE_NOTEMPTY;
constexpr int32_t kNotEmptyAtStart = PCRE_NOTEMPTY_ATSTART;
constexpr int32_t kAnchored = PCRE_ANCHORED;
constexpr int32_t kNoUtf8Check = PCRE_NO_UTF8_CHECK;
constexpr int32_t kUtf8 = PCRE_UTF8;
constexpr int32_t kJitStackStart = 32 * 1024;
constexpr int32_t kJitStackMax = 16 * 1024 * 1024;

// Every compiled pattern begins with this callout, so that each match attempt can notice the
// thread's stop request (see StopScope). It follows the pattern's leading "(*UTF8)",
// "(*CRLF)" ... items, which the library reads only at the very start.
constexpr std::string_view kStopCallOut = "(?C255)";
constexpr int kStopCallOutNumber = 255;
// What a callout returns, and so what pcre_exec returns, to end a match on a stop request.
constexpr int kStopped = PCRE_ERROR_CALLOUT;
// Plain-text searches check the stop request at least this often.
constexpr size_t kStopCheckBytes = size_t{4} << 20;
// Searches without the stop check go over windows of this many bytes, each match attempt in
// them limited to this many steps: a window takes a fraction of a second at worst.
constexpr uint32_t kSearchWindowBytes = 2048;
constexpr unsigned long kWindowMatchLimit = 5000;

// The length of the pattern's leading items that set options ("(*UTF8)", "(*LIMIT_MATCH=9)"),
// read exactly as the library reads them: where the stop callout goes.
size_t leadingVerbsLength(std::string_view pattern);
// The text handed to the library: the pattern with kStopCallOut inserted at `at`.
std::string withStopCallOut(std::string_view pattern, size_t at);
// An offset the library reports into that text, as an offset into the pattern.
int patternOffset(int offset, size_t at);
// True for the stop callout of a pattern whose callout sits at `at`, false for its own ones.
bool isStopCallOut(const pcre_callout_block& block, size_t at);

// The calling thread's innermost stop scope's token, or null; kept by StopScope.
extern constinit thread_local const std::stop_token* tThreadStop;

// True when the calling thread's innermost stop scope has had its stop requested.
inline bool stopRequested() {
    const std::stop_token* stop = tThreadStop;
    return stop != nullptr && stop->stop_requested();
}
// Throws RegexStoppedError when stopRequested().
inline void checkStop() {
    if (stopRequested())
        throw RegexStoppedError();
}

// Told by a long search on the calling thread how far it has come; kept by StopScope.
using PassedEvent = void (*)(const char* at);
extern constinit thread_local PassedEvent tThreadPassed;

// Asked by a long search on the calling thread for a copy of `length` bytes of its text from
// `at`, read another way than through the text itself; false when there is none. Kept by
// StopScope.
using CopyRequest = bool (*)(const char* at, size_t length, char* into);
extern constinit thread_local CopyRequest tThreadCopy;

// checkStop, in a long search that has come to `at`.
inline void checkStop(const char* at) {
    if (const PassedEvent passed = tThreadPassed)
        passed(at);
    checkStop();
}

// True when a search in windows (see Search) finds what the search over the whole text finds:
// nothing in the pattern depends on where a search starts ("\G"), stops the search as a whole
// ("(*COMMIT)" and the other verbs; the leading ones may also change what a line break is), or
// calls out.
bool searchesInWindows(std::string_view pattern);

// A zeroed extra block that pcre_free_study releases.
ExtraPtr newExtra();
// Studies (and, with jit, JIT-compiles) the pattern; null is normal when there is nothing to
// keep. error is set to the library's text on failure. forWindows also compiles the JIT's
// partial matching, which the windows use.
ExtraPtr study(const real_pcre* code, bool jit, const char*& error, bool forWindows = false);
// False for the patterns whose JIT results this library version gets wrong.
bool jitGivesExactResults(const std::string& pattern, const real_pcre* code);

// pcre_exec. The JIT runs on this thread's own stack (grown up to kJitStackMax); a JIT stack
// overflow is retried on the interpreter, whose recursion is bounded by the thread's stack so a
// deep match reports PCRE_ERROR_RECURSIONLIMIT instead of crashing. Throws RegexStoppedError on
// the thread's stop request, seen before the call or at any match attempt.
int exec(const real_pcre* code, const pcre_extra* extra, const char* subject, uint32_t length,
         uint32_t startOffset, int32_t options, int* ovector, int ovectorSize);

// A compiled pattern as a search runs it: with the stop check, and, where the pattern allows
// (see searchesInWindows), without it as well.
struct SearchCode {
    const real_pcre* compiled = nullptr;
    const pcre_extra* extra = nullptr;
    const real_pcre* unchecked = nullptr; // null: always with the stop check
    const pcre_extra* uncheckedExtra = nullptr;
    const real_pcre* anchored = nullptr; // compiled anchored, without the stop check
    const pcre_extra* anchoredExtra = nullptr;
    bool utf8 = false; // compiled with PCRE_UTF8
};

// Exec with Compiled, to the same result. With Unchecked, the search goes window by window
// without the stop check first (whose callout slows an ordinary search a great deal), taking a
// window's answer only where the library shows it is the whole text's too: an attempt that
// reaches past its window is settled by Compiled alone, anything else unclear by Compiled from
// there on.
int search(const SearchCode& code, const char* subject, uint32_t length, uint32_t startOffset,
           int32_t options, int* ovector, int ovectorSize);

int32_t captureCount(const real_pcre* code);
// The number of the named group, or 0 when the pattern has no group of that name.
int32_t namedGroupNumber(const real_pcre* code, std::string_view name);
// True when the pattern was compiled in UTF-8 mode.
bool isUtf8(const real_pcre* code);

// For tests: the largest JIT stack the calling thread's matches may use from now on.
void setThreadJitStackLimit(int32_t maxBytes);
// For tests: the window size of the calling thread's searches from now on (0: the default).
void setThreadSearchWindow(uint32_t bytes);

} // namespace kestrava::regex::pcre_api
