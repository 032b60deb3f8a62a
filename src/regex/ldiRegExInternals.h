// Pieces shared by the .cpp files of the regular-expression unit; not part of its public face.
#pragma once

#include "regex/ldiPcreAPI.h"
#include "regex/ldiRegEx.h"

#include <string_view>

namespace kes {

// What a match needs of a table entry, read under the table's lock so that the table may grow
// in another thread while the match runs.
struct TldiRegExBase::TEntryView {
    const real_pcre* Compiled = nullptr;
    const pcre_extra* Extra = nullptr;
    int32_t Serial = 0;
    int32_t CaptureCount = 0;
    int32_t VectorSize = 3;
    const std::vector<std::string>* Literals = nullptr; // non-null: found by TLiteralScanner
    bool LiteralCaseless = false;
    const TRequiredText* Required = nullptr; // non-null: a text every match contains
    const real_pcre* Unchecked = nullptr;    // see TRegExPattern::Unchecked
    const pcre_extra* UncheckedExtra = nullptr;
    const real_pcre* Anchored = nullptr;
    const pcre_extra* AnchoredExtra = nullptr;
    bool Utf8 = false;

    pcre_api::TSearchCode Code() const {
        return {Compiled, Extra, Unchecked, UncheckedExtra, Anchored, AnchoredExtra, Utf8};
    }
};

// Access to the objects' private state for the unit-level functions and the callout hook.
struct TRegExInternals {
    static bool GetMatch(TldiRegExBase& regex, int32_t patternID, const char* target,
                         TMatchResult& result, TRegExMethod callingMethod, bool capture,
                         int32_t flags, uint32_t startOffset, uint32_t targetLength) {
        return regex.GetMatch(patternID, target, result, callingMethod, capture, flags, startOffset,
                              targetLength);
    }
    static int32_t DefaultMatchFlags(const TldiRegExBase& regex) {
        return regex.fDefaultMatchFlags;
    }
    static int CallOut(pcre_callout_block* block);
};

// The text of a group from an offset vector; empty when the group did not take part.
inline std::string_view GroupText(const char* target, const int* ovector, int group) {
    const int from = ovector[static_cast<size_t>(group) * 2];
    const int to = ovector[static_cast<size_t>(group) * 2 + 1];
    return from < 0 ? std::string_view()
                    : std::string_view(target + from, static_cast<size_t>(to - from));
}

// The texts a pattern matches when it is plain text or an alternation of a few non-empty plain
// texts, which the literal search finds exactly as the library would (no other metacharacters,
// built-in tables, no UTF-8 or extended syntax); else empty.
std::vector<std::string> PlainLiterals(const std::string& pattern, int32_t flags,
                                       TPatternLanguage language);
// The first occurrence of literal in text at or after `from` (letter case of A-Z ignored when
// caseless), or std::string::npos.
size_t FindLiteralBefore(const char* text, size_t length, size_t from, std::string_view literal,
                         bool caseless);
// The same a few megabytes at a time, throwing EldiRegExStopped on the thread's stop request.
size_t FindLiteralInPieces(const char* text, size_t length, size_t from, std::string_view literal,
                           bool caseless);
// FindLiteralBefore, in pieces when the text is long: a short search never looks for a stop.
inline size_t FindLiteral(const char* text, size_t length, size_t from, std::string_view literal,
                          bool caseless) {
    if (from < length && length - from > pcre_api::kStopCheckBytes + literal.size())
        return FindLiteralInPieces(text, length, from, literal, caseless);
    return FindLiteralBefore(text, length, from, literal, caseless);
}

// For a pattern of the simple kind "\b\w+_t\b" or "[a-z]+ing" (single bytes, classes, \w \d \s
// and their opposites, \b, unbounded repeats), the longest run of plain bytes every match
// contains and the bytes no match contains; an empty text for anything else.
TRequiredText PlanRequiredText(const std::string& pattern, int32_t flags,
                               TPatternLanguage language);

// Successive matches of an alternation of literals in one text, with the engine's choice: the
// leftmost place, and there the first alternative in pattern order. `from` must not go back.
class TLiteralScanner {
  public:
    TLiteralScanner(const std::vector<std::string>& alternatives, bool caseless, const char* text,
                    size_t length);
    bool Next(size_t from, size_t& start, size_t& end);

  private:
    static constexpr size_t kUnknown = std::string::npos - 1;
    const std::vector<std::string>& Alternatives_;
    bool Caseless_;
    const char* Text_;
    size_t Length_;
    std::vector<size_t> Next_; // each alternative's next place, npos when there is none
};

// Maps a negative pcre_exec result to the layer's error code.
TRegExError ExecResultError(int rc);

// Appends the pieces of a split (see SplitToArray); raises execution errors from SplitToArray.
// Raises an execution error; code 35 carries the library's own result number.
[[noreturn]] void RaiseExecError(TRegExError code, int rc, TRegExMethod method, TRegExMethod called,
                                 const std::string& className);

void SplitLoop(const pcre_api::TSearchCode& code, int32_t captureCount, int32_t flags,
               const char* target, uint32_t length, uint32_t startOffset, int32_t limit,
               std::vector<std::string>& pieces);

// For tests: the locale names tried for a language, in order; forgets tables already built.
void SetLanguageLocaleCandidates(TPatternLanguage language, std::vector<std::string> names);

} // namespace kes
