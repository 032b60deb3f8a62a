// Matching: single matches, every match of a text, splitting, groups, JIT against interpreter.
#include "regex/ldiPcreAPI.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace kes {
namespace {

struct TSpan {
    int32_t Start;
    int32_t End;
    bool operator==(const TSpan&) const = default;
};

std::vector<TSpan> Spans(const TMatchCollection& results) {
    std::vector<TSpan> spans;
    for (const TMatchResult& r : results)
        spans.push_back({r.GroupStartEnd[0], r.GroupStartEnd[1]});
    return spans;
}

std::vector<TSpan> AllMatches(const std::string& pattern, const std::string& text,
                              TPatternOptions options = {}) {
    TldiRegExMulti regex;
    regex.SetDefaultPatternOptions(options);
    const int32_t id = test::Compile(regex, pattern);
    TMatchCollection results;
    regex.Matches(id, text.data(), static_cast<uint32_t>(text.size()), 0, {}, results);
    return Spans(results);
}

std::vector<std::string> SplitOf(const std::string& pattern, const std::string& text) {
    std::vector<std::string> pieces{"stale"};
    Split(pattern, text, false, pieces);
    return pieces;
}

TEST(Matches, ReportsEveryMatchOnceInOrder) {
    struct Case {
        const char* pattern;
        std::string text;
        std::vector<TSpan> expected;
    };
    const Case cases[] = {
        {"b", "abcabc", {{1, 2}, {4, 5}}},
        {"xyz", "abcabc", {}},
        {"c$", "abc", {{2, 3}}},                // ends exactly at the end: last search
        {"^a", "abc", {{0, 1}}},                // match at offset 0
        {"x*", "ab", {{0, 0}, {1, 1}, {2, 2}}}, // empty matches never loop
        {"a*", "baaac", {{0, 0}, {1, 4}, {4, 4}, {5, 5}}},
        {"a??", "aa", {{0, 0}, {0, 1}, {1, 1}, {1, 2}}}, // non-empty retried at the same place
        {"\\b", "ab cd", {{0, 0}, {2, 2}, {3, 3}, {5, 5}}},
        {"(?=b)|b", "abb", {{1, 1}, {1, 2}, {2, 2}, {2, 3}}},
        {"a|", "aXa", {{0, 1}, {1, 1}, {2, 3}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AllMatches(c.pattern, c.text), c.expected) << c.pattern << " on " << c.text;
}

TEST(Matches, EmptyMatchesStepOverWholeUtf8Characters) {
    const std::string text = "\xC3\xA9\xC3\xA9"; // two e-acute
    EXPECT_EQ(AllMatches("x*", text, {coUtf8}), (std::vector<TSpan>{{0, 0}, {2, 2}, {4, 4}}));
}

TEST(Matches, GroupsThatDidNotTakePartAreMinusOne) {
    TldiRegExMulti regex;
    const int32_t id = test::Compile(regex, "(a)|(b)(c)?");
    TMatchCollection results;
    ASSERT_TRUE(regex.Matches(id, "b", 1, 0, {}, results));
    const TMatchResult& r = results[0];
    EXPECT_EQ(r.GroupCount, 4);
    EXPECT_EQ(std::vector<int32_t>(r.GroupStartEnd.begin(), r.GroupStartEnd.begin() + 8),
              (std::vector<int32_t>{0, 1, -1, -1, 0, 1, -1, -1}));
    std::string value = "x";
    GroupValue(r, 3, value);
    EXPECT_EQ(value, "");
    EXPECT_EQ(r.PatternID, id);
    EXPECT_EQ(r.MatchPatternID, 1);
}

TEST(Matches, StartOffsetBounds) {
    TldiRegExMulti regex;
    const int32_t id = test::Compile(regex, "$");
    TMatchCollection results;
    EXPECT_TRUE(regex.Matches(id, "abc", 3, 3, {}, results)) << "equal to the length is allowed";
    const auto raised = test::Raised([&] { regex.Matches(id, "abc", 3, 4, {}, results); });
    EXPECT_EQ(raised.Code, reStartAtTooLarge);
    EXPECT_EQ(
        raised.Message,
        R"m("StartAt is greater than length of target. TargetLength = 3 but StartAt = 4." reported by Method "Matches" on Class "TldiRegExMulti".)m");
}

TEST(Matches, InvalidIDsAndFreedSlots) {
    TldiRegExMulti multi;
    TMatchCollection results;
    EXPECT_EQ(
        test::Raised([&] { multi.Matches(7, "a", 1, 0, {}, results); }).Message,
        R"m("Invalid PatternID (7)" reported by Method "Matches" on Class "TldiRegExMulti".)m");
    EXPECT_EQ(test::Raised([&] { multi.Matches(-1, "a", 1, 0, {}, results); }).Code,
              reInvalidPatternID);
    TldiRegExStatic cached;
    EXPECT_EQ(
        test::Raised([&] { cached.Matches(-1, "a", 1, 0, {}, results); }).Message,
        R"m("No Active Pattern found" reported by Method "Matches" on Class "TldiRegExStatic".)m");
    const int32_t id = test::Compile(multi, "a");
    multi.RemovePattern(id);
    EXPECT_EQ(test::Raised([&] { multi.Matches(id, "a", 1, 0, {}, results); }).Code,
              reCompiledPatternNil);
}

TEST(Matches, WithoutCapturesOnlyTheWholeMatchIsKept) {
    TldiRegExMulti regex;
    const int32_t id = test::Compile(regex, "(a)(b)");
    TMatchCollection results;
    ASSERT_TRUE(regex.Matches(id, "abab", 4, 0, {moNoCapturing}, results));
    EXPECT_EQ(Spans(results), (std::vector<TSpan>{{0, 2}, {2, 4}}));
    std::string value;
    EXPECT_EQ(test::Raised([&] { GroupValue(results[0], 1, value); }).Code, reGroupNumOutOfBounds);
}

TEST(UnitLevel, MatchIsCaseInsensitiveAndDotAll) {
    TMatchResult result;
    const std::string excluding = "<excluding x>";
    ASSERT_TRUE(Match("EXCLUDING (.*?)>", excluding, false, result));
    std::string value;
    GroupValue(result, 1, value);
    EXPECT_EQ(value, "x");
    const std::string lines = "a\nb";
    EXPECT_TRUE(Match("a.b", lines, true, result)) << "throw-away path, same options";
    EXPECT_EQ(result.PatternID, -1);
    ClearMatchResult(result);
    EXPECT_FALSE(Match("zzz", lines, false, result));
}

TEST(UnitLevel, PatternErrorsNameTheMethodWithoutClass) {
    TMatchResult result;
    std::vector<std::string> pieces;
    const std::string x = "x";
    for (bool bypass : {false, true}) {
        EXPECT_EQ(test::Raised([&] { Match("a(", x, bypass, result); }).Message,
                  R"m("Error in Pattern: "missing )" at offset (2)" reported by Method "Match".)m");
        EXPECT_EQ(
            test::Raised([&] { Split("[", "x", bypass, pieces); }).Message,
            R"m("Error in Pattern: "missing terminating ] for character class" at offset (1)" reported by Method "Split".)m");
    }
}

TEST(UnitLevel, GroupValueBounds) {
    TMatchResult result;
    std::string value;
    const std::string abc = "abc";
    ASSERT_TRUE(Match("(b)", abc, false, result));
    GroupValue(result, 0, value);
    EXPECT_EQ(value, "b");
    EXPECT_EQ(test::Raised([&] { GroupValue(result, 2, value); }).Message,
              R"m("GroupNum out of bounds (2)" reported by Method "GroupValue".)m");
    EXPECT_EQ(test::Raised([&] { GroupValue(result, -1, value); }).Code, reGroupNumOutOfBounds);
    ClearMatchResult(result);
    ASSERT_FALSE(Match("(q)", abc, false, result));
    EXPECT_EQ(test::Raised([&] { GroupValue(result, 0, value); }).Code, reGroupNumOutOfBounds)
        << "a result that did not match has no groups, not even 0";
}

TEST(UnitLevel, SplitPieces) {
    using P = std::vector<std::string>;
    EXPECT_EQ(SplitOf("\\|", "a||b"), (P{"a", "", "b"}));
    EXPECT_EQ(SplitOf("\\|", "a|"), (P{"a"}));
    EXPECT_EQ(SplitOf("\\|", "|a"), (P{"", "a"}));
    EXPECT_EQ(SplitOf("\\|", ""), (P{}));
    EXPECT_EQ(SplitOf("\\|", "abc"), (P{"abc"}));
    EXPECT_EQ(SplitOf("(<)|(>)", "a<b>c"), (P{"a", "<", "b", "", ">", "c"}));
    EXPECT_EQ(SplitOf("x*", "axb"), (P{"a", "b"})) << "empty separators are never used";
    std::vector<std::string> pieces;
    Split("\\|", "a|b", true, pieces);
    EXPECT_EQ(pieces, (P{"a", "b"})) << "throw-away path";
}

TEST(SplitToArray, LimitAndStartOffset) {
    TldiRegExMulti regex;
    const int32_t id = test::Compile(regex, ",");
    std::vector<std::string> pieces;
    regex.SplitToArray(id, "a,b,c,d", 7, 0, 2, pieces);
    EXPECT_EQ(pieces, (std::vector<std::string>{"a", "b", "c,d"}));
    regex.SplitToArray(id, "a,b,c,d", 7, 2, -1, pieces);
    EXPECT_EQ(pieces, (std::vector<std::string>{"b", "c", "d"}));
    EXPECT_EQ(
        test::Raised([&] { regex.SplitToArray(id, "a", 1, 2, -1, pieces); }).Message,
        R"m("StartAt is greater than length of target. TargetLength = 1 but StartAt = 2." reported by Method "SplitToArray".)m");
    EXPECT_EQ(
        test::Raised([&] { regex.SplitToArray(9, "a", 1, 0, -1, pieces); }).Message,
        R"m("Invalid PatternID (9)" reported by Method "Split" on Class "TldiRegExMulti" when calling "SplitToArray".)m");
}

// The same pattern compiled for the JIT (studied) and for the interpreter must agree exactly.
TEST(JitAndInterpreter, AgreeOnEveryMatch) {
    const char* patterns[] = {"abc",
                              "a|b|cd",
                              "\\b\\w+ing\\b",
                              "(\\w+)@(\\w+)\\.com",
                              "x*",
                              "(a|ab)(c|bcd)(d*)",
                              "^\\s*$",
                              "(?m)^\\w",
                              "[^\\n]*",
                              "(?i)straSSe",
                              "(?<y>\\d{4})-(?<m>\\d\\d)",
                              "a(?=b)|(?<=a)b",
                              "",
                              "\\d+?",
                              "AbC",
                              "b b",
                              "ing",
                              "(a+)*+$",
                              "(?>(b)|a)+c"};
    const std::string texts[] = {"",
                                 "abc abcd ab",
                                 "singing rings bring\nking ping",
                                 "me@host.com, you@there.com",
                                 "abcd abd abcdd",
                                 "line one\n\n  \nline two\n",
                                 "1999-12 2026-11-05",
                                 "Strasse STRASSE",
                                 std::string("nul\0byte ab", 11),
                                 "ABC abc aBc AbCd",
                                 "b bb b",
                                 "RING ring Ring",
                                 "aaab",
                                 "abac"};
    for (const char* pattern : patterns)
        for (const std::string& text : texts) {
            TldiRegExMulti jit;
            TldiRegExMulti interpreter;
            interpreter.SetDefaultPatternOptions({coIgnoreCase, coDotMatchesAll, coNoStudy});
            const int32_t a = test::Compile(jit, pattern);
            const int32_t b = test::Compile(interpreter, pattern);
            TMatchCollection ra;
            TMatchCollection rb;
            const auto length = static_cast<uint32_t>(text.size());
            jit.Matches(a, text.data(), length, 0, {}, ra);
            interpreter.Matches(b, text.data(), length, 0, {}, rb);
            ASSERT_EQ(ra.size(), rb.size()) << pattern << " on " << text;
            for (size_t i = 0; i < ra.size(); ++i) {
                const auto used =
                    static_cast<size_t>(ra[i].GroupCount) * 2; // the rest is workspace
                EXPECT_EQ(std::vector<int32_t>(ra[i].GroupStartEnd.begin(),
                                               ra[i].GroupStartEnd.begin() + used),
                          std::vector<int32_t>(rb[i].GroupStartEnd.begin(),
                                               rb[i].GroupStartEnd.begin() + used))
                    << pattern << " #" << i;
            }
        }
}

// Plain text and alternations of plain texts are found by a byte search; anything the engine
// might read differently is not.
TEST(JitAndInterpreter, OnlyPlainTextTakesTheLiteralSearch) {
    using TTexts = std::vector<std::string>;
    const std::tuple<const char*, TPatternOptions, TTexts> literal[] = {
        {"abc", {coIgnoreCase, coDotMatchesAll}, {"abc"}},
        {"a b#c", {}, {"a b#c"}},
        {"caf\xE9", {coIgnoreCase}, {"caf\xE9"}},
        {"struct|union|ab", {}, {"struct", "union", "ab"}}};
    const std::pair<const char*, TPatternOptions> engine[] = {{"a.c", {}},
                                                              {"a\\.c", {}},
                                                              {"(?i)x", {}},
                                                              {"", {}},
                                                              {"ab", {coUtf8}},
                                                              {"a b", {coIgnorePatternWhiteSpace}},
                                                              {"ab", {coAnchored}},
                                                              {"ab", {coNoStudy}},
                                                              {"x{2}", {}},
                                                              {"a|", {}},
                                                              {"|a", {}},
                                                              {"a||b", {}},
                                                              {"a|b|c|d|e|f|g|h|i", {}}};
    for (const auto& [pattern, options, texts] : literal) {
        TldiRegExMulti regex;
        regex.SetDefaultPatternOptions(options);
        EXPECT_EQ(regex.PatternEntry(test::Compile(regex, pattern))->Literals, texts) << pattern;
    }
    for (const auto& [pattern, options] : engine) {
        TldiRegExMulti regex;
        regex.SetDefaultPatternOptions(options);
        EXPECT_EQ(regex.PatternEntry(test::Compile(regex, pattern))->Literals, TTexts{}) << pattern;
    }
    // Caseless folds A-Z only, as the engine's built-in tables do.
    EXPECT_EQ(AllMatches("caf\xE9", "CAF\xC9 caf\xE9 Caf\xE9", {coIgnoreCase}),
              (std::vector<TSpan>{{5, 9}, {10, 14}}));
    EXPECT_EQ(AllMatches("aa", "aaaaa", {}), (std::vector<TSpan>{{0, 2}, {2, 4}}));
    // Leftmost first; at one place, the first alternative in pattern order.
    EXPECT_EQ(AllMatches("ab|abc|b", "abc bc", {}), (std::vector<TSpan>{{0, 2}, {4, 5}}));
}

// The studied pattern (byte search, required text, line-bound search) against the interpreter,
// which never takes a shortcut, in both letter-case settings.
::testing::AssertionResult StudiedFindsWhatTheInterpreterFinds(const std::string& pattern,
                                                               const std::string& text) {
    for (const bool caseless : {false, true}) {
        TPatternOptions options{coDotMatchesAll};
        if (caseless)
            options.Include(coIgnoreCase);
        TPatternOptions interpreted = options;
        interpreted.Include(coNoStudy);
        if (AllMatches(pattern, text, options) != AllMatches(pattern, text, interpreted))
            return ::testing::AssertionFailure() << pattern << (caseless ? " caseless" : "");
    }
    return ::testing::AssertionSuccess();
}

// Random texts over a small alphabet against the interpreter, which never takes a shortcut:
// the studied pattern (byte search, required text, line-bound search) must find the same.
void ExpectStudiedFindsWhatTheInterpreterFinds(const std::vector<std::string>& patterns,
                                               std::string_view alphabet, size_t maxLength,
                                               int rounds = 200) {
    std::mt19937 random(7);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<size_t> length(0, maxLength);
    for (int round = 0; round < rounds; ++round) {
        std::string text(length(random), ' ');
        for (char& c : text)
            c = alphabet[pick(random)];
        for (const std::string& pattern : patterns)
            ASSERT_TRUE(StudiedFindsWhatTheInterpreterFinds(pattern, text)) << " on " << text;
    }
}

// Texts long enough for the byte search's 16-byte steps, over bytes that tempt a careless case
// fold ('@' and '`' differ by the same bit as 'A' and 'a').
TEST(JitAndInterpreter, LiteralSearchFindsWhatTheInterpreterFinds) {
    ExpectStudiedFindsWhatTheInterpreterFinds(
        {"ab", "aB@", "`a", "a", "ba|ab", "a|ab|b@", "abab|ba|b", "@\n`", "aaaaaaaaaaaaaaaaab"},
        "abAB@`\n", 90);
}

// Lines, word boundaries and the required text at both ends of lines and of the text.
TEST(JitAndInterpreter, RequiredTextSearchFindsWhatTheInterpreterFinds) {
    ExpectStudiedFindsWhatTheInterpreterFinds(
        {"\\b\\w+_t\\b", "[a-z]+ing", "\\d+\\.\\d+", "x+yz", "a\\sb", "[^b]ab", "\\Ba_", "_\\b",
         "g\\W*i", "n.g", "[\\d_]+?_t", "i\\b\\w", "[a-z]+ing\\b", "\\B[g-z]+_t", "[^\\s]+ng\\B",
         "\\s+ng", "\\S+\\s+i"},
        "ingtxyz_ab1.\n\r\v NG", 120);
}

// Thousands of lines, nearly all holding a match: the line-bound search gives way to the engine
// alone part-way, and the matches must run on unbroken.
TEST(JitAndInterpreter, DenseMatchesFindWhatTheInterpreterFinds) {
    const char* words[] = {"sing", "rings", "thing", "go", "n_tn_t", "in g", "ING", "x_t"};
    std::mt19937 random(11);
    std::uniform_int_distribution<size_t> pick(0, std::size(words) - 1);
    std::string text;
    for (int line = 0; line < 3000; ++line) {
        for (int word = 0; word < 5; ++word)
            text += std::string(words[pick(random)]) + (word < 4 ? " " : "\n");
    }
    for (const char* pattern : {"[a-z]+ing", "\\bi\\w*g\\b", "n_t", "\\w_t\\b"})
        EXPECT_TRUE(StudiedFindsWhatTheInterpreterFinds(pattern, text));
}

// What a pattern promises about its matches: a text each holds, and whether it stays in a line
// (no match holds a line break).
TEST(RequiredText, IsReadOnlyFromPatternsItFullyUnderstands) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"\\b\\w+_t\\b", "_t", true}, {"[a-z]+ing", "ing", true}, {"foo.*barbaz", "barbaz", false},
        {"a\\sbc", "bc", false},      {"x+yz", "xyz", true},      {"ab*cd", "cd", true},
        {"a\\nb", "a", false},        {"[^x]ing", "ing", false},  {"\\d+\\.\\d+", ".", true},
        {"a\\b-c", "a-c", true},      {"(a)bc", "", false},       {"^abc\\w", "", false},
        {"ab{2}", "", false},         {"\\x41bc", "", false},     {"[[:alpha:]]ing", "", false},
        {"\\Qab\\E", "", false},      {"abc$", "", false},        {"(?i)abc\\w", "", false},
        {"\\w+", "", false},          {"[]a]bc", "bc", true}};
    for (const auto& [pattern, text, withinLine] : cases) {
        TldiRegExMulti regex;
        const TRequiredText& required = regex.PatternEntry(test::Compile(regex, pattern))->Required;
        EXPECT_EQ(required.Text, text) << pattern;
        EXPECT_EQ(required.Stops['\n'], withinLine) << pattern;
    }
}

