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

// Every compiled pattern calls out (the stop check), so the hook is installed before the first
// compile and stays.
void InstallCallOut() {
    static std::once_flag once;
    std::call_once(once, [] { pcre_callout = &TRegExInternals::CallOut; });
}

void LimitMatches(pcre_extra& extra, uint32_t limit) {
    extra.flags |= PCRE_EXTRA_MATCH_LIMIT;
    extra.match_limit = limit;
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

// The forms a pattern is compiled in: the one every search can use, and the two that serve
// searches in windows (see pcre_api::Search).
enum class TCodeKind : uint8_t { Checked, Unchecked, Anchored };

// Tables, compile and study: the steps a table compile and a standalone compile share. Checked
// code holds the stop callout at stopCallOutAt (set here); what the library reports is still
// the pattern's own (offsets included).
bool CompileAndStudy(const std::string& pattern, int32_t flags, bool study,
                     TPatternLanguage language, TCodeKind kind, TCompiledPtr& compiled,
                     TExtraPtr& extra, TPatternStatus& status, size_t& stopCallOutAt) {
    const bool stopCheck = kind == TCodeKind::Checked;
    flags |= kind == TCodeKind::Anchored ? PCRE_ANCHORED : 0;
    int32_t localeError = 0;
    const unsigned char* tables = GetLanguageTables(language, localeError);
    if (localeError != 0) {
        FailStatus(status, reLocaleUnavailable, LanguageName(language), 0);
        return false;
    }
    InstallCallOut();
    const std::string_view text = pattern.c_str(); // the library reads up to the first NUL
    stopCallOutAt = pcre_api::LeadingVerbsLength(text);
    const std::string compiledText =
        stopCheck ? pcre_api::WithStopCallOut(text, stopCallOutAt) : std::string(text);
    const char* errorText = nullptr;
    int errorOffset = 0;
    compiled.reset(pcre_compile(compiledText.c_str(), flags, &errorText, &errorOffset, tables));
    if (stopCheck)
        errorOffset = pcre_api::PatternOffset(errorOffset, stopCallOutAt);
    status.ErrorOffset = errorOffset;
    if (!compiled) {
        FailStatus(status, rePatternError, errorText != nullptr ? errorText : "", errorOffset);
        return false;
    }
    if (study) {
        extra =
            pcre_api::Study(compiled.get(), pcre_api::JitGivesExactResults(pattern, compiled.get()),
                            errorText, kind == TCodeKind::Unchecked);
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
    if (pcre_api::StopRequested())
        return pcre_api::kStopped;
    if (block == nullptr || block->callout_data == nullptr)
        return 0;
    const auto& entry = *static_cast<const TRegExPattern*>(block->callout_data);
    TldiRegExBase* owner = entry.CallOutOwner;
    const auto at = static_cast<size_t>(entry.StopCallOutAt);
    if (owner == nullptr || !owner->fOnCallOut || pcre_api::IsStopCallOut(*block, at))
        return 0;
    // The handler sees positions in the pattern as written.
    pcre_callout_block own = *block;
    own.pattern_position = pcre_api::PatternOffset(own.pattern_position, at);
    int32_t result = 0;
    owner->fOnCallOut(own, result);
    return result;
}

// ---- TldiRegExBase ---------------------------------------------------------------------------

TldiRegExBase::TldiRegExBase() {
    TldiRegExBase::InitDefaults();
    TldiRegExBase::ClearPatterns();
}

TldiRegExBase::~TldiRegExBase() = default;

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
    entry.Unchecked.reset();
    entry.UncheckedExtra.reset();
    entry.Anchored.reset();
    entry.AnchoredExtra.reset();
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
    entry.Unchecked.reset();
    entry.UncheckedExtra.reset();
    entry.Anchored.reset();
    entry.AnchoredExtra.reset();
    entry.Required = TRequiredText{};
    entry.CallOutOwner = nullptr;
    entry.CompileOptions = flags;
    entry.Study = study;
    entry.Language = language;
    entry.MatchLimit = DefaultMatchLimit;

    size_t stopCallOutAt = 0;
    if (CompileAndStudy(pattern, flags, study, language, TCodeKind::Checked, entry.Compiled,
                        entry.Extra, status, stopCallOutAt)) {
        entry.StopCallOutAt = static_cast<int32_t>(stopCallOutAt);
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
        if (study && pcre_api::SearchesInWindows(pattern.c_str()))
            CompileForWindows(entry);
        ApplyExtraSettings(entry);
    }
    if (status.StatusCode != reNone) {
        RemovePattern(id);
        id = -1;
    }
    status.Success = status.StatusCode == reNone;
    status.PatternID = id;
    return status.Success;
}

void TldiRegExBase::CompileForWindows(TRegExPattern& entry) {
    TPatternStatus status;
    size_t unused = 0;
    const auto compile = [&](TCodeKind kind, TCompiledPtr& compiled, TExtraPtr& extra) {
        return CompileAndStudy(entry.Pattern, entry.CompileOptions, true, entry.Language, kind,
                               compiled, extra, status, unused);
    };
    if (!compile(TCodeKind::Unchecked, entry.Unchecked, entry.UncheckedExtra) ||
        !compile(TCodeKind::Anchored, entry.Anchored, entry.AnchoredExtra)) {
        entry.Unchecked.reset(); // not expected: the same text compiled just before
        entry.UncheckedExtra.reset();
        entry.Anchored.reset();
        entry.AnchoredExtra.reset();
    }
}

void TldiRegExBase::ApplyExtraSettings(TRegExPattern& entry) {
    if (entry.MatchLimit == kDefaultMatchLimit && !fOnCallOut)
        return;
    if (!entry.Extra)
        entry.Extra = pcre_api::NewExtra();
    if (entry.MatchLimit != kDefaultMatchLimit) {
        LimitMatches(*entry.Extra, entry.MatchLimit);
        for (auto* extra : {&entry.UncheckedExtra, &entry.AnchoredExtra}) {
            if (entry.Unchecked && !*extra)
                *extra = pcre_api::NewExtra();
            if (*extra)
                LimitMatches(**extra, entry.MatchLimit);
        }
    }
    if (fOnCallOut) {
        entry.CallOutOwner = this;
        entry.Extra->flags |= PCRE_EXTRA_CALLOUT_DATA;
        entry.Extra->callout_data = &entry;
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
    fOnCallOut = std::move(handler);
    const bool has = static_cast<bool>(fOnCallOut);
    for (int32_t id = 0; id < fSlotsUsed; ++id) {
        TRegExPattern& entry = *fPatterns[static_cast<size_t>(id)];
        if (!entry.Compiled)
            continue;
        if (has) {
            ApplyExtraSettings(entry);
        } else if (entry.Extra) {
            entry.CallOutOwner = nullptr;
            entry.Extra->flags &= ~static_cast<unsigned long>(PCRE_EXTRA_CALLOUT_DATA);
            entry.Extra->callout_data = nullptr;
            if (!ExtraCarriesData(*entry.Extra))
                entry.Extra.reset();
        }
    }
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
    size_t stopCallOutAt = 0;
    if (!CompileAndStudy(pattern, flags, study, language, TCodeKind::Checked, compiled, extra,
                         status, stopCallOutAt)) {
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
