// Matching: single matches, every match of a text, splitting, groups, JIT against interpreter.
#include "regex/internal/pattern_internals.h"
#include "regex/pcre_api.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

namespace kestrava::regex {
namespace {

using namespace std::string_literals;

struct Span {
    int32_t start;
    int32_t end;
    bool operator==(const Span&) const = default;
};

std::vector<Span> spans(const MatchCollection& results) {
    std::vector<Span> spans;
    for (const MatchResult& r : results)
        spans.push_back({r.groupStartEnd[0], r.groupStartEnd[1]});
    return spans;
}

std::vector<Span> allMatches(const std::string& pattern, const std::string& text,
                             PatternOptions options = {}) {
    PatternSet regex;
    regex.setDefaultPatternOptions(options);
    const int32_t id = test::compile(regex, pattern);
    MatchCollection results;
    regex.matches(id, text.data(), static_cast<uint32_t>(text.size()), 0, {}, results);
    return spans(results);
}

std::vector<std::string> splitOf(const std::string& pattern, const std::string& text) {
    std::vector<std::string> pieces{"stale"};
    split(pattern, text, false, pieces);
    return pieces;
}

TEST(Matches, ReportsEveryMatchOnceInOrder) {
    struct Case {
        const char* pattern;
        std::string text;
        std::vector<Span> expected;
        PatternOptions options{};
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
        // Empty matches step over whole UTF-8 characters (two e-acute here).
        {"x*", "\xC3\xA9\xC3\xA9", {{0, 0}, {2, 2}, {4, 4}}, {PatternOption::Utf8}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(allMatches(c.pattern, c.text, c.options), c.expected)
            << c.pattern << " on " << c.text;
}

TEST(Matches, GroupsThatDidNotTakePartAreMinusOne) {
    PatternSet regex;
    const int32_t id = test::compile(regex, "(a)|(b)(c)?");
    MatchCollection results;
    ASSERT_TRUE(regex.matches(id, "b", 1, 0, {}, results));
    const MatchResult& r = results[0];
    EXPECT_EQ(r.groupCount, 4);
    EXPECT_EQ(std::vector<int32_t>(r.groupStartEnd.begin(), r.groupStartEnd.begin() + 8),
              (std::vector<int32_t>{0, 1, -1, -1, 0, 1, -1, -1}));
    std::string value = "x";
    groupValue(r, 3, value);
    EXPECT_EQ(value, "");
    EXPECT_EQ(r.patternID, id);
    EXPECT_EQ(r.matchPatternID, 1);
}

TEST(Matches, StartOffsetBounds) {
    PatternSet regex;
    const int32_t id = test::compile(regex, "$");
    MatchCollection results;
    EXPECT_TRUE(regex.matches(id, "abc", 3, 3, {}, results)) << "equal to the length is allowed";
    const auto raised = test::raised([&] { regex.matches(id, "abc", 3, 4, {}, results); });
    EXPECT_EQ(raised.code, RegexErrorCode::StartAtTooLarge);
    EXPECT_EQ(
        raised.message,
        R"m("StartAt is greater than length of target. TargetLength = 3 but StartAt = 4." reported by Method "Matches" on Class "TldiRegExMulti".)m");
}

TEST(Matches, InvalidIDsAndFreedSlots) {
    PatternSet multi;
    MatchCollection results;
    EXPECT_EQ(
        test::raised([&] { multi.matches(7, "a", 1, 0, {}, results); }).message,
        R"m("Invalid PatternID (7)" reported by Method "Matches" on Class "TldiRegExMulti".)m");
    EXPECT_EQ(test::raised([&] { multi.matches(-1, "a", 1, 0, {}, results); }).code,
              RegexErrorCode::InvalidPatternID);
    StaticPatternTable cached;
    EXPECT_EQ(
        test::raised([&] { cached.matches(-1, "a", 1, 0, {}, results); }).message,
        R"m("No Active Pattern found" reported by Method "Matches" on Class "TldiRegExStatic".)m");
    const int32_t id = test::compile(multi, "a");
    multi.removePattern(id);
    EXPECT_EQ(test::raised([&] { multi.matches(id, "a", 1, 0, {}, results); }).code,
              RegexErrorCode::CompiledPatternNil);
}

TEST(Matches, WithoutCapturesOnlyTheWholeMatchIsKept) {
    PatternSet regex;
    const int32_t id = test::compile(regex, "(a)(b)");
    MatchCollection results;
    ASSERT_TRUE(regex.matches(id, "abab", 4, 0, {MatchOption::NoCapturing}, results));
    EXPECT_EQ(spans(results), (std::vector<Span>{{0, 2}, {2, 4}}));
    std::string value;
    EXPECT_EQ(test::raised([&] { groupValue(results[0], 1, value); }).code,
              RegexErrorCode::GroupNumOutOfBounds);
}

TEST(UnitLevel, MatchIsCaseInsensitiveAndDotAll) {
    MatchResult result;
    const std::string excluding = "<excluding x>";
    ASSERT_TRUE(match("EXCLUDING (.*?)>", excluding, false, result));
    std::string value;
    groupValue(result, 1, value);
    EXPECT_EQ(value, "x");
    const std::string lines = "a\nb";
    EXPECT_TRUE(match("a.b", lines, true, result)) << "throw-away path, same options";
    EXPECT_EQ(result.patternID, -1);
    clearMatchResult(result);
    EXPECT_FALSE(match("zzz", lines, false, result));
}

TEST(UnitLevel, PatternErrorsNameTheMethodWithoutClass) {
    MatchResult result;
    std::vector<std::string> pieces;
    const std::string x = "x";
    for (bool bypass : {false, true}) {
        EXPECT_EQ(
            test::raised([&] { match("a(", x, bypass, result); }).message,
            R"m("Error in Pattern: "missing closing parenthesis" at offset (2)" reported by Method "Match".)m");
        EXPECT_EQ(
            test::raised([&] { split("[", "x", bypass, pieces); }).message,
            R"m("Error in Pattern: "missing terminating ] for character class" at offset (1)" reported by Method "Split".)m");
    }
}

TEST(UnitLevel, GroupValueBounds) {
    MatchResult result;
    std::string value;
    const std::string abc = "abc";
    ASSERT_TRUE(match("(b)", abc, false, result));
    groupValue(result, 0, value);
    EXPECT_EQ(value, "b");
    EXPECT_EQ(test::raised([&] { groupValue(result, 2, value); }).message,
              R"m("GroupNum out of bounds (2)" reported by Method "GroupValue".)m");
    EXPECT_EQ(test::raised([&] { groupValue(result, -1, value); }).code,
              RegexErrorCode::GroupNumOutOfBounds);
    clearMatchResult(result);
    ASSERT_FALSE(match("(q)", abc, false, result));
    EXPECT_EQ(test::raised([&] { groupValue(result, 0, value); }).code,
              RegexErrorCode::GroupNumOutOfBounds)
        << "a result that did not match has no groups, not even 0";
}

TEST(UnitLevel, SplitPieces) {
    using P = std::vector<std::string>;
    EXPECT_EQ(splitOf("\\|", "a||b"), (P{"a", "", "b"}));
    EXPECT_EQ(splitOf("\\|", "a|"), (P{"a"}));
    EXPECT_EQ(splitOf("\\|", "|a"), (P{"", "a"}));
    EXPECT_EQ(splitOf("\\|", ""), (P{}));
    EXPECT_EQ(splitOf("\\|", "abc"), (P{"abc"}));
    EXPECT_EQ(splitOf("(<)|(>)", "a<b>c"), (P{"a", "<", "b", "", ">", "c"}));
    EXPECT_EQ(splitOf("x*", "axb"), (P{"a", "b"})) << "empty separators are never used";
    std::vector<std::string> pieces;
    split("\\|", "a|b", true, pieces);
    EXPECT_EQ(pieces, (P{"a", "b"})) << "throw-away path";
}

TEST(SplitToArray, LimitAndStartOffset) {
    PatternSet regex;
    const int32_t id = test::compile(regex, ",");
    std::vector<std::string> pieces;
    regex.splitToArray(id, "a,b,c,d", 7, 0, 2, pieces);
    EXPECT_EQ(pieces, (std::vector<std::string>{"a", "b", "c,d"}));
    regex.splitToArray(id, "a,b,c,d", 7, 2, -1, pieces);
    EXPECT_EQ(pieces, (std::vector<std::string>{"b", "c", "d"}));
    EXPECT_EQ(
        test::raised([&] { regex.splitToArray(id, "a", 1, 2, -1, pieces); }).message,
        R"m("StartAt is greater than length of target. TargetLength = 1 but StartAt = 2." reported by Method "SplitToArray".)m");
    EXPECT_EQ(
        test::raised([&] { regex.splitToArray(9, "a", 1, 0, -1, pieces); }).message,
        R"m("Invalid PatternID (9)" reported by Method "Split" on Class "TldiRegExMulti" when calling "SplitToArray".)m");
}

// Plain text and alternations of plain texts are found by a byte search; anything the engine
// might read differently is not.
TEST(JitAndInterpreter, OnlyPlainTextTakesTheLiteralSearch) {
    using Texts = std::vector<std::string>;
    const std::tuple<const char*, PatternOptions, Texts> literal[] = {
        {"abc", {PatternOption::IgnoreCase, PatternOption::DotMatchesAll}, {"abc"}},
        {"a b#c", {}, {"a b#c"}},
        {"caf\xE9", {PatternOption::IgnoreCase}, {"caf\xE9"}},
        {"struct|union|ab", {}, {"struct", "union", "ab"}}};
    const std::pair<const char*, PatternOptions> engine[] = {
        {"a.c", {}},
        {"a\\.c", {}},
        {"(?i)x", {}},
        {"", {}},
        {"ab", {PatternOption::Utf8}},
        {"a b", {PatternOption::IgnorePatternWhiteSpace}},
        {"ab", {PatternOption::Anchored}},
        {"ab", {PatternOption::NoStudy}},
        {"x{2}", {}},
        {"a|", {}},
        {"|a", {}},
        {"a||b", {}},
        {"a|b|c|d|e|f|g|h|i", {}}};
    for (const auto& [pattern, options, texts] : literal) {
        PatternSet regex;
        regex.setDefaultPatternOptions(options);
        EXPECT_EQ(regex.patternEntry(test::compile(regex, pattern))->compiled->literals(), texts)
            << pattern;
    }
    for (const auto& [pattern, options] : engine) {
        PatternSet regex;
        regex.setDefaultPatternOptions(options);
        EXPECT_EQ(regex.patternEntry(test::compile(regex, pattern))->compiled->literals(), Texts{})
            << pattern;
    }
    // Caseless folds A-Z only, as the engine's built-in tables do.
    EXPECT_EQ(allMatches("caf\xE9", "CAF\xC9 caf\xE9 Caf\xE9", {PatternOption::IgnoreCase}),
              (std::vector<Span>{{5, 9}, {10, 14}}));
    EXPECT_EQ(allMatches("aa", "aaaaa", {}), (std::vector<Span>{{0, 2}, {2, 4}}));
    // Leftmost first; at one place, the first alternative in pattern order.
    EXPECT_EQ(allMatches("ab|abc|b", "abc bc", {}), (std::vector<Span>{{0, 2}, {4, 5}}));
}

// Every group of every match, so two engines can be compared.
std::vector<std::vector<int32_t>> everyGroup(const std::string& pattern, const std::string& text,
                                             const PatternOptions& options, uint32_t from = 0) {
    PatternSet regex;
    regex.setDefaultPatternOptions(options);
    const int32_t id = test::compile(regex, pattern);
    MatchCollection results;
    regex.matches(id, text.data(), static_cast<uint32_t>(text.size()), from, {}, results);
    std::vector<std::vector<int32_t>> groups;
    for (const MatchResult& r : results) // past groupCount * 2 lies workspace
        groups.emplace_back(r.groupStartEnd.begin(),
                            r.groupStartEnd.begin() + std::ptrdiff_t{r.groupCount} * 2);
    return groups;
}

// The studied pattern (JIT, byte search, required text, line-bound search) against the
// interpreter, which never takes a shortcut, in both letter-case settings. At most two matches
// start at one place (an empty one, then a longer one), so the list is bounded by the text.
::testing::AssertionResult studiedFindsWhatTheInterpreterFinds(const std::string& pattern,
                                                               const std::string& text,
                                                               uint32_t from = 0,
                                                               PatternOptions options = {}) {
    options.include(PatternOption::DotMatchesAll);
    for (const bool caseless : {false, true}) {
        if (caseless)
            options.include(PatternOption::IgnoreCase);
        PatternOptions interpreted = options;
        interpreted.include(PatternOption::NoStudy);
        const auto studied = everyGroup(pattern, text, options, from);
        if (studied != everyGroup(pattern, text, interpreted, from) ||
            studied.size() > 2 * text.size() + 2)
            return ::testing::AssertionFailure()
                   << pattern << (caseless ? " caseless" : "") << " from " << from;
    }
    return ::testing::AssertionSuccess();
}

TEST(JitAndInterpreter, AgreeOnEveryGroupOfEveryMatch) {
    for (const std::vector<const char*>& group :
         {std::vector<const char*>{"abc", "a|b|cd", "\\b\\w+ing\\b", "(\\w+)@(\\w+)\\.com", "x*",
                                   "(a|ab)(c|bcd)(d*)", "^\\s*$", "(?m)^\\w", "[^\\n]*",
                                   "(?i)straSSe", "(?<y>\\d{4})-(?<m>\\d\\d)", "a(?=b)|(?<=a)b",
                                   ""},
          std::vector<const char*>{"\\d+?", "AbC", "b b", "ing", "(a+)*+$", "(?>(b)|a)+c", "^", "$",
                                   "\\b", "(?=a)", "\\B", "a??"}})
        for (const char* pattern : group)
            for (const std::string& text :
                 {""s, "abc abcd ab"s, "singing rings bring\nking ping"s,
                  "me@host.com, you@there.com"s, "abcd abd abcdd"s, "line one\n\n  \nline two\n"s,
                  "1999-12 2026-11-05"s, "Strasse STRASSE"s, "nul\0byte ab"s, "ABC abc aBc AbCd"s,
                  "b bb b"s, "RING ring Ring"s, "aaab"s, "abac"s, "ax xa\nb"s, "x\r\n\r\nxx\r\n"s,
                  "\xe9x\xff\x80 a\xc3\xa9"s, "\0x\0"s})
                EXPECT_TRUE(studiedFindsWhatTheInterpreterFinds(pattern, text)) << " on " << text;
}

// Random texts over small alphabets: the byte search in 16- and 32-byte steps, probing the rarest
// bytes wherever they stand, over bytes that tempt a careless case fold ('@' and '`' differ by the
// same bit as 'A' and 'a'); lines, word boundaries and the required text at both ends of lines and
// of the text.
TEST(JitAndInterpreter, ShortcutsFindWhatTheInterpreterFinds) {
    const std::tuple<std::vector<std::string>, std::string_view, size_t> cases[] = {
        {{"ab", "aB@", "`a", "a", "ba|ab", "a|ab|b@", "abab|ba|b", "@\n`", "aaaaaaaaaaaaaaaaab",
          "ab@|`b|Ba|bab|aab`|@a|ba@|aaa"},
         "abAB@`\n",
         130},
        {{"\\b\\w+_t\\b", "[a-z]+ing", "\\d+\\.\\d+", "x+yz", "a\\sb", "[^b]ab", "\\Ba_", "_\\b",
          "g\\W*i", "n.g", "[\\d_]+?_t", "i\\b\\w", "[a-z]+ing\\b", "\\B[g-z]+_t", "[^\\s]+ng\\B",
          "\\s+ng", "\\S+\\s+i"},
         "ingtxyz_ab1.\n\r\v NG",
         120},
    };
    // Plain texts and alternations go through the AVX2 steps and through the probes every
    // processor has.
    for (const bool avx2 : {true, false}) {
        useAvx2Steps(avx2);
        for (const auto& [patterns, alphabet, maxLength] : cases) {
            std::mt19937 random(7);
            std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
            std::uniform_int_distribution<size_t> length(0, maxLength);
            for (int round = 0; round < 200; ++round) {
                std::string text(length(random), ' ');
                for (char& c : text)
                    c = alphabet[pick(random)];
                for (const std::string& pattern : patterns)
                    ASSERT_TRUE(studiedFindsWhatTheInterpreterFinds(pattern, text))
                        << " on " << text << (avx2 ? "" : " without AVX2");
            }
        }
    }
    useAvx2Steps(true);
}

// A long text is searched a few megabytes at a time: a short alternative just past a piece's end
// must not win over a longer one that begins before it.
TEST(JitAndInterpreter, AlternativesAcrossTheEndOfASearchedPiece) {
    const size_t piece = pcre_api::kStopCheckBytes;
    std::string text = std::string(piece, 'x') + "abcdef" + std::string(2 * piece, 'x');
    for (const size_t end : {2 * piece, 3 * piece})
        text.replace(end - 3, 6, "aBcdef");
    for (const char* pattern : {"abcdef|cd", "cd|abcdef", "abcdef", "xa"})
        EXPECT_TRUE(studiedFindsWhatTheInterpreterFinds(pattern, text)) << pattern;
}

// Patterns that begin with \b and consume word bytes only get one attempt per run of them: on
// texts rich in letters, digits, underscores, bytes above 0x7F (in UTF-8 mode the Kelvin sign
// and the long s fold to k and s), searched from every place a caller may start and in windows
// that cut through the runs. The UTF-8 patterns and "(?:" with alternatives take no shortcut.
TEST(JitAndInterpreter, WordStartAttemptsFindWhatTheInterpreterFinds) {
    const std::pair<const char*, PatternOptions> patterns[] = {
        {"\\b(?:[A-Z][a-z]+){3}\\b", {}},
        {"\\b(?:[a-z]+){2}\\b", {}},
        {"\\b[a-z]{2,4}\\b", {}},
        {"\\b[K-S][a-z]{2}\\B", {}},
        {"\\b\\w{3}", {}},
        {"\\b(?:k[a-s]+)+?\\b", {}},
        {"\\b[a-z]+\\d*(?:_\\w){0}", {}},
        {"\\b(?:[a-z]|\\d)+\\b", {}},
        {"\\b[a-z]{3,}\\b", {PatternOption::Multiline, PatternOption::UnGreedy}},
        {"\\b[aksxQ1]{2,}", {}}, // more byte ranges than the vectorised test takes
        {"\\b\\w+\\b", {}},      // whole runs: the engine is not asked
        {"\\b(?:[a-z]*){2}[a-z]\\b", {}},
        {"\\b(?:[a-z]{2})+\\b", {}}, // runs of an odd length hold no match
        {"\\b\\w*+\\w\\b", {}},      // never matches: the possessive step leaves nothing
        {"\\b(?:[A-Z][a-z]+){3}\\b", {PatternOption::Utf8}},
        {"(*UTF8)\\b(?:[a-z]+){2}\\b", {}}};
    const char* alphabet[] = {"a",        "k",  "S",      "z",    "Q",        "x",
                              "1",        "_",  " ",      "-",    "\xC3\xA9", "\xE2\x84\xAA",
                              "\xC5\xBF", "ks", "Kelvin", "Long", "\n"};
    std::mt19937 random(13);
    std::uniform_int_distribution<size_t> pick(0, std::size(alphabet) - 1);
    std::uniform_int_distribution<size_t> length(0, 100);
    for (const uint32_t window : {0u, 3u}) {
        pcre_api::setThreadSearchWindow(window);
        for (int round = 0; round < 100; ++round) {
            std::string text;
            std::vector<uint32_t> starts{0}; // where a search may start: between characters
            for (size_t i = length(random); i > 0; --i) {
                text += alphabet[pick(random)];
                starts.push_back(static_cast<uint32_t>(text.size()));
            }
            std::uniform_int_distribution<size_t> place(0, starts.size() - 1);
            for (const uint32_t from : {0u, starts[place(random)], starts.back()})
                for (const auto& [pattern, options] : patterns)
                    ASSERT_TRUE(studiedFindsWhatTheInterpreterFinds(pattern, text, from, options))
                        << " on " << text << ", window " << window;
        }
    }
    pcre_api::setThreadSearchWindow(0);
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
        EXPECT_TRUE(studiedFindsWhatTheInterpreterFinds(pattern, text));
}

// What a pattern promises about its matches: a text each holds, and whether it stays in a line
// (no match holds a line break).
TEST(RequiredText, IsReadOnlyFromPatternsItFullyUnderstands) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"\\b\\w+_t\\b", "_t", true}, {"[a-z]+ing", "ing", true}, {"foo.*barbaz", "barbaz", false},
        {"a\\sbc", "bc", false},      {"x+yz", "xyz", true},      {"ab*cd", "cd", true},
        {"a\\nb", "a", false},        {"[^x]ing", "ing", false},  {"\\d+\\.\\d+", ".", true},
        {"a\\b-c", "a-c", true},      {"(a)bc", "", false},       {"^abc\\w", "", false},
        {"ab{2}", "ab", true},        {"\\x41bc", "", false},     {"[[:alpha:]]ing", "", false},
        {"\\Qab\\E", "", false},      {"abc$", "", false},        {"(?i)abc\\w", "", false},
        {"\\w+", "", false},          {"[]a]bc", "bc", true},     {"xa(?:b)?c", "xa", true},
        {"(?:abc)+d", "d", true},     {"a{,2}", "", false},       {"(?:a|b)cd", "", false},
        {"ab{2,x}", "", false}};
    for (const auto& [pattern, text, withinLine] : cases) {
        PatternSet regex;
        const RequiredText& required =
            regex.patternEntry(test::compile(regex, pattern))->compiled->required();
        EXPECT_EQ(required.text, text) << pattern;
        EXPECT_EQ(required.stops['\n'], withinLine) << pattern;
    }
}

// A pattern that begins with \b and consumes word bytes only is tried once per run, when the run
// is at least as long as the shortest match; between two \b, steps over one byte set that can
// take any length from the shortest up match each run whole (caseless here, [A-Z] is [a-z]).
TEST(RequiredText, WordStartLengthIsTheShortestMatch) {
    const std::tuple<const char*, uint32_t, bool> cases[] = {
        {"\\b(?:[A-Z][a-z]+){3}\\b", 6, true},
        {"\\b[a-z]{2,5}(?:x{3})?", 2, false},
        {"\\b(?:ab){0}c", 1, false},
        {"\\b\\w{3}(?:\\d{2,}){2}", 7, false},
        {"\\b\\w+_t\\b", 3, false},
        {"\\b\\w*", 0, false},
        {"\\b[a-z.]+", 0, false},
        {"a\\b\\w+", 0, false},
        {"\\b\\x61+", 0, false},
        {"\\b(?:a|b)+", 0, false},
        {"\\b\\w+\\b", 1, true},
        {"\\b(?:[a-z]*){2}[a-z]\\b", 1, true},
        {"\\b(?:[a-z]?)*[a-z]{3,}?\\b", 3, true},
        {"\\b(?:[a-z]{2})+\\b", 2, false},
        {"\\b(?:[a-z]+){0,2}\\b", 0, false},
        {"\\b[a-z]{2,9}\\b", 2, false},
        {"\\b[a-z]+\\d+\\b", 2, false},
        {"\\b[a-z]+\\B", 1, false},
        {"\\b[a-z]++[a-z]\\b", 2, false},
        {"\\b(?:[a-z]+\\b)", 1, false}};
    for (const auto& [pattern, length, whole] : cases) {
        PatternSet regex;
        const RequiredText& required =
            regex.patternEntry(test::compile(regex, pattern))->compiled->required();
        EXPECT_EQ(required.wordStartLength, length) << pattern;
        EXPECT_EQ(required.wholeRuns, whole) << pattern;
    }
}

// The bytes no match holds bound the runs searched; caseless, a letter stands for both cases.
TEST(RequiredText, StopBytesAreTheBytesNoStepConsumes) {
    for (const bool caseless : {false, true}) {
        PatternSet regex;
        regex.setDefaultPatternOptions(caseless ? PatternOptions{PatternOption::IgnoreCase}
                                                : PatternOptions{});
        const auto& stops =
            regex.patternEntry(test::compile(regex, "\\b[a-z]+ing"))->compiled->required().stops;
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
    std::vector<std::pair<const char*, PatternOptions>> patterns = {
        {"a.*?b", {PatternOption::DotMatchesAll}}, {"b$", {PatternOption::Multiline}},
        {"(*ANY)^b", {PatternOption::Multiline}},  {"(?:\xC3\xA9|a)+", {PatternOption::Utf8}},
        {".(?<=\xC3\xA9)", {PatternOption::Utf8}}, {"\xC3\xA9+b", {PatternOption::Utf8}}};
    // "(a+)*$|d(?=[^\n]*\\Z)": "$" before a line break that ends a window.
    for (const char* pattern :
         {"(a|ab)(c|bcd)(d*)", "a(?=b)|(?<=a)b", "(?!a)\\w|(?!a)", "\\bab\\b|\\Bb", "a.*b",
          "(?m)^a|b\\z", "a*|b??", "(?:ab)*", "(a)\\1+", "[^b]+c", "a\\Kb", "(?i)ab|", "b+$|c\\Z",
          "(a+)*$|d(?=[^\n]*\\Z)", "\\Ga|c", "a+(*COMMIT)b|c", "a{2,3}(?:b|c)"})
        patterns.emplace_back(pattern, PatternOptions{});
    const char* alphabet[] = {"a", "b", "c", "d", "\n", " ", "\xC3\xA9"};
    std::mt19937 random(5);
    std::uniform_int_distribution<size_t> pick(0, std::size(alphabet) - 1);
    std::uniform_int_distribution<size_t> length(0, 40);
    for (const uint32_t window : {1u, 2u, 3u, 5u, 8u}) {
        pcre_api::setThreadSearchWindow(window);
        for (int round = 0; round < 60; ++round) {
            std::string text;
            for (size_t i = length(random); i > 0; --i)
                text += alphabet[pick(random)];
            for (const auto& [pattern, options] : patterns) {
                PatternOptions interpreted = options;
                interpreted.include(PatternOption::NoStudy);
                ASSERT_EQ(everyGroup(pattern, text, options),
                          everyGroup(pattern, text, interpreted))
                    << pattern << " on " << text << ", window " << window;
                std::string pieces[2];
                std::vector<std::string> split[2];
                for (int i = 0; i < 2; ++i) {
                    PatternSet regex;
                    regex.setDefaultPatternOptions(i == 0 ? options : interpreted);
                    const int32_t id = test::compile(regex, pattern);
                    regex.replace(id, text, "<$0>", -1, 1, pieces[i]);
                    regex.splitToArray(id, text.data(), static_cast<uint32_t>(text.size()), 0, -1,
                                       split[i]);
                }
                ASSERT_EQ(pieces[0], pieces[1])
                    << pattern << " on " << text << ", window " << window;
                ASSERT_EQ(split[0], split[1]) << pattern << " on " << text << ", window " << window;
            }
        }
    }
    pcre_api::setThreadSearchWindow(0);
    // The library checks UTF-8 only as far as the text it is given reaches: a bad byte beyond
    // the first window must fail the search all the same.
    const std::string bad = "ab" + std::string(5000, 'c') + "\xFF";
    PatternSet regex;
    regex.setDefaultPatternOptions({PatternOption::Utf8});
    const int32_t id = test::compile(regex, "b");
    size_t found = 0;
    EXPECT_EQ(test::raised([&] {
                  regex.forEachMatch(id, bad.data(), static_cast<uint32_t>(bad.size()), 0, {},
                                     [&](MatchResult&) { ++found; });
              }).code,
              RegexErrorCode::BadUtf8);
    EXPECT_EQ(found, 0u) << "the first search already fails";
}

TEST(JitAndInterpreter, JitStackOverflowFallsBackToTheInterpreter) {
    pcre_api::setThreadJitStackLimit(pcre_api::kJitStackStart); // as small as it gets
    PatternSet regex;
    const int32_t id = test::compile(regex, "(?:(a)|b)*c");
    const std::string text = std::string(1000, 'a') + "c";
    MatchCollection results;
    EXPECT_TRUE(regex.matches(id, text.data(), static_cast<uint32_t>(text.size()), 0, {}, results));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].groupStartEnd[1], 1001);

