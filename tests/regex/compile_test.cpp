// Pattern table, compile status, options, cache and callouts.
#include "regex/pcre_api.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

#include <thread>

namespace kestrava::regex {
namespace {

using enum PatternOption;

// Freed IDs are reused most recent first, and a reused slot forgets it was studied. (What a
// failed compile tells is checked where the cached unit-level Match raises it.)
TEST(PatternTable, IDsSerialsAndVectorSize) {
    PatternSet regex;
    EXPECT_EQ(test::compile(regex, ""), 0);
    EXPECT_EQ(regex.groupOffsetVectorSize(), 3);
    test::compile(regex, "(a)(b)(?:c)");
    EXPECT_EQ(regex.groupOffsetVectorSize(), 9); // (2 + 1) * 3
    test::compile(regex, "(x)");
    EXPECT_EQ(regex.groupOffsetVectorSize(), 9);
    const int32_t planned = test::compile(regex, "\\b\\w+_t\\b");
    ASSERT_FALSE(regex.patternEntry(planned)->compiled->required().text.empty());
    EXPECT_EQ(regex.patternEntry(planned)->serial, 4);
    regex.removePattern(1);
    regex.removePattern(planned);
    EXPECT_EQ(regex.patternEntry(1)->serial, 0);

    int32_t id = 0;
    PatternStatus status;
    EXPECT_FALSE(regex.addPattern("a(", id, status));
    EXPECT_EQ(id, -1);

    regex.setDefaultPatternOptions({NoStudy});
    EXPECT_EQ(test::compile(regex, "x"), planned);
    MatchCollection results;
    EXPECT_TRUE(regex.matches(planned, "x", 1, 0, {}, results)) << "no search for \"_t\" runs";
    // NoStudy leaves the interpreter alone, which the comparisons with the shortcuts rely on.
    EXPECT_FALSE(regex.patternEntry(planned)->study);
    EXPECT_EQ(regex.patternEntry(planned)->compiled->unchecked(), nullptr) << "no windows";
    EXPECT_EQ(test::compile(regex, "y"), 1);
    EXPECT_EQ(test::compile(regex, "z"), 4) << "no freed IDs left: the next is slots used";
    EXPECT_EQ(regex.slotsUsed(), 5);
    EXPECT_EQ(regex.patternEntry(1)->pattern, "y");
    EXPECT_FALSE(regex.addPattern("(", id, status));
    EXPECT_EQ(test::compile(regex, "w"), 5) << "a failed compile gives a new slot back too";
    regex.clearPatterns();
    test::compile(regex, "c");
    EXPECT_EQ(regex.patternEntry(0)->serial, 1);
}

TEST(PatternOptions, TranslateBothWays) {
    for (const golden::Row& c : test::cases("options")) {
        const uint64_t flag = std::stoull(c[1], nullptr, 16);
        EXPECT_EQ(patternOptionsToFlags(test::optionsOf(c[0])), flag) << c[0];
        EXPECT_EQ(flagsToPatternOptions(flag, c[0] != "n"), test::optionsOf(c[0])) << c[0];
    }
    EXPECT_EQ(matchOptionsToFlags({MatchOption::Anchored, MatchOption::NotBol, MatchOption::NotEol,
                                   MatchOption::NotEmpty, MatchOption::NoUtf8Check}),
              0x80000000u | 0x1 | 0x2 | 0x4 | 0x40000000u);
    EXPECT_EQ(flagsToMatchOptions(0x1, false),
              (MatchOptions{MatchOption::NotBol, MatchOption::NoCapturing}));
}

// Never evicted: raising the limit keeps the table, lowering it empties table and cache. The
// options are part of the key, so a text that ends in the digits of another's options is
// another key.
TEST(PatternCache, OneIDPerKeyUntilFull) {
    StaticPatternTable regex;
    PatternStatus status;
    const auto cached = [&](const std::string& pattern, PatternOptions options = {}) {
        return regex.getCachedPatternID(pattern, options, status, PatternLanguage::English);
    };
    EXPECT_EQ(cached("a"), -1) << "max 0 caches nothing";
    regex.setPatternCacheMaxCount(7);
    const std::pair<const char*, PatternOptions> keys[] = {{"abc", {IgnoreCase}},
                                                           {"abc", {}},
                                                           {"abc", {IgnoreCase, NoStudy}},
                                                           {"ABC", {IgnoreCase}},
                                                           {"a", {IgnoreCase, DotMatchesAll}},
                                                           {"a4", {}}};
    for (int pass = 0; pass < 2; ++pass)
        for (int32_t i = 0; i < 6; ++i)
            EXPECT_EQ(cached(keys[i].first, keys[i].second), i) << "pass " << pass;
    EXPECT_TRUE(status.success);
    EXPECT_EQ(cached("p6"), 6);
    EXPECT_EQ(cached("p7"), -1);
    EXPECT_EQ(status.statusCode, RegexErrorCode::CacheFull);
    EXPECT_FALSE(status.success);
    EXPECT_EQ(cached("abc"), 1) << "cached ones are still found";

    regex.setPatternCacheMaxCount(9);
    EXPECT_EQ(regex.slotsUsed(), 7);
    regex.setPatternCacheMaxCount(8);
    EXPECT_EQ(regex.slotsUsed(), 0);
    EXPECT_EQ(cached("abc"), 0) << "the cache is empty too";
    regex.setPatternCacheMaxCount(-4);
    EXPECT_EQ(regex.patternCacheMaxCount(), 0);
}

// Past its 100 patterns the shared instance compiles per call, each thread with its own group.
TEST(PatternCache, SharedInstanceServesThreadsPastItsLimit) {
    StaticPatternTable& shared = regExStatic();
    shared.setPatternCacheMaxCount(0); // starts empty
    shared.setPatternCacheMaxCount(100);
    std::atomic<int> failures{0};
    std::vector<std::jthread> threads;
    threads.reserve(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &failures] {
            MatchResult result;
            std::string value;
            for (int i = 0; i < 150; ++i) {
                const std::string word = "w" + std::to_string((i * 7 + t) % 150);
                const std::string text = "..<" + word + ">..";
                if (!match("<(" + word + ")>", text, false, result)) {
                    ++failures;
                    continue;
                }
                groupValue(result, 1, value);
                failures += value != word || (result.patternID < 0) != (result.matchPatternID == 0);
            }
        });
    threads.clear(); // joins them
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(shared.slotsUsed(), 100);
    MatchResult result;
    const std::string text = "..X1000Y..";
    ASSERT_TRUE(match("x1000y", text, false, result));
    EXPECT_EQ(result.patternID, -1) << "the 101st pattern is compiled per call";
    EXPECT_EQ(result.matchPatternID, 0);
    shared.setPatternCacheMaxCount(0); // leave the shared instance empty for other tests
    shared.setPatternCacheMaxCount(100);
}

TEST(RegExObject, CallOutsReachTheHandlerAndDecide) {
    PatternSet regex;
    regex.setDefaultPatternOptions({NoStudy});
    const int32_t before = test::compile(regex, "a(?C1)b");
    int calls = 0;
    int32_t verdict = 0;
    regex.setOnCallOut([&](pcre2_callout_block& block, int32_t& result) {
        ++calls;
        EXPECT_EQ(block.callout_number, 1u);
        EXPECT_EQ(block.pattern_position, 6u) << "the place in the pattern as written";
        result = verdict;
    });
    const int32_t after = test::compile(regex, "c(?C1)d");
    MatchCollection results;
    EXPECT_TRUE(regex.matches(before, "ab", 2, 0, {}, results)) << "existing patterns get the data";
    EXPECT_TRUE(regex.matches(after, "cd", 2, 0, {}, results));
    EXPECT_EQ(calls, 2);
    verdict = 1; // fail at this point
    EXPECT_FALSE(regex.matches(before, "ab", 2, 0, {}, results));

    regex.setOnCallOut(nullptr);
    calls = 0;
    EXPECT_TRUE(regex.matches(before, "ab", 2, 0, {}, results));
    EXPECT_EQ(calls, 0);
}

} // namespace
} // namespace kestrava::regex
