// Perl-compatible regular expressions for the whole program: a table of compiled patterns
// addressed by integer IDs, matching, splitting and replacement templates, plus unit-level
// conveniences that compile through one shared, locked cache.
#pragma once

#include "regex/large_array.h"
#include "regex/option_set.h"
#include "regex/regex_error.h"
#include "regex/small_array.h"

#include <bitset>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

struct pcre2_real_code_8;
struct pcre2_callout_block_8;

namespace kestrava::regex {

enum class PatternOption : uint8_t {
    Anchored,
    IgnoreCase,
    DollarEndOnly,
    DotMatchesAll,
    IgnorePatternWhiteSpace,
    Extra,
    Multiline,
    UnGreedy,
    Utf8,
    ExplicitCapture,
    NoStudy,
    NoUtf8Check,
};
using PatternOptions = Set<PatternOption>;

enum class PatternLanguage : uint8_t { English, UserLocale, French, German };

enum class MatchOption : uint8_t {
    Anchored,
    NotBol,
    NotEol,
    NotEmpty,
    NoUtf8Check,
    NoCapturing,
};
using MatchOptions = Set<MatchOption>;

constexpr uint32_t kDefaultMatchLimit = 10000000;

// Options <-> PCRE2 flags: the library's 32 option bits, and for compiling the layer's own bit
// above them for Extra (see pcre_api::kStrictEscapes). The study flag travels beside the compile
// flags (coNoStudy clears it); the capture flag beside the execution flags (moNoCapturing
// clears it).
uint64_t patternOptionsToFlags(PatternOptions options);
PatternOptions flagsToPatternOptions(uint64_t flags, bool study);
uint32_t matchOptionsToFlags(MatchOptions options);
MatchOptions flagsToMatchOptions(uint32_t flags, bool capture);

// Result of one compile.
struct PatternStatus {
    bool success = false;
    int32_t patternID = -1;
    RegexErrorCode statusCode =
        RegexErrorCode::None; // 0, 1 pattern, 2 study, 3 locale, 10 cache full
    std::string errorText;    // the library's text (1, 2) or the language name (3)
    std::string errorMessage; // the code's text formatted with errorText and errorOffset
    int32_t errorOffset = 0;
};

// In place up to a whole match and one group with the library's workspace.
using GroupStartEndArray = SmallArray<int32_t, 6>;

// One match. Offsets are 0-based byte offsets into Target, which is not copied.
struct MatchResult {
    bool matched = false;
    const char* target = nullptr;
    uint32_t targetLength = 0;
    uint32_t matchOptions = 0;
    int32_t patternID = 0;      // -1 for a throw-away pattern
    int32_t matchPatternID = 0; // the pattern's compile serial; 0 for a throw-away pattern
    int32_t groupCount = 0;     // capture count + 1 when matched, else 0
    // Start of group n at 2n, end at 2n+1, -1 for both when the group did not take part; the
    // tail beyond 2*groupCount is the library's workspace. Without captures only group 0.
    GroupStartEndArray groupStartEnd;
    RegexErrorCode errorCode = RegexErrorCode::None;
};
using MatchCollection = std::vector<MatchResult, LargeArrayAllocator<MatchResult>>;

// A text every match of a pattern contains (empty when none is known), and the bytes no match
// contains, so that each match lies within one run of other bytes (a line, a word); lets the
// search skip text that cannot hold a match.
struct RequiredText {
    std::string text;
    std::bitset<256> stops;
    // Non-zero when every match begins at a word boundary where a run of other bytes begins, and
    // is at least this long: only such runs need an attempt, one each.
    uint32_t wordStartLength = 0;
    // Set when the pattern is \b, steps over one byte set of word bytes, \b: then each such run
    // that a byte other than a word byte (or the text's end) follows is one whole match, and no
    // other run holds one.
    bool wholeRuns = false;
};

// The library's code of a pattern, freed with it.
struct CodeDeleter {
    void operator()(pcre2_real_code_8* code) const;
};
using CodePtr = std::unique_ptr<pcre2_real_code_8, CodeDeleter>;

// Who hears a pattern's own "(?C)" callouts (see PatternTable::setOnCallOut).
using PcreCalloutEvent = std::function<void(pcre2_callout_block_8& block, int32_t& result)>;

// One compiled pattern with everything a search needs of it: the library's code with the stop
// check (see StopScope), where the pattern allows the forms that searches in windows use, and
// the plain texts or the required text that let a search skip the library. Thread-safe and
// logically immutable: any number of threads may match through one const instance at once,
// each on its own match data.
class CompiledPattern {
  public:
    // Null on failure, with the status's code, text and offset filled.
    static std::shared_ptr<const CompiledPattern>
    compile(const std::string& pattern, uint64_t flags, bool study, PatternLanguage language,
            uint32_t matchLimit, PatternStatus& status);

