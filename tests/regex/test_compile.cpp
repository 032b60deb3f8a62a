// Pattern table, compile status, options, cache and callouts.
#include "regex/ldiPcreAPI.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

#include <thread>

namespace kes {
namespace {

TEST(PatternTable, EmptyPatternCompilesWithNoGroups) {
    TldiRegExMulti regex;
    EXPECT_EQ(test::Compile(regex, ""), 0);
    EXPECT_EQ(regex.PatternEntry(0)->CaptureCount, 0);
    EXPECT_EQ(regex.GroupOffsetVectorSize(), 3);
    test::Compile(regex, "(a)(b)(?:c)");
    EXPECT_EQ(regex.GroupOffsetVectorSize(), 9); // (2 + 1) * 3
    test::Compile(regex, "(x)");
    EXPECT_EQ(regex.GroupOffsetVectorSize(), 9) << "sized for the largest pattern";
}

TEST(PatternTable, FreedIDsAreReusedMostRecentFirst) {
    TldiRegExMulti regex;
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(test::Compile(regex, "p" + std::to_string(i)), i);
    regex.RemovePattern(1);
    regex.RemovePattern(3);
    EXPECT_EQ(test::Compile(regex, "x"), 3);
    EXPECT_EQ(test::Compile(regex, "y"), 1);
    EXPECT_EQ(test::Compile(regex, "z"), 4)
        << "the stack is empty again: the next new ID is slots used";
    EXPECT_EQ(regex.SlotsUsed(), 5);
    EXPECT_EQ(regex.PatternEntry(1)->Pattern, "y");
    EXPECT_EQ(
        test::Raised([&] { regex.RemovePattern(5); }).Message,
        R"m("Invalid PatternID (5)" reported by Method "RemovePattern" on Class "TldiRegExMulti".)m");
}

TEST(PatternTable, ReusedSlotForgetsWhatItKnewOfTheOldPattern) {
    TldiRegExMulti regex;
    const int32_t planned = test::Compile(regex, "\\b\\w+_t\\b");
    ASSERT_FALSE(regex.PatternEntry(planned)->Required.Text.empty());
    regex.RemovePattern(planned);
    regex.SetDefaultPatternOptions({coNoStudy});
    ASSERT_EQ(test::Compile(regex, "x"), planned);
    TMatchCollection results;
    EXPECT_TRUE(regex.Matches(planned, "x", 1, 0, {}, results)) << "no search for \"_t\" runs";
}

TEST(PatternTable, SerialsCountCompilesUntilCleared) {
    TldiRegExMulti regex;
    test::Compile(regex, "a");
    test::Compile(regex, "b");
    EXPECT_EQ(regex.PatternEntry(1)->Serial, 2);
    regex.RemovePattern(0);
    EXPECT_EQ(regex.PatternEntry(0)->Serial, 0);
    regex.ClearPatterns();
    test::Compile(regex, "c");
    EXPECT_EQ(regex.PatternEntry(0)->Serial, 1);
}

TEST(PatternTable, PatternErrorIsAStatusAndFreesTheSlot) {
    TldiRegExMulti regex;
    test::Compile(regex, "ok");
    int32_t id = 0;
    TPatternStatus status;
    EXPECT_FALSE(regex.AddPattern("a(", id, status));
    EXPECT_EQ(id, -1);
    EXPECT_FALSE(status.Success);
    EXPECT_EQ(status.PatternID, -1);
    EXPECT_EQ(status.StatusCode, rePatternError);
    EXPECT_EQ(status.ErrorText, "missing )");
    EXPECT_EQ(status.ErrorOffset, 2);
    EXPECT_EQ(status.ErrorMessage, "Error in Pattern: \"missing )\" at offset (2)");
    EXPECT_EQ(test::Compile(regex, "b"), 1) << "the failed slot is free again";
}

TEST(PatternOptions, TranslateBothWays) {
    const std::pair<TPatternOption, int32_t> table[] = {
        {coIgnoreCase, 0x1},     {coMultiline, 0x2},
        {coDotMatchesAll, 0x4},  {coIgnorePatternWhiteSpace, 0x8},
        {coAnchored, 0x10},      {coDollarEndOnly, 0x20},
        {coExtra, 0x40},         {coUnGreedy, 0x200},
        {coUtf8, 0x800},         {coExplicitCapture, 0x1000},
        {coNoUtf8Check, 0x2000}, {coNoStudy, 0},
    };
    for (const auto& [option, flag] : table) {
        EXPECT_EQ(PatternOptionsToFlags({option}), flag) << int(option);
        EXPECT_EQ(FlagsToPatternOptions(flag, option != coNoStudy), TPatternOptions{option});
    }
    EXPECT_EQ(MatchOptionsToFlags({moAnchored, moNotBol, moNotEol, moNotEmpty, moNoUtf8Check}),
              0x10 | 0x80 | 0x100 | 0x400 | 0x2000);
    EXPECT_EQ(FlagsToMatchOptions(0x80, false), (TMatchOptions{moNotBol, moNoCapturing}));
}

TEST(PatternOptions, DefaultsAndNoStudy) {
    TldiRegExMulti regex;
    EXPECT_EQ(regex.DefaultPatternOptions(), (TPatternOptions{coIgnoreCase, coDotMatchesAll}));
    EXPECT_EQ(regex.DefaultMatchOptions(), TMatchOptions{});
    EXPECT_EQ(regex.DefaultLanguage(), laEnglish);
    EXPECT_EQ(regex.DefaultMatchLimit, 10000000u);

    regex.SetDefaultPatternOptions({coMultiline, coNoStudy});
    EXPECT_EQ(regex.DefaultPatternOptions(), (TPatternOptions{coMultiline, coNoStudy}));
    ASSERT_EQ(test::Compile(regex, "a+"), 0);
    EXPECT_FALSE(regex.PatternEntry(0)->Study);
    EXPECT_EQ(regex.PatternEntry(0)->Extra, nullptr) << "no study attempted";
    EXPECT_EQ(regex.PatternEntry(0)->CompileOptions, 0x2);
}

TEST(PatternCache, KeyIsExact) {
    EXPECT_EQ(TldiRegEx::CacheKey("abc", 5, true, laEnglish), std::string("abc5-1\0", 7));
    EXPECT_EQ(TldiRegEx::CacheKey("abc", 5, false, laGerman), std::string("abc50\3", 6));
}

TEST(PatternCache, SameTextWithOtherOptionsGetsOtherIDs) {
    TldiRegExStatic regex;
    regex.SetPatternCacheMaxCount(10);
    TPatternStatus status;
    const int32_t base = regex.GetCachedPatternID("abc", {coIgnoreCase}, status, laEnglish);
    EXPECT_EQ(regex.GetCachedPatternID("abc", {coIgnoreCase}, status, laEnglish), base);
    EXPECT_TRUE(status.Success);
    EXPECT_NE(regex.GetCachedPatternID("abc", {}, status, laEnglish), base);
    EXPECT_NE(regex.GetCachedPatternID("abc", {coIgnoreCase, coNoStudy}, status, laEnglish), base);
    EXPECT_NE(regex.GetCachedPatternID("ABC", {coIgnoreCase}, status, laEnglish), base);
    EXPECT_EQ(regex.SlotsUsed(), 4);
}

TEST(PatternCache, FullCacheReportsCode10AndNeverEvicts) {
    TldiRegExStatic regex;
    regex.SetPatternCacheMaxCount(100);
    TPatternStatus status;
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(regex.GetCachedPatternID("p" + std::to_string(i), {}, status, laEnglish), i);
    EXPECT_EQ(regex.GetCachedPatternID("p100", {}, status, laEnglish), -1);
    EXPECT_EQ(status.StatusCode, reCacheFull);
    EXPECT_FALSE(status.Success);
    EXPECT_EQ(regex.GetCachedPatternID("p5", {}, status, laEnglish), 5)
        << "cached ones still found";
}

TEST(PatternCache, UnitLevelMatchWorksPastTheCacheLimit) {
    TldiRegExStatic& shared = RegExStatic();
    shared.SetPatternCacheMaxCount(0);
    shared.SetPatternCacheMaxCount(100);
    TMatchResult result;
    for (int i = 0; i < 101; ++i) {
        const std::string text = "..X" + std::to_string(i) + "Y..";
        ASSERT_TRUE(Match("x" + std::to_string(i) + "y", text, false, result));
    }
    EXPECT_EQ(shared.SlotsUsed(), 100);
    const std::string text = "X100Y";
    ASSERT_TRUE(Match("x100y", text, false, result));
    EXPECT_EQ(result.PatternID, -1) << "the 101st pattern is compiled per call";
    EXPECT_EQ(result.MatchPatternID, 0);
    shared.SetPatternCacheMaxCount(0); // leave the shared instance empty for other tests
    shared.SetPatternCacheMaxCount(100);
}

TEST(PatternCache, MaxCountChangesClearOnlyWhenNeeded) {
    TldiRegExStatic regex;
    TPatternStatus status;
    EXPECT_EQ(regex.GetCachedPatternID("a", {}, status, laEnglish), -1) << "max 0 caches nothing";
    regex.SetPatternCacheMaxCount(5);
    regex.GetCachedPatternID("a", {}, status, laEnglish);
    regex.SetPatternCacheMaxCount(8);
    EXPECT_EQ(regex.SlotsUsed(), 1) << "raising from a positive value keeps the table";
    regex.SetPatternCacheMaxCount(7);
    EXPECT_EQ(regex.SlotsUsed(), 0) << "lowering empties the table";
    EXPECT_EQ(regex.GetCachedPatternID("a", {}, status, laEnglish), 0) << "and the cache";
    regex.SetPatternCacheMaxCount(-4);
    EXPECT_EQ(regex.PatternCacheMaxCount(), 0);
}

TEST(PatternCache, ConcurrentUnitLevelCallsStayCorrect) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &failures] {
            TMatchResult result;
            std::string value;
            for (int i = 0; i < 60; ++i) {
                const std::string word = "w" + std::to_string((i * 7 + t) % 60);
                const std::string text = "..<" + word + ">..";
                if (!Match("<(" + word + ")>", text, false, result)) {
                    ++failures;
                    continue;
                }
                GroupValue(result, 1, value);
                failures += value != word;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    RegExStatic().SetPatternCacheMaxCount(0);
    RegExStatic().SetPatternCacheMaxCount(100);
}

TEST(RegExObject, MatchLimitReachesTheExtraBlock) {
    TldiRegExMulti regex;
    regex.DefaultMatchLimit = 50;
    const int32_t id = test::Compile(regex, "(a+)+$");
    ASSERT_NE(regex.PatternEntry(id)->Extra, nullptr);
    const std::string text = std::string(30, 'a') + "b";
    TMatchCollection results;
    const auto raised = test::Raised([&] { regex.Matches(id, text.data(), 31, 0, {}, results); });
    EXPECT_EQ(raised.Code, reMatchLimit);
    EXPECT_EQ(
        raised.Message,
        R"m("The recursion and backtracking limit (MatchLimit) was reached" reported by Method "Matches" on Class "TldiRegExMulti" when calling "GetMatch".)m");
    EXPECT_TRUE(results.empty());
}

TEST(RegExObject, CallOutsReachTheHandlerAndDecide) {
    TldiRegExMulti regex;
    regex.SetDefaultPatternOptions({coNoStudy});
    const int32_t before = test::Compile(regex, "a(?C1)b");
    int calls = 0;
    int32_t verdict = 0;
    regex.SetOnCallOut([&](pcre_callout_block& block, int32_t& result) {
        ++calls;
        EXPECT_EQ(block.callout_number, 1);
        EXPECT_EQ(block.pattern_position, 6) << "the place in the pattern as written";
        result = verdict;
    });
    const int32_t after = test::Compile(regex, "c(?C1)d");
    TMatchCollection results;
    EXPECT_TRUE(regex.Matches(before, "ab", 2, 0, {}, results)) << "existing patterns get the data";
    EXPECT_TRUE(regex.Matches(after, "cd", 2, 0, {}, results));
    EXPECT_EQ(calls, 2);
    verdict = 1; // fail at this point
    EXPECT_FALSE(regex.Matches(before, "ab", 2, 0, {}, results));

    regex.SetOnCallOut(nullptr);
    EXPECT_EQ(regex.PatternEntry(before)->Extra, nullptr) << "a block left with nothing is freed";
    calls = 0;
    EXPECT_TRUE(regex.Matches(before, "ab", 2, 0, {}, results));
    EXPECT_EQ(calls, 0);
}

} // namespace
} // namespace kes
