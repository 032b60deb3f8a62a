// Pattern table, compiling and studying, options, callouts, custom tokens and the cache.
#include "internal/pattern_internals.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>
#include <utility>

namespace kestrava::regex {

namespace {

struct OptionFlag {
    uint8_t option;
    int32_t flag;
};

constexpr std::array<OptionFlag, 11> kPatternFlags = {{
    {static_cast<uint8_t>(PatternOption::IgnoreCase), PCRE_CASELESS},
    {static_cast<uint8_t>(PatternOption::Multiline), PCRE_MULTILINE},
    {static_cast<uint8_t>(PatternOption::DotMatchesAll), PCRE_DOTALL},
    {static_cast<uint8_t>(PatternOption::IgnorePatternWhiteSpace), PCRE_EXTENDED},
    {static_cast<uint8_t>(PatternOption::Anchored), PCRE_ANCHORED},
    {static_cast<uint8_t>(PatternOption::DollarEndOnly), PCRE_DOLLAR_ENDONLY},
    {static_cast<uint8_t>(PatternOption::Extra), PCRE_EXTRA},
    {static_cast<uint8_t>(PatternOption::UnGreedy), PCRE_UNGREEDY},
    {static_cast<uint8_t>(PatternOption::Utf8), PCRE_UTF8},
    {static_cast<uint8_t>(PatternOption::ExplicitCapture), PCRE_NO_AUTO_CAPTURE},
    {static_cast<uint8_t>(PatternOption::NoUtf8Check), PCRE_NO_UTF8_CHECK},
}};

constexpr std::array<OptionFlag, 5> kMatchFlags = {{
    {static_cast<uint8_t>(MatchOption::Anchored), PCRE_ANCHORED},
    {static_cast<uint8_t>(MatchOption::NotBol), PCRE_NOTBOL},
    {static_cast<uint8_t>(MatchOption::NotEol), PCRE_NOTEOL},
    {static_cast<uint8_t>(MatchOption::NotEmpty), PCRE_NOTEMPTY},
    {static_cast<uint8_t>(MatchOption::NoUtf8Check), PCRE_NO_UTF8_CHECK},
}};

constexpr int32_t kInitialCompileFlags = PCRE_CASELESS | PCRE_DOTALL;
constexpr int32_t kTableGrowth = 20;

template <typename E, size_t N>
int32_t toFlags(Set<E> options, const std::array<OptionFlag, N>& table) {
    int32_t flags = 0;
    for (const auto& entry : table)
        if (options.contains(static_cast<E>(entry.option)))
            flags |= entry.flag;
    return flags;
}

template <typename E, size_t N>
Set<E> fromFlags(int32_t flags, const std::array<OptionFlag, N>& table) {
    Set<E> options;
    for (const auto& entry : table)
        if ((flags & entry.flag) != 0)
            options.include(static_cast<E>(entry.option));
    return options;
}

// Every compiled pattern calls out (the stop check), so the hook is installed before the first
// compile and stays.
void installCallOut() {
    static std::once_flag once;
    std::call_once(once, [] { pcre_callout = &RegexInternals::callOut; });
}

void limitMatches(pcre_extra& extra, uint32_t limit) {
    extra.flags |= PCRE_EXTRA_MATCH_LIMIT;
    extra.match_limit = limit;
}

bool extraCarriesData(const pcre_extra& extra) {
    constexpr unsigned long kData = PCRE_EXTRA_STUDY_DATA | PCRE_EXTRA_MATCH_LIMIT |
                                    PCRE_EXTRA_CALLOUT_DATA | PCRE_EXTRA_EXECUTABLE_JIT;
    return (extra.flags & kData) != 0;
}

int compareNoCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string trim(const std::string& text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

void failStatus(PatternStatus& status, RegexErrorCode code, std::string text, int32_t offset) {
    status.statusCode = code;
    status.errorText = std::move(text);
    status.errorOffset = offset;
    status.errorMessage = regExStatusMessage(code, {status.errorText, int64_t{offset}});
}

// The forms a pattern is compiled in: the one every search can use, and the two that serve
// searches in windows (see pcre_api::Search).
enum class CodeKind : uint8_t { Checked, Unchecked, Anchored };

// Tables, compile and study: the steps a table compile and a standalone compile share. Checked
// code holds the stop callout at stopCallOutAt (set here); what the library reports is still
// the pattern's own (offsets included).
bool compileAndStudy(const std::string& pattern, int32_t flags, bool study,
                     PatternLanguage language, CodeKind kind, CompiledPtr& compiled,
                     ExtraPtr& extra, PatternStatus& status, size_t& stopCallOutAt) {
    const bool stopCheck = kind == CodeKind::Checked;
    flags |= kind == CodeKind::Anchored ? PCRE_ANCHORED : 0;
    int32_t localeError = 0;
    const unsigned char* tables = getLanguageTables(language, localeError);
    if (localeError != 0) {
        failStatus(status, RegexErrorCode::LocaleUnavailable, languageName(language), 0);
        return false;
    }
    installCallOut();
    const std::string_view text = pattern.c_str(); // the library reads up to the first NUL
    stopCallOutAt = pcre_api::leadingVerbsLength(text);
    const std::string compiledText =
        stopCheck ? pcre_api::withStopCallOut(text, stopCallOutAt) : std::string(text);
    const char* errorText = nullptr;
    int errorOffset = 0;
    compiled.reset(pcre_compile(compiledText.c_str(), flags, &errorText, &errorOffset, tables));
    if (stopCheck)
        errorOffset = pcre_api::patternOffset(errorOffset, stopCallOutAt);
    status.errorOffset = errorOffset;
    if (!compiled) {
        failStatus(status, RegexErrorCode::PatternError, errorText != nullptr ? errorText : "",
                   errorOffset);
        return false;
    }
    if (study) {
        extra =
            pcre_api::study(compiled.get(), pcre_api::jitGivesExactResults(pattern, compiled.get()),
                            errorText, kind == CodeKind::Unchecked);
        if (errorText != nullptr) {
            failStatus(status, RegexErrorCode::StudyError, errorText, errorOffset);
            return false;
        }
    }
    return true;
}

} // namespace

int32_t patternOptionsToFlags(PatternOptions options) {
    return toFlags(options, kPatternFlags);
}

PatternOptions flagsToPatternOptions(int32_t flags, bool study) {
    auto options = fromFlags<PatternOption>(flags, kPatternFlags);
    if (!study)
        options.include(PatternOption::NoStudy);
    return options;
}

int32_t matchOptionsToFlags(MatchOptions options) {
    return toFlags(options, kMatchFlags);
}

MatchOptions flagsToMatchOptions(int32_t flags, bool capture) {
    auto options = fromFlags<MatchOption>(flags, kMatchFlags);
    if (!capture)
        options.include(MatchOption::NoCapturing);
    return options;
}

int RegexInternals::callOut(pcre_callout_block* block) {
    if (pcre_api::stopRequested())
        return pcre_api::kStopped;
    if (block == nullptr || block->callout_data == nullptr)
        return 0;
    const auto& entry = *static_cast<const Pattern*>(block->callout_data);
    PatternTable* owner = entry.callOutOwner;
    const auto at = static_cast<size_t>(entry.stopCallOutAt);
    if (owner == nullptr || !owner->m_onCallOut || pcre_api::isStopCallOut(*block, at))
        return 0;
    // The handler sees positions in the pattern as written.
    pcre_callout_block own = *block;
    own.pattern_position = pcre_api::patternOffset(own.pattern_position, at);
    int32_t result = 0;
    owner->m_onCallOut(own, result);
    return result;
}

// ---- PatternTable ---------------------------------------------------------------------------

PatternTable::PatternTable() {
    PatternTable::initDefaults();
    PatternTable::clearPatterns();
}

PatternTable::~PatternTable() = default;

void PatternTable::initDefaults() {
    m_defaultCompileFlags = kInitialCompileFlags;
    m_defaultStudy = true;
    m_defaultLanguage = PatternLanguage::English;
    m_defaultMatchFlags = 0;
    m_defaultCapture = true;
    defaultMatchLimit = kDefaultMatchLimit;
}

void PatternTable::clearPatterns() {
    m_patterns.clear();
    m_slotsUsed = 0;
    m_freeIDs.clear();
    m_largestCaptureCount = 0;
    m_lastSerial = 0;
    m_groupOffsetVectorSize = 3;
}

const Pattern* PatternTable::patternEntry(int32_t patternID) const {
    if (patternID < 0 || patternID >= m_slotsUsed)
        return nullptr;
    return m_patterns[static_cast<size_t>(patternID)].get();
}

void PatternTable::removePattern(int32_t patternID) {
    if (patternID < 0 || patternID >= m_slotsUsed)
        raiseClassError(RegexErrorCode::InvalidPatternID, RegexOperation::RemovePattern,
                        className(), 0, {int64_t{patternID}});
    Pattern& entry = *m_patterns[static_cast<size_t>(patternID)];
    entry.pattern.clear();
    entry.compiled.reset();
    entry.extra.reset();
    entry.unchecked.reset();
    entry.uncheckedExtra.reset();
    entry.anchored.reset();
    entry.anchoredExtra.reset();
    entry.serial = 0;
    m_freeIDs.push_back(patternID);
}

bool PatternTable::compileIntoTable(const std::string& pattern, int32_t flags, bool study,
                                    PatternLanguage language, PatternStatus& status) {
    status = PatternStatus{};
    int32_t id = 0;
    if (m_freeIDs.empty()) {
        ++m_slotsUsed;
        while (static_cast<int32_t>(m_patterns.size()) < m_slotsUsed)
            for (int32_t i = 0; i < kTableGrowth; ++i)
                m_patterns.push_back(std::make_unique<Pattern>());
        id = m_slotsUsed - 1;
    } else {
        id = m_freeIDs.back(); // the most recently freed ID first
        m_freeIDs.pop_back();
    }
    Pattern& entry = *m_patterns[static_cast<size_t>(id)];
    entry.pattern = pattern;
    entry.compiled.reset();
    entry.extra.reset();
    entry.unchecked.reset();
    entry.uncheckedExtra.reset();
    entry.anchored.reset();
    entry.anchoredExtra.reset();
    entry.required = RequiredText{};
    entry.callOutOwner = nullptr;
    entry.compileOptions = flags;
    entry.study = study;
    entry.language = language;
    entry.matchLimit = defaultMatchLimit;

    size_t stopCallOutAt = 0;
    if (compileAndStudy(pattern, flags, study, language, CodeKind::Checked, entry.compiled,
                        entry.extra, status, stopCallOutAt)) {
        entry.stopCallOutAt = static_cast<int32_t>(stopCallOutAt);
        entry.captureCount = pcre_api::captureCount(entry.compiled.get());
        if (entry.captureCount > m_largestCaptureCount) {
            m_largestCaptureCount = entry.captureCount;
            m_groupOffsetVectorSize = (entry.captureCount + 1) * 3;
        }
        entry.serial = ++m_lastSerial;
        entry.literals =
            study ? plainLiterals(pattern, flags, language) : std::vector<std::string>();
        entry.literalCaseless = (flags & PCRE_CASELESS) != 0;
        if (study && entry.literals.empty())
            entry.required = planRequiredText(pattern, flags, language);
        if (study && pcre_api::searchesInWindows(pattern.c_str()))
            compileForWindows(entry);
        applyExtraSettings(entry);
    }
    if (status.statusCode != RegexErrorCode::None) {
        removePattern(id);
        id = -1;
    }
    status.success = status.statusCode == RegexErrorCode::None;
    status.patternID = id;
    return status.success;
}

void PatternTable::compileForWindows(Pattern& entry) {
    PatternStatus status;
    size_t unused = 0;
    const auto compile = [&](CodeKind kind, CompiledPtr& compiled, ExtraPtr& extra) {
        return compileAndStudy(entry.pattern, entry.compileOptions, true, entry.language, kind,
                               compiled, extra, status, unused);
    };
    if (!compile(CodeKind::Unchecked, entry.unchecked, entry.uncheckedExtra) ||
        !compile(CodeKind::Anchored, entry.anchored, entry.anchoredExtra)) {
        entry.unchecked.reset(); // not expected: the same text compiled just before
        entry.uncheckedExtra.reset();
        entry.anchored.reset();
        entry.anchoredExtra.reset();
    }
}

void PatternTable::applyExtraSettings(Pattern& entry) {
    if (entry.matchLimit == kDefaultMatchLimit && !m_onCallOut)
        return;
    if (!entry.extra)
        entry.extra = pcre_api::newExtra();
    if (entry.matchLimit != kDefaultMatchLimit) {
        limitMatches(*entry.extra, entry.matchLimit);
        for (auto* extra : {&entry.uncheckedExtra, &entry.anchoredExtra}) {
            if (entry.unchecked && !*extra)
                *extra = pcre_api::newExtra();
            if (*extra)
                limitMatches(**extra, entry.matchLimit);
        }
    }
    if (m_onCallOut) {
        entry.callOutOwner = this;
        entry.extra->flags |= PCRE_EXTRA_CALLOUT_DATA;
        entry.extra->callout_data = &entry;
    }
}

PatternOptions PatternTable::defaultPatternOptions() const {
    return flagsToPatternOptions(m_defaultCompileFlags, m_defaultStudy);
}

void PatternTable::setDefaultPatternOptions(PatternOptions options) {
    m_defaultCompileFlags = patternOptionsToFlags(options);
    m_defaultStudy = !options.contains(PatternOption::NoStudy);
}

MatchOptions PatternTable::defaultMatchOptions() const {
    return flagsToMatchOptions(m_defaultMatchFlags, m_defaultCapture);
}

void PatternTable::setDefaultMatchOptions(MatchOptions options) {
    m_defaultMatchFlags = matchOptionsToFlags(options);
    m_defaultCapture = !options.contains(MatchOption::NoCapturing);
}

void PatternTable::setCustomTokens(const std::string& text) {
    m_customTokensText = text;
    m_customTokenList.clear();
    size_t start = 0;
    for (int32_t index = 0;; ++index) {
        const size_t comma = text.find(',', start);
        m_customTokenList.emplace_back(trim(text.substr(start, comma - start)), index);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (text.empty())
        m_customTokenList.clear();
    std::stable_sort(
        m_customTokenList.begin(), m_customTokenList.end(),
        [](const auto& a, const auto& b) { return compareNoCase(a.first, b.first) < 0; });
}

int32_t PatternTable::customTokenIndex(const std::string& name) const {
    const auto it = std::lower_bound(m_customTokenList.begin(), m_customTokenList.end(), name,
                                     [](const auto& entry, const std::string& key) {
                                         return compareNoCase(entry.first, key) < 0;
                                     });
    if (it == m_customTokenList.end() || compareNoCase(it->first, name) != 0)
        return -1;
    return it->second;
}

std::string PatternTable::customTokenName(int32_t index) const {
    for (const auto& [name, tokenIndex] : m_customTokenList)
        if (tokenIndex == index)
            return name;
    return {};
}

void PatternTable::setOnCallOut(PcreCalloutEvent handler) {
    m_onCallOut = std::move(handler);
    const bool has = static_cast<bool>(m_onCallOut);
    for (int32_t id = 0; id < m_slotsUsed; ++id) {
        Pattern& entry = *m_patterns[static_cast<size_t>(id)];
        if (!entry.compiled)
            continue;
        if (has) {
            applyExtraSettings(entry);
        } else if (entry.extra) {
            entry.callOutOwner = nullptr;
            entry.extra->flags &= ~static_cast<unsigned long>(PCRE_EXTRA_CALLOUT_DATA);
            entry.extra->callout_data = nullptr;
            if (!extraCarriesData(*entry.extra))
                entry.extra.reset();
        }
    }
}

void PatternTable::setOnReplaceCustomToken(ReplaceTokenEvent handler) {
    m_onReplaceCustomToken = std::move(handler);
}

std::string PatternTable::version() {
    return pcre_version();
}

// ---- CachedPatternTable, StaticPatternTable, PatternSet
// ----------------------------------------------

CachedPatternTable::CachedPatternTable() = default;

void CachedPatternTable::clearPatterns() {
    PatternTable::clearPatterns();
    m_cache.clear();
}

void CachedPatternTable::setPatternCacheMaxCount(int32_t count) {
    auto lock = lockTable();
    count = std::max(count, 0);
    if ((m_patternCacheMaxCount == 0 && count > 0) || count < m_patternCacheMaxCount)
        clearPatterns();
    m_patternCacheMaxCount = count;
}

std::string CachedPatternTable::cacheKey(const std::string& pattern, int32_t flags, bool study,
                                         PatternLanguage language) {
    return pattern + std::to_string(flags) + (study ? "-1" : "0") +
           static_cast<char>(static_cast<uint8_t>(language));
}

int32_t CachedPatternTable::cachedPatternID(const std::string& pattern, PatternOptions options,
                                            PatternStatus& status, PatternLanguage language) {
    const int32_t flags = patternOptionsToFlags(options);
    const bool study = !options.contains(PatternOption::NoStudy);
    std::string key = cacheKey(pattern, flags, study, language);
    if (const auto it = m_cache.find(key); it != m_cache.end()) {
        status = PatternStatus{true, it->second, RegexErrorCode::None, {}, {}, 0};
        return it->second;
    }
    if (slotsUsed() >= m_patternCacheMaxCount) {
        status = PatternStatus{false, -1, RegexErrorCode::CacheFull, {}, {}, 0};
        return -1;
    }
    if (compileIntoTable(pattern, flags, study, language, status))
        m_cache.emplace(std::move(key), status.patternID);
    return status.patternID;
}

int32_t StaticPatternTable::getCachedPatternID(const std::string& pattern, PatternOptions options,
                                               PatternStatus& status, PatternLanguage language) {
    auto lock = lockTable();
    return cachedPatternID(pattern, options, status, language);
}

bool PatternSet::addPattern(const std::string& pattern, int32_t& patternID, PatternStatus& status) {
    compileIntoTable(pattern, defaultCompileFlags(), defaultStudy(), defaultLanguage(), status);
    patternID = status.patternID;
    return status.success;
}

bool compileStandalone(const std::string& pattern, int32_t flags, bool study,
                       PatternLanguage language, CompiledPtr& compiled, ExtraPtr& extra,
                       PatternStatus& status) {
    status = PatternStatus{};
    compiled.reset();
    extra.reset();
    size_t stopCallOutAt = 0;
    if (!compileAndStudy(pattern, flags, study, language, CodeKind::Checked, compiled, extra,
                         status, stopCallOutAt)) {
        compiled.reset();
        extra.reset();
    }
    status.success = status.statusCode == RegexErrorCode::None;
    status.patternID = -1;
    return status.success;
}

// ---- the shared instance -----------------------------------------------------------------------

const PatternOptions kDefaultStaticPatternOptions = {PatternOption::IgnoreCase,
                                                     PatternOption::DotMatchesAll};

StaticPatternTable& regExStatic() {
    static StaticPatternTable* instance = [] {
        static StaticPatternTable shared;
        shared.setDefaultPatternOptions(kDefaultStaticPatternOptions);
        shared.setPatternCacheMaxCount(100);
        return &shared;
    }();
    return *instance;
}

} // namespace kestrava::regex