// The bytes no match holds bound the runs searched; caseless, a letter stands for both cases.
TEST(RequiredText, StopBytesAreTheBytesNoStepConsumes) {
    for (const bool caseless : {false, true}) {
        TldiRegExMulti regex;
        regex.SetDefaultPatternOptions(caseless ? TPatternOptions{coIgnoreCase}
                                                : TPatternOptions{});
        const auto& stops =
            regex.PatternEntry(test::Compile(regex, "\\b[a-z]+ing"))->Required.Stops;
        EXPECT_FALSE(stops['a'] || stops['z'] || stops['i']);
        EXPECT_EQ(stops['A'] && stops['I'], !caseless);
        EXPECT_TRUE(stops['_'] && stops['0'] && stops[' '] && stops['\n'] && stops[0xE9]);
        EXPECT_EQ(stops.count(), caseless ? 256u - 52 : 256u - 26);
    }
}

// Studied patterns search window by window where the library can show a window's answer is
// the whole text's; tiny windows cut through every match and every attempt. Matches, Replace
// and Split (which search with "not empty") must come out as the interpreter's.
TEST(JitAndInterpreter, WindowedSearchFindsWhatTheInterpreterFinds) {
    const std::pair<const char*, TPatternOptions> patterns[] = {
        {"(a|ab)(c|bcd)(d*)", {}},
        {"a(?=b)|(?<=a)b", {}},
        {"(?!a)\\w|(?!a)", {}},
        {"\\bab\\b|\\Bb", {}},
        {"a.*?b", {coDotMatchesAll}},
        {"a.*b", {}},
        {"(?m)^a|b\\z", {}},
        {"a*|b??", {}},
        {"(?:ab)*", {}},
        {"(a)\\1+", {}},
        {"[^b]+c", {}},
        {"a\\Kb", {}},
        {"(?i)ab|", {}},
        {"b+$|c\\Z", {}},
        {"b$", {coMultiline}},
        {"(*ANY)^b", {coMultiline}},
        {"\\Ga|c", {}},
        {"a+(*COMMIT)b|c", {}},
        {"a{2,3}(?:b|c)", {}},
        {"(?:\xC3\xA9|a)+", {coUtf8}},
        {".(?<=\xC3\xA9)", {coUtf8}},
        {"\xC3\xA9+b", {coUtf8}},
    };
    const char* alphabet[] = {"a", "b", "c", "d", "\n", " ", "\xC3\xA9"};
    std::mt19937 random(5);
    std::uniform_int_distribution<size_t> pick(0, std::size(alphabet) - 1);
    std::uniform_int_distribution<size_t> length(0, 40);
    for (const uint32_t window : {1u, 2u, 3u, 5u, 8u}) {
        pcre_api::SetThreadSearchWindow(window);
        for (int round = 0; round < 60; ++round) {
            std::string text;
            for (size_t i = length(random); i > 0; --i)
                text += alphabet[pick(random)];
            for (const auto& [pattern, options] : patterns) {
                TPatternOptions interpreted = options;
                interpreted.Include(coNoStudy);
                ASSERT_EQ(AllMatches(pattern, text, options),
                          AllMatches(pattern, text, interpreted))
                    << pattern << " on " << text << ", window " << window;
                std::string pieces[2];
                std::vector<std::string> split[2];
                for (int i = 0; i < 2; ++i) {
                    TldiRegExMulti regex;
                    regex.SetDefaultPatternOptions(i == 0 ? options : interpreted);
                    const int32_t id = test::Compile(regex, pattern);
                    regex.Replace(id, text, "<$0>", -1, 1, pieces[i]);
                    regex.SplitToArray(id, text.data(), static_cast<uint32_t>(text.size()), 0, -1,
                                       split[i]);
                }
                ASSERT_EQ(pieces[0], pieces[1])
                    << pattern << " on " << text << ", window " << window;
                ASSERT_EQ(split[0], split[1]) << pattern << " on " << text << ", window " << window;
            }
        }
    }
    pcre_api::SetThreadSearchWindow(0);
    // The library checks UTF-8 only as far as the text it is given reaches: a bad byte beyond
    // the first window must fail the search all the same.
    const std::string bad = "ab" + std::string(5000, 'c') + "\xFF";
    TldiRegExMulti regex;
    regex.SetDefaultPatternOptions({coUtf8});
    const int32_t id = test::Compile(regex, "b");
    size_t found = 0;
    EXPECT_EQ(test::Raised([&] {
                  regex.ForEachMatch(id, bad.data(), static_cast<uint32_t>(bad.size()), 0, {},
                                     [&](TMatchResult&) { ++found; });
              }).Code,
              reBadUtf8);
    EXPECT_EQ(found, 0u) << "the first search already fails";
}