    // Proof that a small stack really overflows: the JIT alone gives up.
    pcre2_jit_stack* stack = pcre2_jit_stack_create(1024, 1024, nullptr);
    pcre2_match_context* context = pcre2_match_context_create(nullptr);
    pcre2_jit_stack_assign(context, nullptr, stack);
    pcre2_match_data* data = pcre2_match_data_create(2, nullptr);
    EXPECT_EQ(pcre2_match(regex.patternEntry(id)->compiled->checked(),
                          reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0, data,
                          context),
              PCRE2_ERROR_JIT_STACKLIMIT);
    pcre2_match_data_free(data);
    pcre2_match_context_free(context);
    pcre2_jit_stack_free(stack);
    pcre_api::setThreadJitStackLimit(pcre_api::kJitStackMax);
}

// Runaway patterns end with the limit's error, never with "no match", studied or not; so does a
// recursion deep enough to break the interpreter's stack (at the library's own limit).
TEST(MatchLimit, IsReportedNeverNoMatchAndNeverACrash) {
    const struct {
        const char* name;
        const char* pattern;
        std::string text;
        bool deep = false; // the interpreter alone, with the default limit
    } cases[] = {
        {"nested plus", "(a+)+$", std::string(40, 'a') + "b"},
        {"alternation over 1 MB", "(.|\r\n)+$", std::string(1 << 20, 'x') + "\r\n\x01"},
        {"words and blanks", "^(\\w+\\s?)*$", std::string(40, 'w') + "!"},
        {"deep recursion", "(?:(a)|b)*c", std::string(2000000, 'a') + "c", true},
    };
    for (const auto& c : cases)
        for (const bool study : {true, false}) {
            if (study && c.deep)
                continue;
            SCOPED_TRACE(std::string(c.name) + (study ? " (JIT)" : " (interpreter)"));
            PatternSet regex;
            PatternOptions options = regex.defaultPatternOptions();
            if (!study)
                options.include(PatternOption::NoStudy);
            regex.setDefaultPatternOptions(options);
            if (!c.deep)
                regex.defaultMatchLimit = 100000; // keeps the interpreter's cases short
            const int32_t id = test::compile(regex, c.pattern);
            MatchCollection results;
            const auto raised = test::raised([&] {
                regex.matches(id, c.text.data(), static_cast<uint32_t>(c.text.size()), 0, {},
                              results);
            });
            EXPECT_EQ(raised.code, RegexErrorCode::MatchLimit);
            EXPECT_EQ(
                raised.message,
                R"m("The recursion and backtracking limit (MatchLimit) was reached" reported by Method "Matches" on Class "TldiRegExMulti" when calling "GetMatch".)m");
            EXPECT_TRUE(results.empty());
        }
}

} // namespace
} // namespace kestrava::regex
