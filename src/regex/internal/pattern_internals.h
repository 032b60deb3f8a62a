// Pieces shared by the .cpp files of the regular-expression unit; not part of its public face.
#pragma once

#include "regex/pattern_table.h"
#include "regex/pcre_api.h"

#include <string_view>

namespace kestrava::regex {

// What a match needs of a table entry, read under the table's lock so that the table may grow
// in another thread while the match runs.
struct PatternTable::EntryView {
    const real_pcre* compiled = nullptr;
    const pcre_extra* extra = nullptr;
    int32_t serial = 0;
    int32_t captureCount = 0;
    int32_t vectorSize = 3;
    const std::vector<std::string>* literals = nullptr; // non-null: found by LiteralScanner
    bool literalCaseless = false;
    const RequiredText* required = nullptr; // non-null: a text every match contains
    const real_pcre* unchecked = nullptr;   // see Pattern::Unchecked
    const pcre_extra* uncheckedExtra = nullptr;
    const real_pcre* anchored = nullptr;
    const pcre_extra* anchoredExtra = nullptr;
    bool utf8 = false;

    pcre_api::SearchCode code() const {
        return {compiled, extra, unchecked, uncheckedExtra, anchored, anchoredExtra, utf8};
    }
};

// Access to the objects' private state for the unit-level functions and the callout hook.
struct RegexInternals {
    static bool getMatch(PatternTable& regex, int32_t patternID, const char* target,
                         MatchResult& result, RegexOperation callingMethod, bool capture,
                         int32_t flags, uint32_t startOffset, uint32_t targetLength) {
        return regex.getMatch(patternID, target, result, callingMethod, capture, flags, startOffset,
                              targetLength);
    }
    static int32_t defaultMatchFlags(const PatternTable& regex) {
        return regex.m_defaultMatchFlags;
    }
    static int callOut(pcre_callout_block* block);
};

// The text of a group from an offset vector; empty when the group did not take part.
inline std::string_view groupText(const char* target, const int* ovector, int group) {
    const int from = ovector[static_cast<size_t>(group) * 2];
    const int to = ovector[static_cast<size_t>(group) * 2 + 1];
    return from < 0 ? std::string_view()
                    : std::string_view(target + from, static_cast<size_t>(to - from));
}

// The texts a pattern matches when it is plain text or an alternation of a few non-empty plain
// texts, which the literal search finds exactly as the library would (no other metacharacters,
// built-in tables, no UTF-8 or extended syntax); else empty.
std::vector<std::string> plainLiterals(const std::string& pattern, int32_t flags,
                                       PatternLanguage language);
// The first occurrence of literal in text at or after `from` (letter case of A-Z ignored when
// caseless), or std::string::npos.
size_t findLiteralBefore(const char* text, size_t length, size_t from, std::string_view literal,
                         bool caseless);
// The same a few megabytes at a time, throwing RegexStoppedError on the thread's stop request.
size_t findLiteralInPieces(const char* text, size_t length, size_t from, std::string_view literal,
                           bool caseless);
// findLiteralBefore, in pieces when the text is long: a short search never looks for a stop.
inline size_t findLiteral(const char* text, size_t length, size_t from, std::string_view literal,
                          bool caseless) {
    if (from < length && length - from > pcre_api::kStopCheckBytes + literal.size())
        return findLiteralInPieces(text, length, from, literal, caseless);
    return findLiteralBefore(text, length, from, literal, caseless);
}

// For a pattern of the simple kind "\b\w+_t\b" or "[a-z]+ing" (single bytes, classes, \w \d \s
// and their opposites, \b, unbounded repeats), the longest run of plain bytes every match
// contains and the bytes no match contains; an empty text for anything else.
RequiredText planRequiredText(const std::string& pattern, int32_t flags, PatternLanguage language);

// Successive matches of an alternation of literals in one text, with the engine's choice: the
// leftmost place, and there the first alternative in pattern order. `from` must not go back.
class LiteralScanner {
  public:
    LiteralScanner(const std::vector<std::string>& alternatives, bool caseless, const char* text,
                   size_t length);
    bool next(size_t from, size_t& start, size_t& end);

  private:
    static constexpr size_t kUnknown = std::string::npos - 1;
    const std::vector<std::string>& m_alternatives;
    bool m_caseless;
    const char* m_text;
    size_t m_length;
    std::vector<size_t> m_next; // each alternative's next place, npos when there is none
};

// Maps a negative pcre_exec result to the layer's error code.
RegexErrorCode execResultError(int rc);

// Appends the pieces of a split (see splitToArray); raises execution errors from splitToArray.
// Raises an execution error; code 35 carries the library's own result number.
[[noreturn]] void raiseExecError(RegexErrorCode code, int rc, RegexOperation method,
                                 RegexOperation called, const std::string& className);

void splitLoop(const pcre_api::SearchCode& code, int32_t captureCount, int32_t flags,
               const char* target, uint32_t length, uint32_t startOffset, int32_t limit,
               std::vector<std::string>& pieces);

// For tests: the locale names tried for a language, in order; forgets tables already built.
void setLanguageLocaleCandidates(PatternLanguage language, std::vector<std::string> names);

} // namespace kestrava::regex
