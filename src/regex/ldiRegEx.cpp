// Pattern table, compiling and studying, options, callouts, custom tokens and the cache.
#include "regex/ldiRegExInternals.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>
#include <utility>

namespace kes {

namespace {

struct TOptionFlag {
    uint8_t Option;
    int32_t Flag;
};

constexpr std::array<TOptionFlag, 11> kPatternFlags = {{
    {coIgnoreCase, PCRE_CASELESS},
    {coMultiline, PCRE_MULTILINE},
    {coDotMatchesAll, PCRE_DOTALL},
    {coIgnorePatternWhiteSpace, PCRE_EXTENDED},
    {coAnchored, PCRE_ANCHORED},
    {coDollarEndOnly, PCRE_DOLLAR_ENDONLY},
    {coExtra, PCRE_EXTRA},
    {coUnGreedy, PCRE_UNGREEDY},
    {coUtf8, PCRE_UTF8},
    {coExplicitCapture, PCRE_NO_AUTO_CAPTURE},
    {coNoUtf8Check, PCRE_NO_UTF8_CHECK},
}};

constexpr std::array<TOptionFlag, 5> kMatchFlags = {{
    {moAnchored, PCRE_ANCHORED},
    {moNotBol, PCRE_NOTBOL},
    {moNotEol, PCRE_NOTEOL},
    {moNotEmpty, PCRE_NOTEMPTY},
    {moNoUtf8Check, PCRE_NO_UTF8_CHECK},
}};

constexpr int32_t kInitialCompileFlags = PCRE_CASELESS | PCRE_DOTALL;
constexpr int32_t kTableGrowth = 20;

template <typename E, size_t N>
int32_t ToFlags(TSet<E> options, const std::array<TOptionFlag, N>& table) {
    int32_t flags = 0;
    for (const auto& entry : table)
        if (options.Contains(static_cast<E>(entry.Option)))
            flags |= entry.Flag;
    return flags;
}

template <typename E, size_t N>
TSet<E> FromFlags(int32_t flags, const std::array<TOptionFlag, N>& table) {
    TSet<E> options;
    for (const auto& entry : table)
        if ((flags & entry.Flag) != 0)
            options.Include(static_cast<E>(entry.Option));
    return options;
}

// The process-wide callout hook stays installed while any object has a handler.
std::mutex gCallOutLock;
int gCallOutHandlers = 0;

void CountCallOutHandler(int delta) {
    std::lock_guard lock(gCallOutLock);
    gCallOutHandlers += delta;
    pcre_callout = gCallOutHandlers > 0 ? &TRegExInternals::CallOut : nullptr;
}

bool ExtraCarriesData(const pcre_extra& extra) {
    constexpr unsigned long kData = PCRE_EXTRA_STUDY_DATA | PCRE_EXTRA_MATCH_LIMIT |
                                    PCRE_EXTRA_CALLOUT_DATA | PCRE_EXTRA_EXECUTABLE_JIT;
    return (extra.flags & kData) != 0;
}

int CompareNoCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string Trim(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

void FailStatus(TPatternStatus& status, TRegExError code, std::string text, int32_t offset) {
    status.StatusCode = code;
    status.ErrorText = std::move(text);
    status.ErrorOffset = offset;
    status.ErrorMessage = RegExStatusMessage(code, {status.ErrorText, int64_t{offset}});
}

// Tables, compile and study: the steps a table compile and a standalone compile share.
bool CompileAndStudy(const std::string& pattern, int32_t flags, bool study,
                     TPatternLanguage language, TCompiledPtr& compiled, TExtraPtr& extra,
                     TPatternStatus& status) {
    int32_t localeError = 0;
    const unsigned char* tables = GetLanguageTables(language, localeError);
    if (localeError != 0) {
        FailStatus(status, reLocaleUnavailable, LanguageName(language), 0);
        return false;
    }
    const char* errorText = nullptr;
    int errorOffset = 0;
    compiled.reset(pcre_compile(pattern.c_str(), flags, &errorText, &errorOffset, tables));
    status.ErrorOffset = errorOffset;
    if (!compiled) {
        FailStatus(status, rePatternError, errorText != nullptr ? errorText : "", errorOffset);
        return false;
    }
    if (study) {
        extra = pcre_api::Study(compiled.get(),
                                pcre_api::JitGivesExactResults(pattern, compiled.get()), errorText);
        if (errorText != nullptr) {
            FailStatus(status, reStudyError, errorText, errorOffset);
            return false;
        }
    }
    return true;
}

} // namespace

int32_t PatternOptionsToFlags(TPatternOptions options) {
    return ToFlags(options, kPatternFlags);
}

TPatternOptions FlagsToPatternOptions(int32_t flags, bool study) {
    auto options = FromFlags<TPatternOption>(flags, kPatternFlags);
    if (!study)
        options.Include(coNoStudy);
    return options;
}

int32_t MatchOptionsToFlags(TMatchOptions options) {
    return ToFlags(options, kMatchFlags);
}

TMatchOptions FlagsToMatchOptions(int32_t flags, bool capture) {
    auto options = FromFlags<TMatchOption>(flags, kMatchFlags);
    if (!capture)
        options.Include(moNoCapturing);
    return options;
}

int TRegExInternals::CallOut(pcre_callout_block* block) {
    if (block == nullptr || block->callout_data == nullptr)
        return 0;
    auto* owner = static_cast<TldiRegExBase*>(block->callout_data);
    int32_t result = 0;
    if (owner->fOnCallOut)
        owner->fOnCallOut(*block, result);
    return result;
}

// ---- TldiRegExBase ---------------------------------------------------------------------------

TldiRegExBase::TldiRegExBase() {
    TldiRegExBase::InitDefaults();
    TldiRegExBase::ClearPatterns();
}

TldiRegExBase::~TldiRegExBase() {
    if (fOnCallOut)
        CountCallOutHandler(-1);
}

void TldiRegExBase::InitDefaults() {
    fDefaultCompileFlags = kInitialCompileFlags;
    fDefaultStudy = true;
    fDefaultLanguage = laEnglish;
    fDefaultMatchFlags = 0;
    fDefaultCapture = true;
    DefaultMatchLimit = kDefaultMatchLimit;
}

void TldiRegExBase::ClearPatterns() {
    fPatterns.clear();
    fSlotsUsed = 0;
    fFreeIDs.clear();
    fLargestCaptureCount = 0;
    fLastSerial = 0;
    fGroupOffsetVectorSize = 3;
}

const TRegExPattern* TldiRegExBase::PatternEntry(int32_t patternID) const {
    if (patternID < 0 || patternID >= fSlotsUsed)
        return nullptr;
    return fPatterns[static_cast<size_t>(patternID)].get();
}

void TldiRegExBase::RemovePattern(int32_t patternID) {
    if (patternID < 0 || patternID >= fSlotsUsed)
        RaiseClassError(reInvalidPatternID, rmRemovePattern, ClassName(), 0, {int64_t{patternID}});
    TRegExPattern& entry = *fPatterns[static_cast<size_t>(patternID)];
    entry.Pattern.clear();
    entry.Compiled.reset();
    entry.Extra.reset();
    entry.Serial = 0;
    fFreeIDs.push_back(patternID);
}

bool TldiRegExBase::CompileIntoTable(const std::string& pattern, int32_t flags, bool study,
                                     TPatternLanguage language, TPatternStatus& status) {
    status = TPatternStatus{};
    int32_t id = 0;
    if (fFreeIDs.empty()) {
        ++fSlotsUsed;
        while (static_cast<int32_t>(fPatterns.size()) < fSlotsUsed)
            for (int32_t i = 0; i < kTableGrowth; ++i)
                fPatterns.push_back(std::make_unique<TRegExPattern>());
        id = fSlotsUsed - 1;
    } else {
        id = fFreeIDs.back(); // the most recently freed ID first
        fFreeIDs.pop_back();
    }
    TRegExPattern& entry = *fPatterns[static_cast<size_t>(id)];
    entry.Pattern = pattern;
    entry.Compiled.reset();
    entry.Extra.reset();
    entry.CompileOptions = flags;
    entry.Study = study;
    entry.Language = language;
    entry.MatchLimit = DefaultMatchLimit;

    if (CompileAndStudy(pattern, flags, study, language, entry.Compiled, entry.Extra, status)) {
        ApplyExtraSettings(entry);
        entry.CaptureCount = pcre_api::CaptureCount(entry.Compiled.get());
        if (entry.CaptureCount > fLargestCaptureCount) {
            fLargestCaptureCount = entry.CaptureCount;
            fGroupOffsetVectorSize = (entry.CaptureCount + 1) * 3;
        }
        entry.Serial = ++fLastSerial;
        entry.Literals =
            study ? PlainLiterals(pattern, flags, language) : std::vector<std::string>();
        entry.LiteralCaseless = (flags & PCRE_CASELESS) != 0;
        if (study && entry.Literals.empty())
            entry.Required = PlanRequiredText(pattern, flags, language);
    }
    if (status.StatusCode != reNone) {
        RemovePattern(id);
        id = -1;
    }
    status.Success = status.StatusCode == reNone;
    status.PatternID = id;
    return status.Success;
}

void TldiRegExBase::ApplyExtraSettings(TRegExPattern& entry) {
    if (entry.MatchLimit == kDefaultMatchLimit && !fOnCallOut)
        return;
    if (!entry.Extra)
        entry.Extra = pcre_api::NewExtra();
    if (entry.MatchLimit != kDefaultMatchLimit) {
        entry.Extra->flags |= PCRE_EXTRA_MATCH_LIMIT;
        entry.Extra->match_limit = entry.MatchLimit;
    }
    if (fOnCallOut) {
        entry.Extra->flags |= PCRE_EXTRA_CALLOUT_DATA;
        entry.Extra->callout_data = this;
    }
}

TPatternOptions TldiRegExBase::DefaultPatternOptions() const {
    return FlagsToPatternOptions(fDefaultCompileFlags, fDefaultStudy);
}

void TldiRegExBase::SetDefaultPatternOptions(TPatternOptions options) {
    fDefaultCompileFlags = PatternOptionsToFlags(options);
    fDefaultStudy = !options.Contains(coNoStudy);
}

TMatchOptions TldiRegExBase::DefaultMatchOptions() const {
    return FlagsToMatchOptions(fDefaultMatchFlags, fDefaultCapture);
}

void TldiRegExBase::SetDefaultMatchOptions(TMatchOptions options) {
    fDefaultMatchFlags = MatchOptionsToFlags(options);
    fDefaultCapture = !options.Contains(moNoCapturing);
}

void TldiRegExBase::SetCustomTokens(const std::string& text) {
    fCustomTokensText = text;
    fCustomTokenList.clear();
    size_t start = 0;
    for (int32_t index = 0;; ++index) {
        const size_t comma = text.find(',', start);
        fCustomTokenList.emplace_back(Trim(text.substr(start, comma - start)), index);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (text.empty())
        fCustomTokenList.clear();
    std::stable_sort(
        fCustomTokenList.begin(), fCustomTokenList.end(),
        [](const auto& a, const auto& b) { return CompareNoCase(a.first, b.first) < 0; });
}

int32_t TldiRegExBase::CustomTokenIndex(const std::string& name) const {
    const auto it = std::lower_bound(fCustomTokenList.begin(), fCustomTokenList.end(), name,
                                     [](const auto& entry, const std::string& key) {
                                         return CompareNoCase(entry.first, key) < 0;
                                     });
    if (it == fCustomTokenList.end() || CompareNoCase(it->first, name) != 0)
        return -1;
    return it->second;
}

std::string TldiRegExBase::CustomTokenName(int32_t index) const {
    for (const auto& [name, tokenIndex] : fCustomTokenList)
        if (tokenIndex == index)
            return name;
    return {};
}

void TldiRegExBase::SetOnCallOut(TPcreCallOutEvent handler) {
    const bool had = static_cast<bool>(fOnCallOut);
    fOnCallOut = std::move(handler);
    const bool has = static_cast<bool>(fOnCallOut);
    for (int32_t id = 0; id < fSlotsUsed; ++id) {
        TRegExPattern& entry = *fPatterns[static_cast<size_t>(id)];
        if (!entry.Compiled)
            continue;
        if (has) {
            ApplyExtraSettings(entry);
        } else if (entry.Extra) {
            entry.Extra->flags &= ~static_cast<unsigned long>(PCRE_EXTRA_CALLOUT_DATA);
            entry.Extra->callout_data = nullptr;
            if (!ExtraCarriesData(*entry.Extra))
                entry.Extra.reset();
        }
    }
    if (had != has)
        CountCallOutHandler(has ? 1 : -1);
}

void TldiRegExBase::SetOnReplaceCustomToken(TldiRegExReplaceTokenEvent handler) {
    fOnReplaceCustomToken = std::move(handler);
}

std::string TldiRegExBase::Version() {
    return pcre_version();
}

// ---- TldiRegEx, TldiRegExStatic, TldiRegExMulti ----------------------------------------------

TldiRegEx::TldiRegEx() = default;

void TldiRegEx::ClearPatterns() {
    TldiRegExBase::ClearPatterns();
    fCache.clear();
}

void TldiRegEx::SetPatternCacheMaxCount(int32_t count) {
    auto lock = LockTable();
    count = std::max(count, 0);
    if ((fPatternCacheMaxCount == 0 && count > 0) || count < fPatternCacheMaxCount)
        ClearPatterns();
    fPatternCacheMaxCount = count;
}

std::string TldiRegEx::CacheKey(const std::string& pattern, int32_t flags, bool study,
                                TPatternLanguage language) {
    return pattern + std::to_string(flags) + (study ? "-1" : "0") +
           static_cast<char>(static_cast<uint8_t>(language));
}

int32_t TldiRegEx::CachedPatternID(const std::string& pattern, TPatternOptions options,
                                   TPatternStatus& status, TPatternLanguage language) {
    const int32_t flags = PatternOptionsToFlags(options);
    const bool study = !options.Contains(coNoStudy);
    std::string key = CacheKey(pattern, flags, study, language);
    if (const auto it = fCache.find(key); it != fCache.end()) {
        status = TPatternStatus{true, it->second, reNone, {}, {}, 0};
        return it->second;
    }
    if (SlotsUsed() >= fPatternCacheMaxCount) {
        status = TPatternStatus{false, -1, reCacheFull, {}, {}, 0};
        return -1;
    }
    if (CompileIntoTable(pattern, flags, study, language, status))
        fCache.emplace(std::move(key), status.PatternID);
    return status.PatternID;
}

int32_t TldiRegExStatic::GetCachedPatternID(const std::string& pattern, TPatternOptions options,
                                            TPatternStatus& status, TPatternLanguage language) {
    auto lock = LockTable();
    return CachedPatternID(pattern, options, status, language);
}

bool TldiRegExMulti::AddPattern(const std::string& pattern, int32_t& patternID,
                                TPatternStatus& status) {
    CompileIntoTable(pattern, DefaultCompileFlags(), DefaultStudy(), DefaultLanguage(), status);
    patternID = status.PatternID;
    return status.Success;
}

bool CompileStandalone(const std::string& pattern, int32_t flags, bool study,
                       TPatternLanguage language, TCompiledPtr& compiled, TExtraPtr& extra,
                       TPatternStatus& status) {
    status = TPatternStatus{};
    compiled.reset();
    extra.reset();
    if (!CompileAndStudy(pattern, flags, study, language, compiled, extra, status)) {
        compiled.reset();
        extra.reset();
    }
    status.Success = status.StatusCode == reNone;
    status.PatternID = -1;
    return status.Success;
}

// ---- the shared instance -----------------------------------------------------------------------

const TPatternOptions DefaultStaticPatternOptions = {coIgnoreCase, coDotMatchesAll};

TldiRegExStatic& RegExStatic() {
    static TldiRegExStatic* instance = [] {
        static TldiRegExStatic shared;
        shared.SetDefaultPatternOptions(DefaultStaticPatternOptions);
        shared.SetPatternCacheMaxCount(100);
        return &shared;
    }();
    return *instance;
}

} // namespace kes