    int32_t captureCount() const { return m_captureCount; }
    bool utf8() const { return m_utf8; }
    uint32_t matchLimit() const { return m_matchLimit; }
    // Where the code with the stop check holds its callout.
    size_t stopCallOutAt() const { return m_stopCallOutAt; }
    // Non-empty when the pattern is plain text or an alternation of plain texts, found by a
    // literal search instead of the library.
    const std::vector<std::string>& literals() const { return m_literals; }
    bool literalCaseless() const { return m_literalCaseless; } // for literals and required
    // A text every match contains and the bytes none does (see RequiredText); knowsRequired()
    // is false when nothing is known.
    const RequiredText& required() const { return m_required; }
    bool knowsRequired() const {
        return !m_required.text.empty() || m_required.wordStartLength != 0;
    }
    // The code with the stop check; without it, for windows, and compiled anchored, which
    // settles a single attempt on the JIT (null where the pattern allows no windows).
    const pcre2_real_code_8* checked() const { return m_checked.get(); }
    const pcre2_real_code_8* unchecked() const { return m_unchecked.get(); }
    const pcre2_real_code_8* anchored() const { return m_anchored.get(); }

  private:
    CompiledPattern() = default;
    bool compileForms(const std::string& pattern, uint64_t flags, bool study,
                      PatternLanguage language, PatternStatus& status);

    CodePtr m_checked;
    CodePtr m_unchecked;
    CodePtr m_anchored;
    int32_t m_captureCount = 0;
    bool m_utf8 = false;
    uint32_t m_matchLimit = kDefaultMatchLimit;
    size_t m_stopCallOutAt = 0;
    std::vector<std::string> m_literals;
    bool m_literalCaseless = false;
    RequiredText m_required;
};

// One entry of the pattern table; a free slot has a null Compiled and Serial 0.
struct Pattern {
    std::string pattern;
    std::shared_ptr<const CompiledPattern> compiled; // matches keep it while they run
    uint64_t compileOptions = 0;
    bool study = false;
    PatternLanguage language = PatternLanguage::English;
    uint32_t matchLimit = kDefaultMatchLimit;
    int32_t serial = 0;
    int32_t captureCount = 0;
};

// While one lives on a thread, every match made on that thread checks `stop` as it goes (at
// each match attempt or each few kilobytes searched, each few megabytes of a plain-text search)
// and, once a stop is requested, ends by throwing RegexStoppedError. Scopes nest; ending one
// restores the one around it. A long search also tells `passed`, now and then, how far it has
// come in its text.
class StopScope {
  public:
    explicit StopScope(std::stop_token stop, void (*passed)(const char* at) = nullptr);
    ~StopScope();
    StopScope(const StopScope&) = delete;
    StopScope& operator=(const StopScope&) = delete;

  private:
    std::stop_token m_stop;
    const std::stop_token* m_outer;
    void (*m_outerPassed)(const char* at);
};

// A match that ended on its thread's stop request; not an RegexError, so a caller can tell
// a stop from a failure. Whatever the call had already produced is the caller's to drop.
struct RegexStoppedError : std::exception {
    const char* what() const noexcept override;
};

class PatternTable;

// Supplies the value of custom token TokenIndex ("${name}") for one expansion.
using ReplaceTokenEvent =
    std::function<void(PatternTable& sender, int32_t tokenIndex, std::string& replacement)>;

class PatternTable {
  public:
    PatternTable();
    virtual ~PatternTable();
    PatternTable(const PatternTable&) = delete;
    PatternTable& operator=(const PatternTable&) = delete;

    // Frees every compiled pattern and empties the table.
    virtual void clearPatterns();
    // Default compile options [coIgnoreCase, coDotMatchesAll], studied, English, no match options.
    virtual void initDefaults();
    virtual const char* className() const { return "TldiRegExBase"; }

    // Frees the slot; its ID is reused first by the next compile. Raises 8 for an unknown ID.
    void removePattern(int32_t patternID);

