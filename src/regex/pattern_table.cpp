// Pattern table, compiling and studying, options, callouts, custom tokens and the cache.
#include "internal/pattern_internals.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <mutex>
#include <utility>

namespace kestrava::regex {

namespace {

struct OptionFlag {
    uint8_t option;
    uint64_t flag;
};

constexpr std::array<OptionFlag, 11> kPatternFlags = {{
    {static_cast<uint8_t>(PatternOption::IgnoreCase), PCRE2_CASELESS},
    {static_cast<uint8_t>(PatternOption::Multiline), PCRE2_MULTILINE},
    {static_cast<uint8_t>(PatternOption::DotMatchesAll), PCRE2_DOTALL},
    {static_cast<uint8_t>(PatternOption::IgnorePatternWhiteSpace), PCRE2_EXTENDED},
    {static_cast<uint8_t>(PatternOption::Anchored), PCRE2_ANCHORED},
    {static_cast<uint8_t>(PatternOption::DollarEndOnly), PCRE2_DOLLAR_ENDONLY},
    {static_cast<uint8_t>(PatternOption::Extra), pcre_api::kStrictEscapes},
    {static_cast<uint8_t>(PatternOption::UnGreedy), PCRE2_UNGREEDY},
    {static_cast<uint8_t>(PatternOption::Utf8), PCRE2_UTF},
    {static_cast<uint8_t>(PatternOption::ExplicitCapture), PCRE2_NO_AUTO_CAPTURE},
    {static_cast<uint8_t>(PatternOption::NoUtf8Check), PCRE2_NO_UTF_CHECK},
}};

constexpr std::array<OptionFlag, 5> kMatchFlags = {{
    {static_cast<uint8_t>(MatchOption::Anchored), PCRE2_ANCHORED},
    {static_cast<uint8_t>(MatchOption::NotBol), PCRE2_NOTBOL},
    {static_cast<uint8_t>(MatchOption::NotEol), PCRE2_NOTEOL},
    {static_cast<uint8_t>(MatchOption::NotEmpty), PCRE2_NOTEMPTY},
    {static_cast<uint8_t>(MatchOption::NoUtf8Check), PCRE2_NO_UTF_CHECK},
}};

constexpr uint64_t kInitialCompileFlags = PCRE2_CASELESS | PCRE2_DOTALL;
constexpr int32_t kTableGrowth = 20;

template <typename E, size_t N>
uint64_t toFlags(Set<E> options, const std::array<OptionFlag, N>& table) {
    uint64_t flags = 0;
    for (const auto& entry : table)
        if (options.contains(static_cast<E>(entry.option)))
            flags |= entry.flag;
    return flags;
}

template <typename E, size_t N>
Set<E> fromFlags(uint64_t flags, const std::array<OptionFlag, N>& table) {
    Set<E> options;
    for (const auto& entry : table)
        if ((flags & entry.flag) != 0)
            options.include(static_cast<E>(entry.option));
    return options;
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
// searches in windows (see pcre_api::search).
enum class CodeKind : uint8_t { Checked, Unchecked, Anchored };

// Compiles one form. Checked code holds the stop callout at stopCallOutAt; an error is the one
// the library finds in the pattern alone, offset included.
pcre_api::CodePtr compileForm(std::string_view text, uint64_t flags, bool jit,
                              const unsigned char* tables, CodeKind kind, size_t stopCallOutAt,
                              PatternStatus& status) {
    const bool stopCheck = kind == CodeKind::Checked;
    flags |= kind == CodeKind::Anchored ? PCRE2_ANCHORED : 0;
    const std::string compiledText =
        stopCheck ? pcre_api::withStopCallOut(text, stopCallOutAt) : std::string(text);
    std::string errorText;
    size_t errorOffset = 0;
    pcre_api::CodePtr code = pcre_api::compile(compiledText, flags, tables, errorText, errorOffset);
    if (!code) {
        // The error as the library finds it in the pattern alone; its offset mapped back only
        // should the pattern alone compile after all.
        if (stopCheck && pcre_api::compile(text, flags, tables, errorText, errorOffset))
            errorOffset = pcre_api::patternOffset(errorOffset, stopCallOutAt);
        failStatus(status, RegexErrorCode::PatternError, errorText,
                   static_cast<int32_t>(std::min<size_t>(errorOffset, INT32_MAX)));
        return nullptr;
    }
    if (jit) // without the JIT the interpreter runs the code, to the same results
        pcre_api::jitCompile(code.get(), kind == CodeKind::Unchecked);
    return code;
}

// Text + decimal flags + "-1"/"0" for study + the language ordinal byte, then the text's length:
// without it "a" with flags 40 and "a4" with flags 0 would share a key and a pattern.
std::string cacheKey(const std::string& pattern, uint64_t flags, bool study,
                     PatternLanguage language) {
    return pattern + std::to_string(flags) + (study ? "-1" : "0") +
           static_cast<char>(static_cast<uint8_t>(language)) + std::to_string(pattern.size());
}

} // namespace

void CodeDeleter::operator()(pcre2_real_code_8* code) const {
    pcre2_code_free(code);
}

std::shared_ptr<const CompiledPattern>
CompiledPattern::compile(const std::string& pattern, uint64_t flags, bool study,
                         PatternLanguage language, uint32_t matchLimit, PatternStatus& status) {
    std::shared_ptr<CompiledPattern> compiled(new CompiledPattern());
    compiled->m_matchLimit = matchLimit;
    if (!compiled->compileForms(pattern, flags, study, language, status))
        return nullptr;
    return compiled;
}

bool CompiledPattern::compileForms(const std::string& pattern, uint64_t flags, bool study,
                                   PatternLanguage language, PatternStatus& status) {
    int32_t localeError = 0;
    const unsigned char* tables = getLanguageTables(language, localeError);
    if (localeError != 0) {
        failStatus(status, RegexErrorCode::LocaleUnavailable, languageName(language), 0);
        return false;
    }
    const std::string_view text = pattern.c_str(); // the pattern ends at its first NUL
    m_stopCallOutAt = pcre_api::leadingVerbsLength(text);
    m_checked = compileForm(text, flags, false, tables, CodeKind::Checked, m_stopCallOutAt, status);
    if (!m_checked)
        return false;
    const bool jit = study && pcre_api::jitGivesExactResults(pattern, m_checked.get());
    if (jit)
        pcre_api::jitCompile(m_checked.get(), false);
    m_captureCount = pcre_api::captureCount(m_checked.get());
    m_utf8 = pcre_api::isUtf8(m_checked.get());
    m_literalCaseless = (flags & PCRE2_CASELESS) != 0;
    if (!study)
        return true;
    m_literals = plainLiterals(pattern, flags, language);
    if (m_literals.empty())
        m_required = planRequiredText(pattern, flags, language);
    if (pcre_api::searchesInWindows(text)) {
        PatternStatus unused;
        m_unchecked = compileForm(text, flags, jit, tables, CodeKind::Unchecked, 0, unused);
        m_anchored = compileForm(text, flags, jit, tables, CodeKind::Anchored, 0, unused);
        if (!m_unchecked || !m_anchored) { // not expected: the same text compiled just before
            m_unchecked.reset();
            m_anchored.reset();
        }
    }
    return true;
}

uint64_t patternOptionsToFlags(PatternOptions options) {
    return toFlags(options, kPatternFlags);
}

PatternOptions flagsToPatternOptions(uint64_t flags, bool study) {
    auto options = fromFlags<PatternOption>(flags, kPatternFlags);
    if (!study)
        options.include(PatternOption::NoStudy);
    return options;
}

uint32_t matchOptionsToFlags(MatchOptions options) {
    return static_cast<uint32_t>(toFlags(options, kMatchFlags));
}

MatchOptions flagsToMatchOptions(uint32_t flags, bool capture) {
    auto options = fromFlags<MatchOption>(flags, kMatchFlags);
    if (!capture)
        options.include(MatchOption::NoCapturing);
    return options;
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
    entry.compiled.reset(); // a match still running on it keeps its own reference
    entry.serial = 0;
    m_freeIDs.push_back(patternID);
}

bool PatternTable::compileIntoTable(const std::string& pattern, uint64_t flags, bool study,
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
    entry.compileOptions = flags;
    entry.study = study;
    entry.language = language;
    entry.matchLimit = defaultMatchLimit;
    entry.compiled =
        CompiledPattern::compile(pattern, flags, study, language, defaultMatchLimit, status);
    if (entry.compiled) {
        entry.captureCount = entry.compiled->captureCount();
        if (entry.captureCount > m_largestCaptureCount) {
            m_largestCaptureCount = entry.captureCount;
            m_groupOffsetVectorSize = (entry.captureCount + 1) * 3;
        }
        entry.serial = ++m_lastSerial;
    }
    if (status.statusCode != RegexErrorCode::None) {
        removePattern(id);
        id = -1;
    }
    status.success = status.statusCode == RegexErrorCode::None;
    status.patternID = id;
    return status.success;
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
    m_onCallOut = std::move(handler); // each match hands it to the library in its context
}

void PatternTable::setOnReplaceCustomToken(ReplaceTokenEvent handler) {
    m_onReplaceCustomToken = std::move(handler);
}

std::string PatternTable::version() {
    char text[64] = {};
    pcre2_config(PCRE2_CONFIG_VERSION, text);
    return text;
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

int32_t CachedPatternTable::cachedPatternID(const std::string& pattern, PatternOptions options,
                                            PatternStatus& status, PatternLanguage language) {
    const uint64_t flags = patternOptionsToFlags(options);
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

bool compileStandalone(const std::string& pattern, uint64_t flags, bool study,
                       PatternLanguage language, std::shared_ptr<const CompiledPattern>& compiled,
                       PatternStatus& status) {
    status = PatternStatus{};
    compiled =
        CompiledPattern::compile(pattern, flags, study, language, kDefaultMatchLimit, status);
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
