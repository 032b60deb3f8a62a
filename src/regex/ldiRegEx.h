// Perl-compatible regular expressions for the whole program: a table of compiled patterns
// addressed by integer IDs, matching, splitting and replacement templates, plus unit-level
// conveniences that compile through one shared, locked cache.
#pragma once

#include "regex/ldiLargeArray.h"
#include "regex/ldiRegExMessages.h"
#include "regex/ldiSet.h"
#include "regex/ldiSmallArray.h"

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

struct real_pcre;
struct pcre_extra;
struct pcre_callout_block;

namespace kes {

enum TPatternOption : uint8_t {
    coAnchored,
    coIgnoreCase,
    coDollarEndOnly,
    coDotMatchesAll,
    coIgnorePatternWhiteSpace,
    coExtra,
    coMultiline,
    coUnGreedy,
    coUtf8,
    coExplicitCapture,
    coNoStudy,
    coNoUtf8Check,
};
using TPatternOptions = TSet<TPatternOption>;

enum TPatternLanguage : uint8_t { laEnglish, laUserLocale, laFrench, laGerman };

enum TMatchOption : uint8_t {
    moAnchored,
    moNotBol,
    moNotEol,
    moNotEmpty,
    moNoUtf8Check,
    moNoCapturing,
};
using TMatchOptions = TSet<TMatchOption>;

constexpr uint32_t kDefaultMatchLimit = 10000000;

// Options <-> PCRE flags. The study flag travels beside the compile flags (coNoStudy clears it);
// the capture flag beside the execution flags (moNoCapturing clears it).
int32_t PatternOptionsToFlags(TPatternOptions options);
TPatternOptions FlagsToPatternOptions(int32_t flags, bool study);
int32_t MatchOptionsToFlags(TMatchOptions options);
TMatchOptions FlagsToMatchOptions(int32_t flags, bool capture);

// Result of one compile.
struct TPatternStatus {
    bool Success = false;
    int32_t PatternID = -1;
    TRegExError StatusCode = reNone; // 0, 1 pattern, 2 study, 3 locale, 10 cache full
    std::string ErrorText;           // the library's text (1, 2) or the language name (3)
    std::string ErrorMessage;        // the code's text formatted with ErrorText and ErrorOffset
    int32_t ErrorOffset = 0;
};

// In place up to a whole match and one group with the library's workspace.
using TGroupStartEndArray = TSmallArray<int32_t, 6>;

// One match. Offsets are 0-based byte offsets into Target, which is not copied.
struct TMatchResult {
    bool Matched = false;
    const char* Target = nullptr;
    uint32_t TargetLength = 0;
    int32_t MatchOptions = 0;
    int32_t PatternID = 0;      // -1 for a throw-away pattern
    int32_t MatchPatternID = 0; // the pattern's compile serial; 0 for a throw-away pattern
    int32_t GroupCount = 0;     // capture count + 1 when matched, else 0
    // Start of group n at 2n, end at 2n+1, -1 for both when the group did not take part; the
    // tail beyond 2*GroupCount is the library's workspace. Without captures only group 0.
    TGroupStartEndArray GroupStartEnd;
    TRegExError ErrorCode = reNone;
};
using TMatchCollection = std::vector<TMatchResult, TLargeArrayAllocator<TMatchResult>>;

namespace pcre_api {
struct CompiledDeleter {
    void operator()(real_pcre* code) const;
};
struct ExtraDeleter {
    void operator()(pcre_extra* extra) const;
};
} // namespace pcre_api
using TCompiledPtr = std::unique_ptr<real_pcre, pcre_api::CompiledDeleter>;
using TExtraPtr = std::unique_ptr<pcre_extra, pcre_api::ExtraDeleter>;

// A text every match of a pattern contains (empty when none is known), and the bytes no match
// contains, so that each match lies within one run of other bytes (a line, a word); lets the
// search skip text that cannot hold a match.
struct TRequiredText {
    std::string Text;
    std::bitset<256> Stops;
};

class TldiRegExBase;

// One entry of the pattern table; a free slot has a null Compiled and Serial 0.
struct TRegExPattern {
    std::string Pattern;
    TCompiledPtr Compiled;
    TExtraPtr Extra;
    int32_t CompileOptions = 0;
    bool Study = false;
    TPatternLanguage Language = laEnglish;
    uint32_t MatchLimit = kDefaultMatchLimit;
    int32_t Serial = 0;
    int32_t CaptureCount = 0;
    // A studied pattern that is plain text, or an alternation of plain texts, is found by a
    // literal search instead of the library; empty when the pattern is anything else.
    std::vector<std::string> Literals;
    bool LiteralCaseless = false; // for Literals and Required
    TRequiredText Required;       // for any other studied pattern
    // Where the compiled text holds the stop check's callout (see TldiRegExStopScope).
    int32_t StopCallOutAt = 0;
    // For searches in windows (see pcre_api::Search), kept when the pattern allows them: the
    // studied pattern compiled without the stop check, and compiled anchored, which settles a
    // single attempt on the JIT (it takes no anchoring at match time).
    TCompiledPtr Unchecked;
    TExtraPtr UncheckedExtra;
    TCompiledPtr Anchored;
    TExtraPtr AnchoredExtra;
    // Whose handler gets the pattern's own callouts; set while that object has a handler.
    TldiRegExBase* CallOutOwner = nullptr;
};

// While one lives on a thread, every match made on that thread checks `stop` as it goes (at
// each match attempt or each few kilobytes searched, each few megabytes of a plain-text search)
// and, once a stop is requested, ends by throwing EldiRegExStopped. Scopes nest; ending one
// restores the one around it.
class TldiRegExStopScope {
  public:
    explicit TldiRegExStopScope(std::stop_token stop);
    ~TldiRegExStopScope();
    TldiRegExStopScope(const TldiRegExStopScope&) = delete;
    TldiRegExStopScope& operator=(const TldiRegExStopScope&) = delete;