    // Fills results with every match from startOffset on; returns true when there is one.
    // After an empty match the search retries non-empty at the same place, then moves on, so
    // every match is reported once, in order. Raises 4, 7, 8, 13 or an execution error.
    bool matches(int32_t patternID, const char* target, uint32_t targetLength, uint32_t startOffset,
                 MatchOptions options, MatchCollection& results);
    // The same matches handed to `found` one at a time as they are found, none kept (a file
    // with millions of them needs no list); returns how many there were.
    using MatchFound = std::function<void(MatchResult& match)>;
    size_t forEachMatch(int32_t patternID, const char* target, uint32_t targetLength,
                        uint32_t startOffset, MatchOptions options, const MatchFound& found);
    // Pieces of the target between non-empty matches, with the text of each group between them.
    // A limit > 0 stops after that many matches; < 0 means no limit.
    void splitToArray(int32_t patternID, const char* target, uint32_t targetLength,
                      uint32_t startOffset, int32_t limit, std::vector<std::string>& pieces);
    // Told of each replacement: the match's start and end in the target, and what took its place.
    using Replaced = std::function<void(uint32_t start, uint32_t end, std::string_view text)>;
    // Output = target from startAt (1-based) with up to maxReplacements (< 0: all) non-empty
    // matches replaced by the expanded template. Raises 14 for startAt < 1, 25 for a bad template.
    void replace(int32_t patternID, std::string_view target, const std::string& replaceTemplate,
                 int32_t maxReplacements, int32_t startAt, std::string& output,
                 const Replaced& replaced = {});

    PatternOptions defaultPatternOptions() const;
    void setDefaultPatternOptions(PatternOptions options);
    MatchOptions defaultMatchOptions() const;
    void setDefaultMatchOptions(MatchOptions options);
    PatternLanguage defaultLanguage() const { return m_defaultLanguage; }
    // Comma-separated names of the custom tokens; each name's index is its position.
    const std::string& customTokens() const { return m_customTokensText; }
    void setCustomTokens(const std::string& text);
    // Called from a "(?C)" callout of any pattern of the table (positions as written); result 0
    // continues, positive fails here, negative aborts.
    void setOnCallOut(PcreCalloutEvent handler);
    void setOnReplaceCustomToken(ReplaceTokenEvent handler);
    static std::string version();

    uint32_t defaultMatchLimit = kDefaultMatchLimit; // applies to patterns compiled afterwards

    // Read access for the layer's own tests and diagnostics.
    int32_t slotsUsed() const { return m_slotsUsed; }
    int32_t groupOffsetVectorSize() const { return m_groupOffsetVectorSize; }
    const Pattern* patternEntry(int32_t patternID) const;

  protected:
    // Compiles into the table (reusing a freed ID first); returns the status, never raises.
    bool compileIntoTable(const std::string& pattern, uint64_t flags, bool study,
                          PatternLanguage language, PatternStatus& status);
    // One search from startOffset; raises every error other than "no match".
    bool getMatch(int32_t patternID, const char* target, MatchResult& result,
                  RegexOperation callingMethod, bool capture, uint32_t flags, uint32_t startOffset,
                  uint32_t targetLength);
    // The lock around the table; only the shared static instance has one.
    virtual std::unique_lock<std::mutex> lockTable() const { return {}; }
    uint64_t defaultCompileFlags() const { return m_defaultCompileFlags; }
    bool defaultStudy() const { return m_defaultStudy; }
    // Index of a custom token (letter case ignored), or -1.
    int32_t customTokenIndex(const std::string& name) const;
    std::string customTokenName(int32_t index) const;

  private:
    friend struct RegexInternals;
    struct EntryView;
    EntryView validatedEntry(int32_t patternID, RegexOperation method, RegexOperation called,
                             bool withClass, bool requireCompiled = true) const;
    size_t literalMatches(int32_t patternID, const EntryView& entry, const char* target,
                          uint32_t targetLength, uint32_t startOffset, uint32_t flags, bool capture,
                          const MatchFound& found) const;
    size_t runBoundMatches(int32_t patternID, const EntryView& entry, const char* target,
                           uint32_t targetLength, uint32_t startOffset, uint32_t flags,
                           bool capture, const MatchFound& found);
    size_t wordStartMatches(int32_t patternID, const EntryView& entry, const char* target,
                            uint32_t targetLength, uint32_t startOffset, uint32_t flags,
                            bool capture, const MatchFound& found);
    bool attemptAt(int32_t patternID, const EntryView& entry, const char* target,
                   MatchResult& result, bool capture, uint32_t flags, uint32_t at,
                   uint32_t searchEnd);
    size_t engineMatches(int32_t patternID, const EntryView& entry, const char* target,
                         uint32_t targetLength, uint32_t startOffset, uint32_t flags, bool capture,
                         const MatchFound& found);
    void matchAndReplace(int32_t patternID, const char* target, std::string& output,
                         uint32_t startOffset, int32_t maxReplacements,
                         const std::string& replaceTemplate, uint32_t targetLength,
                         const Replaced& replaced);
    void appendReplacement(const std::string& tokens, const EntryView& entry, const char* target,
                           const int* ovector, int rc, std::string& output);

