// The one owner of the PCRE2 library inside the program: flag values, the stop check every
// compiled pattern carries, compiling with JIT, matching on the calling thread's own match
// data, match context and growable JIT stack, and pattern information. Only src/regex/
// includes this header (and its tests).
#pragma once

#include "regex/pattern_table.h"

#ifndef PCRE2_CODE_UNIT_WIDTH
#define PCRE2_CODE_UNIT_WIDTH 8
#endif
#include <pcre2.h>

#include <cstddef>
#include <stop_token>
#include <string>
#include <string_view>

namespace kestrava::regex::pcre_api {

constexpr uint32_t kNotEmpty = PCRE2_NOTEMPTY;
constexpr uint32_t kNotEmptyAtStart = PCRE2_NOTEMPTY_ATSTART;
constexpr uint32_t kAnchored = PCRE2_ANCHORED;
constexpr uint32_t kNoUtf8Check = PCRE2_NO_UTF_CHECK;
// The layer's own compile flag above the library's 32 option bits: an unknown escape ("\y") is
// an error. Without it such an escape is the character itself.
constexpr uint64_t kStrictEscapes = uint64_t{1} << 32;
constexpr size_t kJitStackStart = size_t{32} << 10;
constexpr size_t kJitStackMax = size_t{16} << 20;
// The interpreter keeps its backtracking frames on the heap; a runaway match stops here with
// the match-limit error instead of taking the machine's memory.
constexpr size_t kHeapLimitKiB = size_t{256} << 10;

// Every compiled pattern begins with this callout, so that each match attempt can notice the
// thread's stop request (see StopScope). It follows the pattern's leading "(*UTF)", "(*CRLF)"
// ... items, which the library reads only at the very start.
constexpr std::string_view kStopCallOut = "(?C255)";
constexpr uint32_t kStopCallOutNumber = 255;
// What a callout returns, and so what a match returns, to end a match on a stop request.
constexpr int kStopped = PCRE2_ERROR_CALLOUT;
// Plain-text searches check the stop request at least this often.
constexpr size_t kStopCheckBytes = size_t{4} << 20;
// Searches without the stop check go over windows of this many bytes, each match attempt in
// them limited to this many steps: a window takes a fraction of a second at worst.
constexpr uint32_t kSearchWindowBytes = 2048;
constexpr uint32_t kWindowMatchLimit = 5000;

using regex::CodePtr;

// The length of the pattern's leading items that set options ("(*UTF)", "(*LIMIT_MATCH=9)"),
// read exactly as the library reads them: where the stop callout goes.
size_t leadingVerbsLength(std::string_view pattern);
// The text handed to the library: the pattern with kStopCallOut inserted at `at`.
std::string withStopCallOut(std::string_view pattern, size_t at);
// An offset the library reports into that text, as an offset into the pattern.
size_t patternOffset(size_t offset, size_t at);

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

// checkStop, in a long search that has come to `at`.
inline void checkStop(const char* at) {
    if (const PassedEvent passed = tThreadPassed)
        passed(at);
    checkStop();
}

// True when a search in windows (see search) finds what the search over the whole text finds:
// nothing in the pattern depends on where a search starts ("\G"), stops the search as a whole
// ("(*COMMIT)" and the other verbs; the leading ones may also change what a line break is), or
// calls out.
bool searchesInWindows(std::string_view pattern);

// Compiles text (the first NUL ends it) with the library's options (the low 32 bits of flags)
// and the layer's own (kStrictEscapes). Null on failure, with the library's text and offset.
CodePtr compile(std::string_view text, uint64_t flags, const unsigned char* tables,
                std::string& error, size_t& errorOffset);
// JIT-compiles the code for complete matches (and, forWindows, partial ones too); false when the
// JIT is not to be had, and the interpreter runs it.
bool jitCompile(pcre2_code* code, bool forWindows);
// False for the patterns whose JIT results this library version gets wrong.
bool jitGivesExactResults(const std::string& pattern, const pcre2_code* code);

// What a match asks of the library beside its code: a tighter step limit than the pattern's
// own, and who hears the pattern's own callouts (positions as written, before stopCallOutAt).
struct MatchSettings {
    uint32_t matchLimit = kDefaultMatchLimit;
    const PcreCalloutEvent* callOuts = nullptr;
    size_t stopCallOutAt = 0;
};

// One match on the calling thread's match data and context: the step limit, the heap limit and
// the stop request travel in the context, whose callout ends the match on a stop. The JIT runs
// on this thread's own stack (grown up to kJitStackMax); a JIT stack overflow is retried on the
// interpreter. The offsets are copied into ovector as pairs (-1 for a group that did not take
// part), and the result counts as the library's does (0: the vector is too small for all
// pairs); a partial match puts the start of its attempt at ovector[2]. Throws
// RegexStoppedError on the thread's stop request, seen before the call or at any attempt.
int exec(const pcre2_code* code, const char* subject, uint32_t length, uint32_t startOffset,
         uint32_t options, int* ovector, int ovectorSize, const MatchSettings& settings = {});

// A compiled pattern as a search runs it: with the stop check, and, where the pattern allows
// (see searchesInWindows), without it as well.
struct SearchCode {
    const pcre2_code* compiled = nullptr;
    const pcre2_code* unchecked = nullptr; // null: always with the stop check
    const pcre2_code* anchored = nullptr;  // compiled anchored, without the stop check
    bool utf8 = false;                     // compiled with PCRE2_UTF
    MatchSettings settings;
};

// Exec with Compiled, to the same result. With Unchecked, the search goes window by window
// without the stop check first (whose callout slows an ordinary search a great deal), taking a
// window's answer only where the library shows it is the whole text's too: an attempt that
// reaches past its window is settled by Anchored alone, anything else unclear by Compiled from
// there on.
int search(const SearchCode& code, const char* subject, uint32_t length, uint32_t startOffset,
           uint32_t options, int* ovector, int ovectorSize);

int32_t captureCount(const pcre2_code* code);
// The number of the named group, or 0 when the pattern has no group of that name.
int32_t namedGroupNumber(const pcre2_code* code, std::string_view name);
// True when the pattern was compiled in UTF-8 mode (by flag or by a leading "(*UTF)").
bool isUtf8(const pcre2_code* code);

// For tests: the largest JIT stack the calling thread's matches may use from now on.
void setThreadJitStackLimit(size_t maxBytes);
// For tests: the window size of the calling thread's searches from now on (0: the default).
void setThreadSearchWindow(uint32_t bytes);

} // namespace kestrava::regex::pcre_api
