// Character tables by language: French/German classification, caching, missing locales.
#include "regex/internal/pattern_internals.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

#include <clocale>

namespace kestrava::regex {
namespace {

bool localeExists(const char* name) {
    const locale_t locale = newlocale(LC_ALL_MASK, name, locale_t{});
    if (locale == locale_t{})
        return false;
    freelocale(locale);
    return true;
}

TEST(LanguageTables, FrenchClassifiesAccentedLettersAsWordCharacters) {
    if (!localeExists("fr_FR.ISO-8859-1"))
        GTEST_SKIP() << "fr_FR.ISO-8859-1 is not generated here (scripts/setup-test-locales)";
    int32_t error = 0;
    const unsigned char* first = getLanguageTables(PatternLanguage::French, error);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(getLanguageTables(PatternLanguage::French, error), first)
        << "built once, then shared";

    std::shared_ptr<const CompiledPattern> compiled;
    PatternStatus status;
    const auto exec = [&compiled](const std::string& text) {
        int ovector[3];
        return pcre_api::exec(compiled->checked(), text.data(), 4, 0, 0, ovector, 3);
    };
    ASSERT_TRUE(compileStandalone("^\\w+$", PCRE2_CASELESS, true, PatternLanguage::French, compiled,
                                  status));
    const std::string word = "caf\xE9"; // café in Latin-1
    const std::string upper = "CAF\xC9";
    EXPECT_EQ(exec(word), 1);
    ASSERT_TRUE(compileStandalone("caf\xE9", PCRE2_CASELESS, true, PatternLanguage::French,
                                  compiled, status));
    EXPECT_EQ(exec(upper), 1) << "case folding of accented letters";

    ASSERT_TRUE(compileStandalone("^\\w+$", 0, true, PatternLanguage::English, compiled, status));
    EXPECT_LT(exec(word), 0) << "English keeps to ASCII";
}

TEST(LanguageTables, MissingLocaleFailsWithCode3AndLeavesTheThreadLocale) {
    const locale_t before = uselocale(locale_t{});
    setLanguageLocaleCandidates(PatternLanguage::German, {"xx_NOWHERE.ISO-8859-1"});
    StaticPatternTable regex;
    regex.setPatternCacheMaxCount(5);
    PatternStatus status;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(regex.getCachedPatternID("\\w", {}, status, PatternLanguage::German), -1);
        EXPECT_EQ(status.statusCode, RegexErrorCode::LocaleUnavailable);
        EXPECT_EQ(status.errorText, "German");
        EXPECT_EQ(status.errorMessage,
                  "Locale for selected language (German) is unavailable on this machine");
    }
    EXPECT_EQ(uselocale(locale_t{}), before);
    EXPECT_EQ(languageName(PatternLanguage::English) + languageName(PatternLanguage::UserLocale) +
                  languageName(PatternLanguage::French) + languageName(PatternLanguage(9)),
              "EnglishUser LocaleFrenchUnknown Language");
    EXPECT_GE(regex.getCachedPatternID("\\w", {}, status, PatternLanguage::UserLocale), 0)
        << "the user's locale always builds its own tables";

    setLanguageLocaleCandidates(PatternLanguage::German, {"xx_NOWHERE", "de_DE.ISO-8859-1"});
    if (localeExists("de_DE.ISO-8859-1")) {
        EXPECT_GE(regex.getCachedPatternID("\\w", {}, status, PatternLanguage::German), 0)
            << "a failed language is tried again: " << status.errorMessage;
        EXPECT_EQ(uselocale(locale_t{}), before);
    }
}

} // namespace
} // namespace kestrava::regex
