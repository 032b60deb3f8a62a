// Matching: every match of a text, groups, splitting, errors and limits, and every shortcut a
// studied pattern takes (JIT, byte search, required text, word starts, windows) against the
// interpreter, which takes none.
#include "regex/internal/pattern_internals.h"
#include "regex/pcre_api.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <tuple>

namespace kestrava::regex {
namespace {

using namespace std::string_literals;
using enum PatternOption;
using Groups = std::vector<std::vector<int32_t>>; // start and end of each group, per match

Groups everyGroup(PatternSet& regex, int32_t id, const std::string& text, uint32_t from = 0) {
    MatchCollection results;
    regex.matches(id, text.data(), static_cast<uint32_t>(text.size()), from, {}, results);
    Groups groups;
    for (const MatchResult& r : results) // past groupCount * 2 lies workspace
        groups.emplace_back(r.groupStartEnd.begin(),
                            r.groupStartEnd.begin() + std::ptrdiff_t{r.groupCount} * 2);
    return groups;
}

TEST(Matches, ReportsEveryMatchOnceInOrder) {
    const struct {
        const char* pattern;
        std::string text;
        Groups expected;
        PatternOptions options{};
    } cases[] = {
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
        {"(a)|(b)(c)?", "b", {{0, 1, -1, -1, 0, 1, -1, -1}}}, // groups not taking part: -1
        // Empty matches step over whole UTF-8 characters (two e-acute here).
        {"x*", "\xC3\xA9\xC3\xA9", {{0, 0}, {2, 2}, {4, 4}}, {Utf8}},
        // The byte search folds A-Z only, as the engine's built-in tables do; it resumes after
        // a match, and at one place takes the first alternative in pattern order.
        {"caf\xE9", "CAF\xC9 caf\xE9 Caf\xE9", {{5, 9}, {10, 14}}, {IgnoreCase}},
        {"aa", "aaaaa", {{0, 2}, {2, 4}}},
        {"ab|abc|b", "abc bc", {{0, 2}, {4, 5}}},
    };
    for (const auto& c : cases) {
        PatternSet regex;
        regex.setDefaultPatternOptions(c.options);
        EXPECT_EQ(everyGroup(regex, test::compile(regex, c.pattern), c.text), c.expected)
            << c.pattern << " on " << c.text;
    }
}

// Every failure raises its code; the message names the method, the class (only objects have
// one) and the inner call.
TEST(Errors, NameTheMethodTheClassAndTheInnerCall) {
    using enum RegexErrorCode;
    PatternSet multi;
    const int32_t id = test::compile(multi, "(b)");
    const int32_t freed = test::compile(multi, "a");
    multi.removePattern(freed);
    StaticPatternTable cached;
    MatchCollection results;
    MatchCollection whole;
    ASSERT_TRUE(multi.matches(id, "abab", 4, 0, {MatchOption::NoCapturing}, whole));
    ASSERT_EQ(whole.size(), 2u);
    EXPECT_EQ(whole[1].groupCount, 1) << "without captures only the whole match is kept";
    EXPECT_EQ(whole[1].groupStartEnd[0], 3);
    EXPECT_EQ(whole[1].patternID, id);
    EXPECT_EQ(whole[1].matchPatternID, 1);
    const std::string abc = "abc";
    MatchResult found;
    MatchResult missed;
    MatchResult scratch;
    ASSERT_TRUE(match("(b)", abc, false, found));
    ASSERT_FALSE(match("(q)", abc, false, missed));
    std::string value;
    std::string output;
    std::vector<std::string> pieces;
    // UTF-8 is checked only as far as the text given reaches: a bad byte beyond the first
    // window must fail the search all the same, and before any match is told.
    const std::string bad = "ab" + std::string(5000, 'c') + "\xFF";
    PatternSet utf8;
    utf8.setDefaultPatternOptions({Utf8});
    const int32_t b = test::compile(utf8, "b");
    const struct {
        const char* what;
        std::function<void()> action;
        RegexErrorCode code;
        const char* message = nullptr;
    } cases[] = {
        {"start past the end", [&] { multi.matches(id, "abc", 3, 4, {}, results); },
         StartAtTooLarge,
         R"m("StartAt is greater than length of target. TargetLength = 3 but StartAt = 4." reported by Method "Matches" on Class "TldiRegExMulti".)m"},
        {"unknown ID", [&] { multi.matches(7, "a", 1, 0, {}, results); }, InvalidPatternID,
         R"m("Invalid PatternID (7)" reported by Method "Matches" on Class "TldiRegExMulti".)m"},
        {"negative ID", [&] { multi.matches(-1, "a", 1, 0, {}, results); }, InvalidPatternID},
        {"freed slot", [&] { multi.matches(freed, "a", 1, 0, {}, results); }, CompiledPatternNil},
        {"empty cache", [&] { cached.matches(-1, "a", 1, 0, {}, results); }, NoActivePattern,
         R"m("No Active Pattern found" reported by Method "Matches" on Class "TldiRegExStatic".)m"},
        {"remove unknown", [&] { multi.removePattern(5); }, InvalidPatternID,
         R"m("Invalid PatternID (5)" reported by Method "RemovePattern" on Class "TldiRegExMulti".)m"},
        {"group past the last", [&] { groupValue(found, 2, value); }, GroupNumOutOfBounds,
         R"m("GroupNum out of bounds (2)" reported by Method "GroupValue".)m"},
        {"negative group", [&] { groupValue(found, -1, value); }, GroupNumOutOfBounds},
        {"no match, not even group 0", [&] { groupValue(missed, 0, value); }, GroupNumOutOfBounds},
        {"group not captured", [&] { groupValue(whole[0], 1, value); }, GroupNumOutOfBounds},
        {"unit pattern", [&] { match("a(", abc, false, scratch); }, PatternError,
         R"m("Error in Pattern: "missing closing parenthesis" at offset (2)" reported by Method "Match".)m"},
        {"throw-away pattern", [&] { match("a(", abc, true, scratch); }, PatternError,
         R"m("Error in Pattern: "missing closing parenthesis" at offset (2)" reported by Method "Match".)m"},
        {"unit split", [&] { split("[", "x", false, pieces); }, PatternError,
         R"m("Error in Pattern: "missing terminating ] for character class" at offset (1)" reported by Method "Split".)m"},
        {"throw-away split", [&] { split("[", "x", true, pieces); }, PatternError,
         R"m("Error in Pattern: "missing terminating ] for character class" at offset (1)" reported by Method "Split".)m"},
        {"split start", [&] { multi.splitToArray(id, "a", 1, 2, -1, pieces); }, StartAtTooLarge,
         R"m("StartAt is greater than length of target. TargetLength = 1 but StartAt = 2." reported by Method "SplitToArray".)m"},
        {"split ID", [&] { multi.splitToArray(9, "a", 1, 0, -1, pieces); }, InvalidPatternID,
         R"m("Invalid PatternID (9)" reported by Method "Split" on Class "TldiRegExMulti" when calling "SplitToArray".)m"},
        {"replace start 0", [&] { multi.replace(id, "abc", "x", -1, 0, output); }, StartAtTooSmall,
         R"m("StartAt must be greater than 0 -(0) is invalid" reported by Method "Replace" on Class "TldiRegExMulti".)m"},
        {"replace start", [&] { multi.replace(id, "abc", "x", -1, 5, output); }, StartAtTooLarge,
         R"m("StartAt is greater than length of target. TargetLength = 3 but StartAt = 4." reported by Method "Match" on Class "TldiRegExMulti" when calling "MatchAndReplace".)m"},
        {"bad UTF-8",
         [&] {
             utf8.forEachMatch(b, bad.data(), static_cast<uint32_t>(bad.size()), 0, {},
                               [](MatchResult&) { ADD_FAILURE() << "a match was told"; });
         },
         BadUtf8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const test::Raised raised = test::raised(c.action);
        EXPECT_EQ(raised.code, c.code);
        if (c.message != nullptr) {
            EXPECT_EQ(raised.message, c.message);
        }
    }
    multi.replace(freed, "aaa", "b", -1, 1, output);
    EXPECT_EQ(output, "aaa") << "Replace copies the target where Matches finds a freed slot";
}

// The shared instance matches case-insensitively with "." across lines, cached or not.
TEST(UnitLevel, MatchAndGroupValue) {
    MatchResult result;
    std::string value = "stale";
    const std::string excluding = "<excluding x>";
    ASSERT_TRUE(match("EXCLUDING (.*?)>|(y)", excluding, false, result));
    groupValue(result, 1, value);
    EXPECT_EQ(value, "x");
    groupValue(result, 2, value);
    EXPECT_EQ(value, "") << "a group that did not take part";
    groupValue(result, 0, value);
    EXPECT_EQ(value, "excluding x>");
    const std::string lines = "a\nb";
    EXPECT_TRUE(match("a.b", lines, true, result));
    EXPECT_EQ(result.patternID, -1) << "throw-away";
    clearMatchResult(result);
    EXPECT_FALSE(match("zzz", lines, false, result));
}

// The pieces between non-empty matches, with each group's text between them; the unit-level
// Split, cached or not, gives what SplitToArray gives without a limit.
TEST(Split, PiecesLimitAndStart) {
    using P = std::vector<std::string>;
    const struct {
        const char* pattern;
        const char* text;
        P expected;
        int32_t limit = -1;
        uint32_t from = 0;
    } cases[] = {
        {"\\|", "a||b", {"a", "", "b"}},
        {"\\|", "a|", {"a"}},
        {"\\|", "|a", {"", "a"}},
        {"\\|", "", {}},
        {"\\|", "abc", {"abc"}},
        {"(<)|(>)", "a<b>c", {"a", "<", "b", "", ">", "c"}},
        {"x*", "axb", {"a", "b"}}, // empty separators are never used
        {",", "a,b,c,d", {"a", "b", "c,d"}, 2},
        {",", "a,b,c,d", {"b", "c", "d"}, -1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " on " + c.text);
        PatternSet regex;
        P pieces{"stale"};
        regex.splitToArray(test::compile(regex, c.pattern), c.text,
                           static_cast<uint32_t>(std::strlen(c.text)), c.from, c.limit, pieces);
        EXPECT_EQ(pieces, c.expected);
        for (const bool bypass : {false, true})
            if (c.limit < 0 && c.from == 0) {
                pieces = {"stale"};
                split(c.pattern, c.text, bypass, pieces);
                EXPECT_EQ(pieces, c.expected) << "unit level, bypass " << bypass;
            }
    }
}

// Plain text and alternations of plain texts are found by a byte search; anything the engine
// might read differently is not.
TEST(LiteralSearch, OnlyPlainTextTakesIt) {
    using Texts = std::vector<std::string>;
    const std::tuple<const char*, PatternOptions, Texts> cases[] = {
        {"abc", {IgnoreCase, DotMatchesAll}, {"abc"}},
        {"a b#c", {}, {"a b#c"}},
        {"caf\xE9", {IgnoreCase}, {"caf\xE9"}},
        {"struct|union|ab", {}, {"struct", "union", "ab"}},
        {"a.c", {}, {}},
        {"a\\.c", {}, {}},
        {"(?i)x", {}, {}},
        {"", {}, {}},
        {"ab", {Utf8}, {}},
        {"a b", {IgnorePatternWhiteSpace}, {}},
        {"ab", {Anchored}, {}},
        {"ab", {NoStudy}, {}},
        {"x{2}", {}, {}},
        {"a|", {}, {}},
        {"|a", {}, {}},
        {"a||b", {}, {}},
        {"a|b|c|d|e|f|g|h|i", {}, {}}};
    for (const auto& [pattern, options, texts] : cases) {
        PatternSet regex;
        regex.setDefaultPatternOptions(options);
        EXPECT_EQ(regex.patternEntry(test::compile(regex, pattern))->compiled->literals(), texts)
            << pattern;
    }
}

// A pattern compiled twice: studied, and for the interpreter alone.
class Twins {
  public:
    Twins(const std::string& pattern, PatternOptions options) : m_pattern(pattern) {
        m_sets[0].setDefaultPatternOptions(options);
        options.include(NoStudy);
        m_sets[1].setDefaultPatternOptions(options);
        for (int i = 0; i < 2; ++i)
            m_ids[i] = test::compile(m_sets[i], pattern);
    }

    // Every group of every match, and what Replace and Split (which search "not empty") make
    // of the text. At most two matches start at one place (an empty one, then a longer one).
    ::testing::AssertionResult agree(const std::string& text, uint32_t from) {
        Groups groups[2];
        std::string replaced[2];
        std::vector<std::string> pieces[2];
        for (int i = 0; i < 2; ++i) {
            groups[i] = everyGroup(m_sets[i], m_ids[i], text, from);
            m_sets[i].replace(m_ids[i], text, "<$0>", -1, static_cast<int32_t>(from) + 1,
                              replaced[i]);
            m_sets[i].splitToArray(m_ids[i], text.data(), static_cast<uint32_t>(text.size()), from,
                                   -1, pieces[i]);
        }
        const char* differs = nullptr;
        if (groups[0] != groups[1] || groups[0].size() > 2 * text.size() + 2)
            differs = "matches";
        else if (replaced[0] != replaced[1])
            differs = "replace";
        else if (pieces[0] != pieces[1])
            differs = "split";
        if (differs == nullptr)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << m_pattern << ": " << differs << " from " << from << " on " << text.substr(0, 300);
    }

  private:
    std::string m_pattern;
    PatternSet m_sets[2];
    int32_t m_ids[2] = {};
};

std::vector<std::string> bytesOf(std::string_view text) {
    std::vector<std::string> bytes;
    for (const char c : text)
        bytes.emplace_back(1, c);
    return bytes;
}

// Texts of `minPieces` to `maxPieces` pieces drawn at random.
struct RandomTexts {
    std::vector<std::string> pieces;
    size_t minPieces = 0;
    size_t maxPieces = 0;
    int rounds = 0;
};

// Fixed texts, then random ones, searched by each pattern in both letter-case settings and in
// each search window given (0: the usual one).
struct Fuzz {
    const char* what;
    std::vector<const char*> patterns;
    PatternOptions options = {DotMatchesAll};
    std::vector<std::pair<const char*, PatternOptions>> ownOptions{}; // instead of the row's
    std::vector<std::string> texts{};
    RandomTexts random{};
    std::vector<uint32_t> windows = {0};
    bool anyStart = false; // also from a random place between pieces, and from the end
};

// A long text is searched a few megabytes at a time: a short alternative just past a piece's end
// must not win over a longer one that begins before it.
std::string acrossPieceEnds() {
    const size_t piece = pcre_api::kStopCheckBytes;
    std::string text = std::string(piece, 'x') + "abcdef" + std::string(2 * piece, 'x');
    for (const size_t end : {2 * piece, 3 * piece})
        text.replace(end - 3, 6, "aBcdef");
    return text;
}

const std::vector<std::string> kTexts = {""s,
                                         "abc abcd ab"s,
                                         "singing rings bring\nking ping"s,
                                         "me@host.com, you@there.com"s,
                                         "abcd abd abcdd"s,
                                         "line one\n\n  \nline two\n"s,
                                         "1999-12 2026-11-05"s,
                                         "Strasse STRASSE"s,
                                         "nul\0byte ab"s,
                                         "ABC abc aBc AbCd"s,
                                         "b bb b"s,
                                         "RING ring Ring"s,
                                         "aaab"s,
                                         "abac"s,
                                         "ax xa\nb"s,
                                         "x\r\n\r\nxx\r\n"s,
                                         "\xe9x\xff\x80 a\xc3\xa9"s,
                                         "\0x\0"s};

const Fuzz kFuzz[] = {
    {.what = "groups",
     .patterns = {"abc", "a|b|cd", "\\b\\w+ing\\b", "(\\w+)@(\\w+)\\.com", "(a|ab)(c|bcd)(d*)",
                  "(?i)straSSe", "(?<y>\\d{4})-(?<m>\\d\\d)", "a(?=b)|(?<=a)b", "AbC", "b b", "ing",
                  "(a+)*+$", "(?>(b)|a)+c"},
     .texts = kTexts},
    {.what = "empty matches",
     .patterns = {"x*", "^\\s*$", "(?m)^\\w", "[^\\n]*", "\\d+?", "^", "$", "\\b", "(?=a)", "\\B",
                  "a??", ""},
     .texts = kTexts},
    // The byte search in 16- and 32-byte steps (and without AVX2 every other text), probing the
    // rarest bytes wherever they stand, over bytes that tempt a careless case fold ('@' and '`'
    // differ by the same bit as 'A' and 'a').
    {.what = "byte search",
     .patterns = {"ab", "aB@", "`a", "a", "ba|ab", "a|ab|b@", "abab|ba|b", "@\n`",
                  "aaaaaaaaaaaaaaaaab", "ab@|`b|Ba|bab|aab`|@a|ba@|aaa"},
     .random = {bytesOf("abAB@`\n"), 0, 130, 200}},
    // Lines, word boundaries and the required text at both ends of lines and of the text.
    {.what = "required text",
     .patterns = {"\\b\\w+_t\\b", "[a-z]+ing", "\\d+\\.\\d+", "x+yz", "a\\sb", "[^b]ab", "\\Ba_",
                  "_\\b", "g\\W*i", "n.g", "[\\d_]+?_t", "i\\b\\w", "[a-z]+ing\\b", "\\B[g-z]+_t",
                  "[^\\s]+ng\\B", "\\s+ng", "\\S+\\s+i"},
     .random = {bytesOf("ingtxyz_ab1.\n\r\v NG"), 0, 120, 200}},
    {.what = "piece ends",
     .patterns = {"abcdef|cd", "cd|abcdef", "abcdef", "xa"},
     .texts = {acrossPieceEnds()}},
    // Thousands of lines, nearly all holding a match: the line-bound search gives way to the
    // engine alone part-way, and the matches must run on unbroken.
    {.what = "dense lines",
     .patterns = {"[a-z]+ing", "\\bi\\w*g\\b", "n_t", "\\w_t\\b"},
     .random = {{"sing ", "rings ", "thing ", "go ", "n_tn_t ", "in g ", "ING ", "x_t ", "\n"},
                20000,
                20000,
                1}},
    // Patterns that begin with \b and consume word bytes only get one attempt per run of them:
    // texts rich in letters, digits, underscores, bytes above 0x7F (in UTF-8 mode the Kelvin
    // sign and the long s fold to k and s), searched from places a caller may start and in
    // windows that cut through the runs. The UTF-8 patterns and "(?:" with alternatives take
    // no shortcut.
    {.what = "word starts",
     .patterns = {"\\b(?:[A-Z][a-z]+){3}\\b", "\\b(?:[a-z]+){2}\\b", "\\b[a-z]{2,4}\\b",
                  "\\b[K-S][a-z]{2}\\B", "\\b\\w{3}", "\\b(?:k[a-s]+)+?\\b",
                  "\\b[a-z]+\\d*(?:_\\w){0}", "\\b(?:[a-z]|\\d)+\\b", "\\b(?:[a-z]*){2}[a-z]\\b",
                  "(*UTF8)\\b(?:[a-z]+){2}\\b",
                  "\\b[aksxQ1]{2,}",     // more byte ranges than the vectorised test takes
                  "\\b\\w+\\b",          // whole runs: the engine is not asked
                  "\\b(?:[a-z]{2})+\\b", // runs of an odd length hold no match
                  "\\b\\w*+\\w\\b"},     // never matches: the possessive step leaves nothing
     .ownOptions = {{"\\b[a-z]{3,}\\b", {DotMatchesAll, Multiline, UnGreedy}},
                    {"\\b(?:[A-Z][a-z]+){3}\\b", {DotMatchesAll, Utf8}}},
     .random = {{"a", "k", "S", "z", "Q", "x", "1", "_", " ", "-", "\xC3\xA9", "\xE2\x84\xAA",
                 "\xC5\xBF", "ks", "Kelvin", "Long", "\n"},
                0,
                100,
                100},
     .windows = {0, 3},
     .anyStart = true},
    // Studied patterns search window by window where the library can show a window's answer is
    // the whole text's; tiny windows cut through every match and every attempt.
    {.what = "windows",
     .patterns = {"(a|ab)(c|bcd)(d*)", "a(?=b)|(?<=a)b", "(?!a)\\w|(?!a)", "\\bab\\b|\\Bb", "a.*b",
                  "(?m)^a|b\\z", "a*|b??", "(?:ab)*", "(a)\\1+", "[^b]+c", "a\\Kb", "(?i)ab|",
                  "b+$|c\\Z", "\\Ga|c", "a+(*COMMIT)b|c", "a{2,3}(?:b|c)",
                  "(a+)*$|d(?=[^\n]*\\Z)"}, // "$" before a line break that ends a window
     .options = {},
     .ownOptions = {{"a.*?b", {DotMatchesAll}},
                    {"b$", {Multiline}},
                    {"(*ANY)^b", {Multiline}},
                    {"(?:\xC3\xA9|a)+", {Utf8}},
                    {".(?<=\xC3\xA9)", {Utf8}},
                    {"\xC3\xA9+b", {Utf8}}},
     .random = {{"a", "b", "c", "d", "\n", " ", "\xC3\xA9"}, 0, 40, 60},
     .windows = {1, 2, 3, 5, 8}},
};

TEST(JitAndInterpreter, EveryShortcutFindsWhatTheInterpreterFinds) {
    for (const Fuzz& row : kFuzz) {
        SCOPED_TRACE(row.what);
        std::mt19937 random(7);
        std::vector<std::string> texts = row.texts;
        std::vector<std::vector<uint32_t>> starts(texts.size(), {0});
        const RandomTexts& made = row.random;
        for (int round = 0; round < made.rounds; ++round) {
            std::uniform_int_distribution<size_t> length(made.minPieces, made.maxPieces);
            std::uniform_int_distribution<size_t> pick(0, made.pieces.size() - 1);
            std::string text;
            std::vector<uint32_t> ends{0}; // where a search may start: between pieces
            for (size_t i = length(random); i > 0; --i) {
                text += made.pieces[pick(random)];
                ends.push_back(static_cast<uint32_t>(text.size()));
            }
            std::uniform_int_distribution<size_t> place(0, ends.size() - 1);
            starts.push_back(row.anyStart
                                 ? std::vector<uint32_t>{0, ends[place(random)], ends.back()}
                                 : std::vector<uint32_t>{0});
            texts.push_back(std::move(text));
        }
        auto patterns = row.ownOptions;
        for (const char* pattern : row.patterns)
            patterns.emplace_back(pattern, row.options);
        for (const uint32_t window : row.windows) {
            pcre_api::setThreadSearchWindow(window);
            for (const auto& [pattern, rowOptions] : patterns)
                for (const bool caseless : {false, true}) {
                    PatternOptions options = rowOptions;
                    if (caseless)
                        options.include(IgnoreCase);
                    Twins twins(pattern, options);
                    for (size_t i = 0; i < texts.size(); ++i) {
                        useAvx2Steps(i % 2 == 0);
                        for (const uint32_t from : starts[i])
                            ASSERT_TRUE(twins.agree(texts[i], from))
                                << "window " << window << (caseless ? ", caseless" : "");
                    }
                }
        }
    }
    pcre_api::setThreadSearchWindow(0);
    useAvx2Steps(true);
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
        regex.setDefaultPatternOptions(caseless ? PatternOptions{IgnoreCase} : PatternOptions{});
        const auto& stops =
            regex.patternEntry(test::compile(regex, "\\b[a-z]+ing"))->compiled->required().stops;
        EXPECT_FALSE(stops['a'] || stops['z'] || stops['i']);
        EXPECT_EQ(stops['A'] && stops['I'], !caseless);
        EXPECT_TRUE(stops['_'] && stops['0'] && stops[' '] && stops['\n'] && stops[0xE9]);
        EXPECT_EQ(stops.count(), caseless ? 256u - 52 : 256u - 26);
    }
}

TEST(JitAndInterpreter, JitStackOverflowFallsBackToTheInterpreter) {
    pcre_api::setThreadJitStackLimit(pcre_api::kJitStackStart); // as small as it gets
    PatternSet regex;
    const int32_t id = test::compile(regex, "(?:(a)|b)*c");
    const std::string text = std::string(1000, 'a') + "c";
    EXPECT_EQ(everyGroup(regex, id, text), (Groups{{0, 1001, 999, 1000}}));

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
                options.include(NoStudy);
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