  private:
    std::stop_token fStop;
    const std::stop_token* fOuter;
};

// A match that ended on its thread's stop request; not an EldiRegExError, so a caller can tell
// a stop from a failure. Whatever the call had already produced is the caller's to drop.
struct EldiRegExStopped : std::exception {
    const char* what() const noexcept override;
};

// Called from a "(?C)" callout; result 0 continues, positive fails here, negative aborts.
using TPcreCallOutEvent = std::function<void(pcre_callout_block& block, int32_t& result)>;
// Supplies the value of custom token TokenIndex ("${name}") for one expansion.
using TldiRegExReplaceTokenEvent =
    std::function<void(TldiRegExBase& sender, int32_t tokenIndex, std::string& replacement)>;

class TldiRegExBase {
  public:
    TldiRegExBase();
    virtual ~TldiRegExBase();
    TldiRegExBase(const TldiRegExBase&) = delete;
    TldiRegExBase& operator=(const TldiRegExBase&) = delete;

    // Frees every compiled pattern and empties the table.
    virtual void ClearPatterns();
    // Default compile options [coIgnoreCase, coDotMatchesAll], studied, English, no match options.
    virtual void InitDefaults();
    virtual const char* ClassName() const { return "TldiRegExBase"; }

    // Frees the slot; its ID is reused first by the next compile. Raises 8 for an unknown ID.
    void RemovePattern(int32_t patternID);

    // Fills results with every match from startOffset on; returns true when there is one.
    // After an empty match the search retries non-empty at the same place, then moves on, so
    // every match is reported once, in order. Raises 4, 7, 8, 13 or an execution error.
    bool Matches(int32_t patternID, const char* target, uint32_t targetLength, uint32_t startOffset,
                 TMatchOptions options, TMatchCollection& results);
    // The same matches handed to `found` one at a time as they are found, none kept (a file
    // with millions of them needs no list); returns how many there were.
    using TMatchFound = std::function<void(TMatchResult& match)>;
    size_t ForEachMatch(int32_t patternID, const char* target, uint32_t targetLength,
                        uint32_t startOffset, TMatchOptions options, const TMatchFound& found);
    // Pieces of the target between non-empty matches, with the text of each group between them.
    // A limit > 0 stops after that many matches; < 0 means no limit.
    void SplitToArray(int32_t patternID, const char* target, uint32_t targetLength,
                      uint32_t startOffset, int32_t limit, std::vector<std::string>& pieces);
    // Output = target from startAt (1-based) with up to maxReplacements (< 0: all) non-empty
    // matches replaced by the expanded template. Raises 14 for startAt < 1, 25 for a bad template.
    void Replace(int32_t patternID, const std::string& target, const std::string& replaceTemplate,
                 int32_t maxReplacements, int32_t startAt, std::string& output);

