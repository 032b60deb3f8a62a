// Character tables by language: the library's tables built while the thread runs in a French,
// German or the user's locale, built once per language and shared by every pattern.
#include "internal/pattern_internals.h"

#include <array>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <mutex>

namespace kestrava::regex {

namespace {

struct TablesDeleter {
    void operator()(unsigned char* tables) const { pcre2_maketables_free(nullptr, tables); }
};
using TablesPtr = std::unique_ptr<unsigned char, TablesDeleter>;

// Owns a locale object from newlocale.
class LocaleHandle {
  public:
    explicit LocaleHandle(const std::string& name)
        : m_locale(newlocale(LC_ALL_MASK, name.c_str(), locale_t{})) {}
    ~LocaleHandle() {
        if (m_locale != locale_t{})
            freelocale(m_locale);
    }
    LocaleHandle(const LocaleHandle&) = delete;
    LocaleHandle& operator=(const LocaleHandle&) = delete;
    locale_t get() const { return m_locale; }

  private:
    locale_t m_locale;
};

// Switches the calling thread's locale for the scope; the process locale is never touched.
class ThreadLocaleScope {
  public:
    explicit ThreadLocaleScope(locale_t locale) : m_previous(uselocale(locale)) {}
    ~ThreadLocaleScope() { uselocale(m_previous); }
    ThreadLocaleScope(const ThreadLocaleScope&) = delete;
    ThreadLocaleScope& operator=(const ThreadLocaleScope&) = delete;

  private:
    locale_t m_previous;
};

// Single-byte locales only: in a UTF-8 locale a byte such as 0xE9 is not a character at all.
std::array<std::vector<std::string>, 4> gLocaleCandidates = {{
    {},
    {},
    {"fr_FR.ISO-8859-1", "fr_FR.ISO-8859-15@euro", "fr_FR.ISO-8859-15", "fr_FR@euro", "fr_FR",
     "fr_BE.ISO-8859-1", "fr_CA.ISO-8859-1", "fr_CH.ISO-8859-1"},
    {"de_DE.ISO-8859-1", "de_DE.ISO-8859-15@euro", "de_DE.ISO-8859-15", "de_DE@euro", "de_DE",
     "de_AT.ISO-8859-1", "de_CH.ISO-8859-1"},
}};

std::mutex gTablesLock;
std::array<TablesPtr, 4> gLanguageTables;

TablesPtr buildTablesIn(locale_t locale) {
    ThreadLocaleScope scope(locale);
    if (MB_CUR_MAX != 1)
        return nullptr;
    return TablesPtr(const_cast<unsigned char*>(pcre2_maketables(nullptr)));
}

// The first candidate locale that exists and is single-byte; errno's value when none is.
TablesPtr buildLanguageTables(PatternLanguage language, int32_t& errorCode) {
    errorCode = ENOENT;
    for (const std::string& name : gLocaleCandidates[static_cast<size_t>(language)]) {
        const LocaleHandle locale(name);
        if (locale.get() == locale_t{}) {
            errorCode = errno != 0 ? errno : ENOENT;
            continue;
        }
        if (TablesPtr tables = buildTablesIn(locale.get())) {
            errorCode = 0;
            return tables;
        }
    }
    return nullptr;
}

} // namespace

std::string languageName(PatternLanguage language) {
    switch (language) {
    case PatternLanguage::English:
        return "English";
    case PatternLanguage::UserLocale:
        return "User Locale";
    case PatternLanguage::French:
        return "French";
    case PatternLanguage::German:
        return "German";
    }
    return "Unknown Language";
}

const unsigned char* getLanguageTables(PatternLanguage language, int32_t& errorCode) {
    errorCode = 0;
    if (language == PatternLanguage::English)
        return nullptr; // the library's built-in tables
    if (language > PatternLanguage::German) {
        errorCode = ENOENT;
        return nullptr;
    }
    std::lock_guard lock(gTablesLock);
    TablesPtr& slot = gLanguageTables[static_cast<size_t>(language)];
    if (slot)
        return slot.get();
    if (language == PatternLanguage::UserLocale)
        slot.reset(const_cast<unsigned char*>(pcre2_maketables(nullptr)));
    else
        slot = buildLanguageTables(language, errorCode);
    return slot.get();
}

void setLanguageLocaleCandidates(PatternLanguage language, std::vector<std::string> names) {
    std::lock_guard lock(gTablesLock);
    gLocaleCandidates.at(static_cast<size_t>(language)) = std::move(names);
    gLanguageTables.at(static_cast<size_t>(language)).reset();
}

} // namespace kestrava::regex