TEST(JitAndInterpreter, JitStackOverflowFallsBackToTheInterpreter) {
    pcre_api::SetThreadJitStackLimit(pcre_api::kJitStackStart); // as small as it gets
    TldiRegExMulti regex;
    const int32_t id = test::Compile(regex, "(?:(a)|b)*c");
    const std::string text = std::string(1000, 'a') + "c";
    TMatchCollection results;
    EXPECT_TRUE(regex.Matches(id, text.data(), static_cast<uint32_t>(text.size()), 0, {}, results));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].GroupStartEnd[1], 1001);

    // Proof that the small stack really overflows: the JIT alone gives up.
    std::vector<int> ovector(6);
    const int rc =
        pcre_exec(regex.PatternEntry(id)->Compiled.get(), regex.PatternEntry(id)->Extra.get(),
                  text.data(), static_cast<int>(text.size()), 0, 0, ovector.data(), 6);
    EXPECT_EQ(rc, PCRE_ERROR_JIT_STACKLIMIT);
    pcre_api::SetThreadJitStackLimit(pcre_api::kJitStackMax);
}

TEST(JitAndInterpreter, DeepInterpreterRecursionIsAnErrorNotACrash) {
    TldiRegExMulti regex;
    regex.SetDefaultPatternOptions({coNoStudy});
    const int32_t id = test::Compile(regex, "(?:(a)|b)*c");
    const std::string text = std::string(2000000, 'a') + "c";
    TMatchCollection results;
    EXPECT_EQ(test::Raised([&] {
                  regex.Matches(id, text.data(), static_cast<uint32_t>(text.size()), 0, {},
                                results);
              }).Code,
              reMatchLimit);
}

} // namespace
} // namespace kes