    TPatternOptions DefaultPatternOptions() const;
    void SetDefaultPatternOptions(TPatternOptions options);
    TMatchOptions DefaultMatchOptions() const;
    void SetDefaultMatchOptions(TMatchOptions options);
    TPatternLanguage DefaultLanguage() const { return fDefaultLanguage; }
    // Comma-separated names of the custom tokens; each name's index is its position.
    const std::string& CustomTokens() const { return fCustomTokensText; }
    void SetCustomTokens(const std::string& text);
    void SetOnCallOut(TPcreCallOutEvent handler);
    void SetOnReplaceCustomToken(TldiRegExReplaceTokenEvent handler);
    static std::string Version();

    uint32_t DefaultMatchLimit = kDefaultMatchLimit; // applies to patterns compiled afterwards

    // Read access for the layer's own tests and diagnostics.
    int32_t SlotsUsed() const { return fSlotsUsed; }
    int32_t GroupOffsetVectorSize() const { return fGroupOffsetVectorSize; }
    const TRegExPattern* PatternEntry(int32_t patternID) const;

  protected:
    // Compiles into the table (reusing a freed ID first); returns the status, never raises.
    bool CompileIntoTable(const std::string& pattern, int32_t flags, bool study,
                          TPatternLanguage language, TPatternStatus& status);
    // One search from startOffset; raises every error other than "no match".
    bool GetMatch(int32_t patternID, const char* target, TMatchResult& result,
                  TRegExMethod callingMethod, bool capture, int32_t flags, uint32_t startOffset,
                  uint32_t targetLength);
    // The lock around the table; only the shared static instance has one.
    virtual std::unique_lock<std::mutex> LockTable() const { return {}; }
    int32_t DefaultCompileFlags() const { return fDefaultCompileFlags; }
    bool DefaultStudy() const { return fDefaultStudy; }
    // Index of a custom token (letter case ignored), or -1.
    int32_t CustomTokenIndex(const std::string& name) const;
    std::string CustomTokenName(int32_t index) const;

  private:
    friend struct TRegExInternals;
    struct TEntryView;
    TEntryView ValidatedEntry(int32_t patternID, TRegExMethod method, TRegExMethod called,
                              bool withClass, bool requireCompiled = true) const;
    void CompileForWindows(TRegExPattern& entry);
    void ApplyExtraSettings(TRegExPattern& entry);
    size_t LiteralMatches(int32_t patternID, const TEntryView& entry, const char* target,
                          uint32_t targetLength, uint32_t startOffset, int32_t flags, bool capture,
                          const TMatchFound& found) const;
    size_t RunBoundMatches(int32_t patternID, const TEntryView& entry, const char* target,
                           uint32_t targetLength, uint32_t startOffset, int32_t flags, bool capture,
                           const TMatchFound& found);
    size_t EngineMatches(int32_t patternID, const TEntryView& entry, const char* target,
                         uint32_t targetLength, uint32_t startOffset, int32_t flags, bool capture,
                         const TMatchFound& found);
    void MatchAndReplace(int32_t patternID, const char* target, std::string& output,
                         uint32_t startOffset, int32_t maxReplacements,
                         const std::string& replaceTemplate, uint32_t targetLength);
    void AppendReplacement(const std::string& tokens, const TEntryView& entry, const char* target,
                           const int* ovector, int rc, std::string& output);

    int32_t fDefaultCompileFlags = 0;
    bool fDefaultStudy = true;
    TPatternLanguage fDefaultLanguage = laEnglish;
    int32_t fDefaultMatchFlags = 0;
    bool fDefaultCapture = true;
    int32_t fLastSerial = 0;
    std::vector<std::unique_ptr<TRegExPattern>> fPatterns;
    int32_t fSlotsUsed = 0;
    std::vector<int32_t> fFreeIDs;
    int32_t fLargestCaptureCount = 0;
    int32_t fGroupOffsetVectorSize = 3;
    TPcreCallOutEvent fOnCallOut;
    TldiRegExReplaceTokenEvent fOnReplaceCustomToken;
    std::string fCustomTokensText;
    std::vector<std::pair<std::string, int32_t>> fCustomTokenList; // sorted, case-insensitive
};

// Adds the pattern cache: key (text, flags, study, language) -> pattern ID, never evicted.
class TldiRegEx : public TldiRegExBase {
  public:
    TldiRegEx();
    void ClearPatterns() override;
    const char* ClassName() const override { return "TldiRegEx"; }

