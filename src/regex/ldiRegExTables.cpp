// Character tables by language: PCRE's tables built while the thread runs in a French, German
// or the user's locale, built once per language and shared by every pattern.
#include "regex/ldiRegExInternals.h"

#include <array>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <mutex>

namespace kes {

namespace {

struct TTablesDeleter {
    void operator()(unsigned char* tables) const { pcre_free(tables); }
};
using TTablesPtr = std::unique_ptr<unsigned char, TTablesDeleter>;

// Owns a locale object from newlocale.
class TLocaleHandle {
  public:
    explicit TLocaleHandle(const std::string& name)
        : fLocale(newlocale(LC_ALL_MASK, name.c_str(), locale_t{})) {}
    ~TLocaleHandle() {
        if (fLocale != locale_t{})
            freelocale(fLocale);
    }
    TLocaleHandle(const TLocaleHandle&) = delete;
    TLocaleHandle& operator=(const TLocaleHandle&) = delete;
    locale_t Get() const { return fLocale; }

  private:
    locale_t fLocale;
};

// Switches the calling thread's locale for the scope; the process locale is never touched.
class TThreadLocaleScope {
  public:
    explicit TThreadLocaleScope(locale_t locale) : fPrevious(uselocale(locale)) {}
    ~TThreadLocaleScope() { uselocale(fPrevious); }
    TThreadLocaleScope(const TThreadLocaleScope&) = delete;
    TThreadLocaleScope& operator=(const TThreadLocaleScope&) = delete;

  private:
    locale_t fPrevious;
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
std::array<TTablesPtr, 4> gLanguageTables;

TTablesPtr BuildTablesIn(locale_t locale) {
    TThreadLocaleScope scope(locale);
    if (MB_CUR_MAX != 1)
        return nullptr;
    return TTablesPtr(const_cast<unsigned char*>(pcre_maketables()));
}

// The first candidate locale that exists and is single-byte; errno's value when none is.
TTablesPtr BuildLanguageTables(TPatternLanguage language, int32_t& errorCode) {
    errorCode = ENOENT;
    for (const std::string& name : gLocaleCandidates[language]) {
        const TLocaleHandle locale(name);
        if (locale.Get() == locale_t{}) {
            errorCode = errno != 0 ? errno : ENOENT;
            continue;
        }
        if (TTablesPtr tables = BuildTablesIn(locale.Get())) {
            errorCode = 0;
            return tables;
        }
    }
    return nullptr;
}

} // namespace

std::string LanguageName(TPatternLanguage language) {
    switch (language) {
    case laEnglish:
        return "English";
    case laUserLocale:
        return "User Locale";
    case laFrench:
        return "French";
    case laGerman:
        return "German";
    }
    return "Unknown Language";
}

const unsigned char* GetLanguageTables(TPatternLanguage language, int32_t& errorCode) {
    errorCode = 0;
    if (language == laEnglish)
        return nullptr; // the library's built-in tables
    if (language > laGerman) {
        errorCode = ENOENT;
        return nullptr;
    }
    std::lock_guard lock(gTablesLock);
    TTablesPtr& slot = gLanguageTables[language];
    if (slot)
        return slot.get();
    if (language == laUserLocale)
        slot.reset(const_cast<unsigned char*>(pcre_maketables()));
    else
        slot = BuildLanguageTables(language, errorCode);
    return slot.get();
}

void SetLanguageLocaleCandidates(TPatternLanguage language, std::vector<std::string> names) {
    std::lock_guard lock(gTablesLock);
    gLocaleCandidates.at(language) = std::move(names);
    gLanguageTables.at(language).reset();
}

} // namespace kes
