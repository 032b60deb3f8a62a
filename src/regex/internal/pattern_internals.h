// Pieces shared by the .cpp files of the regular-expression unit; not part of its public face.
#pragma once

#include "regex/pattern_table.h"
#include "regex/pcre_api.h"

#include <bitset>
#include <cstdint>
#include <memory>
#include <string_view>

namespace kestrava::regex {

// What a match needs of a table entry, read under the table's lock so that the table may grow
// or drop the entry in another thread while the match runs: the entry's compiled pattern is
// kept alive by `kept`.
struct PatternTable::EntryView {
    std::shared_ptr<const CompiledPattern> kept;
    const pcre2_code* compiled = nullptr;
    const pcre2_code* anchored = nullptr; // see CompiledPattern::anchored
    int32_t serial = 0;
    int32_t captureCount = 0;
    int32_t vectorSize = 3;
    const std::vector<std::string>* literals = nullptr; // non-null: found by LiteralScanner
    bool literalCaseless = false;
    const RequiredText* required = nullptr; // non-null: a text every match contains
    bool utf8 = false;
    pcre_api::MatchSettings settings;

    pcre_api::SearchCode code() const {
        return {compiled, kept ? kept->unchecked() : nullptr, anchored, utf8, settings};
    }
};

// Access to the objects' private state for the unit-level functions and the callout hook.
struct RegexInternals {
    static bool getMatch(PatternTable& regex, int32_t patternID, const char* target,
                         MatchResult& result, RegexOperation callingMethod, bool capture,
                         uint32_t flags, uint32_t startOffset, uint32_t targetLength) {
        return regex.getMatch(patternID, target, result, callingMethod, capture, flags, startOffset,
                              targetLength);
    }
    static uint32_t defaultMatchFlags(const PatternTable& regex) {
        return regex.m_defaultMatchFlags;
    }
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
std::vector<std::string> plainLiterals(const std::string& pattern, uint64_t flags,
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
RequiredText planRequiredText(const std::string& pattern, uint64_t flags, PatternLanguage language);

// The runs of bytes a pattern that begins with \b consumes (see RequiredText::wordStartLength)
// that begin at a word boundary in one text: the byte before is not a word byte, or there is none.
class WordStartRuns {
  public:
    WordStartRuns(const std::bitset<256>& stops, uint32_t minLength, const char* text,
                  uint32_t length);
    // The first such run at or after `from` with at least minLength bytes: its start, and its
    // end (its first stop byte, or the text's end). Sees a stop request every few megabytes.
    bool next(uint32_t from, uint32_t& start, uint32_t& end);
    // True when the text has a word byte at `pos`.
    bool wordByteAt(uint32_t pos) const { return pos < m_length && isWord(m_text[pos]); }

  private:
    // A set of a few byte ranges, tested 16 bytes at a time.
    class RangeProbe {
      public:
        // False when the set needs more ranges than a probe holds.
        bool assign(const std::bitset<256>& set);
        // Bit i is set when at[i] is in the set.
        unsigned mask(const char* at) const;
        uint64_t mask64(const char* at) const;

      private:
        static constexpr size_t kMaxRanges = 4;
        alignas(16) uint8_t m_low[kMaxRanges][16] = {};
        alignas(16) uint8_t m_span[kMaxRanges][16] = {};
        size_t m_count = 0;
    };
    static constexpr uint32_t kBlock = 64;

    void loadBlock(uint32_t base);
    uint64_t longRuns(uint32_t base) const;
    bool nextOneByOne(uint32_t from, uint32_t& start, uint32_t& end) const;
    uint32_t findStart(uint32_t pos, uint32_t limit) const;
    uint32_t findEnd(uint32_t pos) const;
    uint32_t findEndWithin(uint32_t pos, uint32_t limit) const;
    bool isRun(char c) const { return m_run[static_cast<unsigned char>(c)]; }
    bool isWord(char c) const { return m_word[static_cast<unsigned char>(c)]; }

    const char* m_text;
    uint32_t m_length;
    uint32_t m_minLength;
    bool m_run[256] = {};
    bool m_word[256] = {};
    RangeProbe m_runs;
    RangeProbe m_words;
    bool m_vector = false; // both sets fit a probe
    // The 64 bytes from m_base: bit i of m_blockRuns is set when byte i is in a run, of
    // m_blockStarts when a run begins there at a word boundary.
    uint32_t m_base = 0;
    bool m_loaded = false;
    uint64_t m_blockRuns = 0;
    uint64_t m_blockStarts = 0;
};

// Successive matches of an alternation of literals in one text, with the engine's choice: the
// leftmost place, and there the first alternative in pattern order. `from` must not go back.
class LiteralScanner {
  public:
    LiteralScanner(const std::vector<std::string>& alternatives, bool caseless, const char* text,
                   size_t length);
    ~LiteralScanner();
    LiteralScanner(const LiteralScanner&) = delete;
    LiteralScanner& operator=(const LiteralScanner&) = delete;
    bool next(size_t from, size_t& start, size_t& end);

  private:
    struct Probes;
    size_t findAny(const char* text, size_t length, size_t from, size_t& which) const;
    size_t findAnyOneByOne(const char* text, size_t length, size_t pos, size_t& which) const;

    const std::vector<std::string>& m_alternatives;
    bool m_caseless;
    const char* m_text;
    size_t m_length;
    size_t m_longest = 0;
    std::unique_ptr<Probes> m_probes;
};

// Maps a negative match result of the library to the layer's error code.
RegexErrorCode execResultError(int rc);

// Appends the pieces of a split (see splitToArray); raises execution errors from splitToArray.
// Raises an execution error; code 35 carries the library's own result number.
[[noreturn]] void raiseExecError(RegexErrorCode code, int rc, RegexOperation method,
                                 RegexOperation called, const std::string& className);

void splitLoop(const pcre_api::SearchCode& code, int32_t captureCount, uint32_t flags,
               const char* target, uint32_t length, uint32_t startOffset, int32_t limit,
               std::vector<std::string>& pieces);

// For tests: whether plain texts and their alternations are looked for in AVX2 steps where the
// processor has AVX2 (the default), or with the probes every processor has.
void useAvx2Steps(bool use);

// For tests: the locale names tried for a language, in order; forgets tables already built.
void setLanguageLocaleCandidates(PatternLanguage language, std::vector<std::string> names);

} // namespace kestrava::regex