    int32_t PatternCacheMaxCount() const { return fPatternCacheMaxCount; }
    // Negative becomes 0. Raising from 0 or lowering empties the table and the cache.
    void SetPatternCacheMaxCount(int32_t count);
    // The exact cache key: text + decimal flags + "-1"/"0" for study + the language ordinal byte.
    static std::string CacheKey(const std::string& pattern, int32_t flags, bool study,
                                TPatternLanguage language);

  protected:
    int32_t CachedPatternID(const std::string& pattern, TPatternOptions options,
                            TPatternStatus& status, TPatternLanguage language);

  private:
    int32_t fPatternCacheMaxCount = 0;
    std::unordered_map<std::string, int32_t> fCache;
};

// The shared instance's class: cache lookups and compiles run under its lock.
class TldiRegExStatic : public TldiRegEx {
  public:
    const char* ClassName() const override { return "TldiRegExStatic"; }
    // Returns the cached or newly compiled pattern's ID, or -1 with the status filled
    // (code 10 when the table is full).
    int32_t GetCachedPatternID(const std::string& pattern, TPatternOptions options,
                               TPatternStatus& status, TPatternLanguage language);

  protected:
    std::unique_lock<std::mutex> LockTable() const override { return std::unique_lock(fLock); }

  private:
    mutable std::mutex fLock;
};

// The main window's object: patterns are added with the object's defaults.
class TldiRegExMulti : public TldiRegExBase {
  public:
    const char* ClassName() const override { return "TldiRegExMulti"; }
    // Compiles with the default options; false and ID -1 with the status filled on failure.
    bool AddPattern(const std::string& pattern, int32_t& patternID, TPatternStatus& status);
};

// Compiles outside any table. On success the caller owns both blocks; on failure both are
// null and the status carries PatternID -1.
bool CompileStandalone(const std::string& pattern, int32_t flags, bool study,
                       TPatternLanguage language, TCompiledPtr& compiled, TExtraPtr& extra,
                       TPatternStatus& status);

// ---- Unit level: the shared cached instance and its conveniences ----------------------------

// The shared instance (cache of 100 patterns) used by Match and Split.
TldiRegExStatic& RegExStatic();
extern const TPatternOptions DefaultStaticPatternOptions; // [coIgnoreCase, coDotMatchesAll]

// First match of pattern in target (case-insensitive, "." matches line ends). Raises the
// compile status as an error from "Match". bypassCache compiles a throw-away pattern.
bool Match(const std::string& pattern, const std::string& target, bool bypassCache,
           TMatchResult& result);
// The result points into the target, so a temporary target is refused at compile time.
bool Match(const std::string& pattern, std::string&& target, bool bypassCache,
           TMatchResult& result) = delete;
// The pieces of target around the non-empty matches of pattern (see SplitToArray).
void Split(const std::string& pattern, const std::string& target, bool bypassCache,
           std::vector<std::string>& pieces);
// The text of group n of a match (empty when the group did not take part). Raises 11.
void GroupValue(const TMatchResult& result, int32_t groupNumber, std::string& value);
void ClearMatchResult(TMatchResult& result);
void ClearMatchCollection(TMatchCollection& results);
inline int32_t MatchCount(const TMatchCollection& results) {
    return static_cast<int32_t>(results.size());
}

// ---- Character tables by language ----------------------------------------------------------

// "English", "User Locale", "French", "German", else "Unknown Language".
std::string LanguageName(TPatternLanguage language);
// Tables for the language (null for English). Built once and kept; on failure null with a
// non-zero platform error code, and the next call tries again.
const unsigned char* GetLanguageTables(TPatternLanguage language, int32_t& errorCode);

} // namespace kes
