// Character tables by language: French/German classification, caching, missing locales.
#include "regex/ldiRegExInternals.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

#include <clocale>

namespace kes {
namespace {

bool LocaleExists(const char* name) {
    const locale_t locale = newlocale(LC_ALL_MASK, name, locale_t{});
    if (locale == locale_t{})
        return false;
    freelocale(locale);
    return true;
}

TEST(LanguageTables, NamesOfTheLanguages) {
    EXPECT_EQ(LanguageName(laEnglish), "English");
    EXPECT_EQ(LanguageName(laUserLocale), "User Locale");
    EXPECT_EQ(LanguageName(laFrench), "French");
    EXPECT_EQ(LanguageName(laGerman), "German");
    EXPECT_EQ(LanguageName(TPatternLanguage(9)), "Unknown Language");
}

TEST(LanguageTables, EnglishUsesTheBuiltInTables) {
    int32_t error = -1;
    EXPECT_EQ(GetLanguageTables(laEnglish, error), nullptr);
    EXPECT_EQ(error, 0);
}

TEST(LanguageTables, FrenchClassifiesAccentedLettersAsWordCharacters) {
    if (!LocaleExists("fr_FR.ISO-8859-1"))
        GTEST_SKIP() << "fr_FR.ISO-8859-1 is not generated here (scripts/setup-test-locales)";
    int32_t error = 0;
    const unsigned char* first = GetLanguageTables(laFrench, error);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLanguageTables(laFrench, error), first) << "built once, then shared";

    TCompiledPtr compiled;
    TExtraPtr extra;
    TPatternStatus status;
    ASSERT_TRUE(
        CompileStandalone("^\\w+$", PCRE_CASELESS, true, laFrench, compiled, extra, status));
    const std::string word = "caf\xE9"; // café in Latin-1
    const std::string upper = "CAF\xC9";
    int ovector[3];
    EXPECT_EQ(pcre_exec(compiled.get(), extra.get(), word.data(), 4, 0, 0, ovector, 3), 1);
    ASSERT_TRUE(
        CompileStandalone("caf\xE9", PCRE_CASELESS, true, laFrench, compiled, extra, status));
    EXPECT_EQ(pcre_exec(compiled.get(), extra.get(), upper.data(), 4, 0, 0, ovector, 3), 1)
        << "case folding of accented letters";

    ASSERT_TRUE(CompileStandalone("^\\w+$", 0, true, laEnglish, compiled, extra, status));
    EXPECT_LT(pcre_exec(compiled.get(), extra.get(), word.data(), 4, 0, 0, ovector, 3), 0)
        << "English keeps to ASCII";
}

TEST(LanguageTables, MissingLocaleFailsWithCode3AndLeavesTheThreadLocale) {
    const locale_t before = uselocale(locale_t{});
    SetLanguageLocaleCandidates(laGerman, {"xx_NOWHERE.ISO-8859-1"});
    TldiRegExStatic regex;
    regex.SetPatternCacheMaxCount(5);
    TPatternStatus status;
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(regex.GetCachedPatternID("\\w", {}, status, laGerman), -1);
        EXPECT_EQ(status.StatusCode, reLocaleUnavailable);
        EXPECT_EQ(status.ErrorText, "German");
        EXPECT_EQ(status.ErrorMessage,
                  "Locale for selected language (German) is unavailable on this machine");
    }
    EXPECT_EQ(uselocale(locale_t{}), before);

    SetLanguageLocaleCandidates(laGerman, {"xx_NOWHERE", "de_DE.ISO-8859-1"});
    if (LocaleExists("de_DE.ISO-8859-1")) {
        EXPECT_GE(regex.GetCachedPatternID("\\w", {}, status, laGerman), 0)
            << "a failed language is tried again: " << status.ErrorMessage;
        EXPECT_EQ(uselocale(locale_t{}), before);
    }
}

TEST(LanguageTables, UserLocaleAlwaysBuilds) {
    int32_t error = -1;
    EXPECT_NE(GetLanguageTables(laUserLocale, error), nullptr);
    EXPECT_EQ(error, 0);
}

} // namespace
} // namespace kes