    uint64_t m_defaultCompileFlags = 0;
    bool m_defaultStudy = true;
    PatternLanguage m_defaultLanguage = PatternLanguage::English;
    uint32_t m_defaultMatchFlags = 0;
    bool m_defaultCapture = true;
    int32_t m_lastSerial = 0;
    std::vector<std::unique_ptr<Pattern>> m_patterns;
    int32_t m_slotsUsed = 0;
    std::vector<int32_t> m_freeIDs;
    int32_t m_largestCaptureCount = 0;
    int32_t m_groupOffsetVectorSize = 3;
    PcreCalloutEvent m_onCallOut;
    ReplaceTokenEvent m_onReplaceCustomToken;
    std::string m_customTokensText;
    std::vector<std::pair<std::string, int32_t>> m_customTokenList; // sorted, case-insensitive
};

// Adds the pattern cache: key (text, flags, study, language) -> pattern ID, never evicted.
class CachedPatternTable : public PatternTable {
  public:
    CachedPatternTable();
    void clearPatterns() override;
    const char* className() const override { return "TldiRegEx"; }

    int32_t patternCacheMaxCount() const { return m_patternCacheMaxCount; }
    // Negative becomes 0. Raising from 0 or lowering empties the table and the cache.
    void setPatternCacheMaxCount(int32_t count);

  protected:
    int32_t cachedPatternID(const std::string& pattern, PatternOptions options,
                            PatternStatus& status, PatternLanguage language);

  private:
    int32_t m_patternCacheMaxCount = 0;
    std::unordered_map<std::string, int32_t> m_cache;
};

// The shared instance's class: cache lookups and compiles run under its lock.
class StaticPatternTable : public CachedPatternTable {
  public:
    const char* className() const override { return "TldiRegExStatic"; }
    // Returns the cached or newly compiled pattern's ID, or -1 with the status filled
    // (code 10 when the table is full).
    int32_t getCachedPatternID(const std::string& pattern, PatternOptions options,
                               PatternStatus& status, PatternLanguage language);

  protected:
    std::unique_lock<std::mutex> lockTable() const override { return std::unique_lock(m_lock); }

  private:
    mutable std::mutex m_lock;
};

// The main window's object: patterns are added with the object's defaults.
class PatternSet : public PatternTable {
  public:
    const char* className() const override { return "TldiRegExMulti"; }
    // Compiles with the default options; false and ID -1 with the status filled on failure.
    bool addPattern(const std::string& pattern, int32_t& patternID, PatternStatus& status);
};

// Compiles outside any table. On failure compiled is null and the status carries patternID -1.
bool compileStandalone(const std::string& pattern, uint64_t flags, bool study,
                       PatternLanguage language, std::shared_ptr<const CompiledPattern>& compiled,
                       PatternStatus& status);

// ---- Unit level: the shared cached instance and its conveniences ----------------------------

// The shared instance (cache of 100 patterns) used by Match and Split.
StaticPatternTable& regExStatic();
extern const PatternOptions kDefaultStaticPatternOptions; // [coIgnoreCase, coDotMatchesAll]

// First match of pattern in target (case-insensitive, "." matches line ends). Raises the
// compile status as an error from "Match". bypassCache compiles a throw-away pattern.
bool match(const std::string& pattern, const std::string& target, bool bypassCache,
           MatchResult& result);
// The result points into the target, so a temporary target is refused at compile time.
bool match(const std::string& pattern, std::string&& target, bool bypassCache,
           MatchResult& result) = delete;
// The pieces of target around the non-empty matches of pattern (see splitToArray).
void split(const std::string& pattern, const std::string& target, bool bypassCache,
           std::vector<std::string>& pieces);
// The text of group n of a match (empty when the group did not take part). Raises 11.
void groupValue(const MatchResult& result, int32_t groupNumber, std::string& value);
void clearMatchResult(MatchResult& result);
void clearMatchCollection(MatchCollection& results);
inline int32_t matchCount(const MatchCollection& results) {
    return static_cast<int32_t>(results.size());
}

// ---- Character tables by language ----------------------------------------------------------

// "English", "User Locale", "French", "German", else "Unknown Language".
std::string languageName(PatternLanguage language);
// Tables for the language (null for English). Built once and kept; on failure null with a
// non-zero platform error code, and the next call tries again.
const unsigned char* getLanguageTables(PatternLanguage language, int32_t& errorCode);

} // namespace kestrava::regex
