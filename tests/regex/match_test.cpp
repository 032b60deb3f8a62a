// Matching, splitting, errors and limits; every shortcut of a studied pattern against the
// interpreter.
#include "regex/internal/pattern_internals.h"
#include "regex/pcre_api.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <sstream>

namespace kestrava::regex {
namespace {

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

// Also escapes as users have always typed them, and what the library refuses (its error text).
TEST(Matches, ReportsEveryMatchOnceInOrder) {
    for (const golden::Row& c : test::cases("matches")) {
        PatternSet regex;
        regex.setDefaultPatternOptions(test::optionsOf(c[2]));
        int32_t id = -1;
        PatternStatus status;
        std::string got = regex.addPattern(c[0], id, status) ? "" : status.errorText;
        for (const auto& groups : id < 0 ? Groups{} : everyGroup(regex, id, c[1])) {
            got += got.empty() ? "" : " ";
            for (size_t i = 0; i < groups.size(); ++i)
                got += (i == 0 ? "" : ",") + std::to_string(groups[i]);
        }
        EXPECT_EQ(got.empty() ? "none" : got, c[3]) << c[0] << " on " << c[1];
    }
}

TEST(Errors, NameTheMethodTheClassAndTheInnerCall) {
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
    const std::map<std::string, std::function<void()>, std::less<>> actions = {
        {"start past the end", [&] { multi.matches(id, "abc", 3, 4, {}, results); }},
        {"unknown ID", [&] { multi.matches(7, "a", 1, 0, {}, results); }},
        {"negative ID", [&] { multi.matches(-1, "a", 1, 0, {}, results); }},
        {"freed slot", [&] { multi.matches(freed, "a", 1, 0, {}, results); }},
        {"empty cache", [&] { cached.matches(-1, "a", 1, 0, {}, results); }},
        {"remove unknown", [&] { multi.removePattern(5); }},
        {"group past the last", [&] { groupValue(found, 2, value); }},
        {"negative group", [&] { groupValue(found, -1, value); }},
        {"no match, not even group 0", [&] { groupValue(missed, 0, value); }},
        {"group not captured", [&] { groupValue(whole[0], 1, value); }},
        {"unit pattern", [&] { match("a(", abc, false, scratch); }},
        {"throw-away pattern", [&] { match("a(", abc, true, scratch); }},
        {"unit split", [&] { split("[", "x", false, pieces); }},
        {"throw-away split", [&] { split("[", "x", true, pieces); }},
        {"split start", [&] { multi.splitToArray(id, "a", 1, 2, -1, pieces); }},
        {"split ID", [&] { multi.splitToArray(9, "a", 1, 0, -1, pieces); }},
        {"replace start 0", [&] { multi.replace(id, "abc", "x", -1, 0, output); }},
        {"replace start", [&] { multi.replace(id, "abc", "x", -1, 5, output); }},
        {"bad UTF-8",
         [&] {
             utf8.forEachMatch(b, bad.data(), static_cast<uint32_t>(bad.size()), 0, {},
                               [](MatchResult&) { ADD_FAILURE() << "a match was told"; });
         }},
    };
    const std::vector<golden::Row> rows = test::cases("errors");
    EXPECT_EQ(rows.size(), actions.size());
    for (const golden::Row& c : rows) {
        SCOPED_TRACE(c[0]);
        const test::Raised raised = test::raised(actions.at(c[0]));
        EXPECT_EQ(static_cast<int>(raised.code), std::stoi(c[1]));
        if (c[2] != "-") {
            EXPECT_EQ(raised.message, c[2]);
        }
    }
    multi.replace(freed, "aaa", "b", -1, 1, output);
    EXPECT_EQ(output, "aaa") << "Replace copies the target where Matches finds a freed slot";
}

// Cached or compiled per call, caseless and with the dot taking line breaks.
TEST(UnitLevel, MatchAndGroupValue) {
    const std::string text = "<excluding\nx>";
    for (const bool bypass : {false, true}) {
        MatchResult result;
        ASSERT_TRUE(match("EXCLUDING(.*?)>|(y)", text, bypass, result));
        EXPECT_EQ(result.patternID < 0, bypass);
        std::string values;
        for (const int32_t group : {0, 1, 2}) {
            std::string value = "stale";
            groupValue(result, group, value);
            values += value + "|";
        }
        EXPECT_EQ(values, "excluding\nx>|\nx||") << "a group that did not take part is empty";
        clearMatchResult(result);
        EXPECT_EQ(result.groupCount, 0) << "a cleared result holds no group";
    }
}

// The unit-level Split, cached or not, gives what SplitToArray gives without a limit.
TEST(Split, PiecesLimitAndStart) {
    for (const golden::Row& c : test::cases("split")) {
        SCOPED_TRACE(c[0] + " on " + c[1]);
        const std::vector<std::string> expected(c.begin() + 4, c.end());
        const int32_t limit = std::stoi(c[2]);
        const auto from = static_cast<uint32_t>(std::stoul(c[3]));
        PatternSet regex;
        std::vector<std::string> pieces{"stale"};
        regex.splitToArray(test::compile(regex, c[0]), c[1].data(),
                           static_cast<uint32_t>(c[1].size()), from, limit, pieces);
        EXPECT_EQ(pieces, expected);
        for (const bool bypass : {false, true})
            if (limit < 0 && from == 0) {
                pieces = {"stale"};
                split(c[0], c[1], bypass, pieces);
                EXPECT_EQ(pieces, expected) << "unit level, bypass " << bypass;
            }
    }
}

// Groups, Replace and Split as one string; at most two matches (empty, longer) start at a place.
std::string outcome(PatternSet& regex, int32_t id, const std::string& text, uint32_t from) {
    const Groups groups = everyGroup(regex, id, text, from);
    EXPECT_LE(groups.size(), 2 * text.size() + 2) << "runaway matches";
    std::string made;
    for (const auto& match : groups)
        for (const int32_t at : match)
            made += std::to_string(at) + ",";
    std::string replaced;
    regex.replace(id, text, "<$0>", -1, static_cast<int32_t>(from) + 1, replaced);
    std::vector<std::string> pieces;
    regex.splitToArray(id, text.data(), static_cast<uint32_t>(text.size()), from, -1, pieces);
    pieces.push_back(replaced);
    for (const std::string& piece : pieces)
        made += "|" + std::to_string(piece.size()) + ":" + piece;
    return made;
}

// A long text is searched a few megabytes at a time: a short alternative just past a piece's end
// must not win over a longer one that begins before it.
std::string acrossPieceEnds() {
    const size_t piece = pcre_api::kStopCheckBytes;
    std::string text = std::string(piece, 'x') + "abcdef" + std::string(2 * piece, 'x');
    for (const size_t end : {2 * piece, 3 * piece})
        text.replace(end - 3, 6, "aBcdef");
    return text;
}

struct Fuzz {
    std::string what;
    std::vector<std::pair<std::string, PatternOptions>> patterns;
    std::vector<std::string> texts;
    std::vector<std::vector<uint32_t>> starts;
    std::vector<uint32_t> windows;
};

std::vector<Fuzz> fuzzCases() {
    std::vector<Fuzz> cases;
    std::mt19937 random(7);
    bool anyStart = false;
    for (const golden::Row& row : test::cases("fuzz")) {
        if (row[0] == "case") {
            Fuzz& made = cases.emplace_back();
            made.what = row[1];
            std::istringstream windows(row[2]);
            for (std::string window; std::getline(windows, window, ',');)
                made.windows.push_back(static_cast<uint32_t>(std::stoul(window)));
            anyStart = row[3] == "1";
            random.seed(7);
        } else if (row[0] == "pattern") {
            cases.back().patterns.emplace_back(row[1], test::optionsOf(row[2]));
        } else if (row[0] == "text") {
            cases.back().texts.push_back(row[1]);
            cases.back().starts.push_back({0});
        } else { // random: texts of pieces, searched from a random place between pieces too
            std::uniform_int_distribution<size_t> length(std::stoul(row[1]), std::stoul(row[2]));
            std::uniform_int_distribution<size_t> pick(4, row.size() - 1);
            for (int round = std::stoi(row[3]); round > 0; --round) {
                std::string text;
                std::vector<uint32_t> ends{0};
                for (size_t i = length(random); i > 0; --i) {
                    text += row[pick(random)];
                    ends.push_back(static_cast<uint32_t>(text.size()));
                }
                std::uniform_int_distribution<size_t> place(0, ends.size() - 1);
                cases.back().starts.push_back(
                    anyStart ? std::vector<uint32_t>{0, ends[place(random)], ends.back()}
                             : std::vector<uint32_t>{0});
                cases.back().texts.push_back(std::move(text));
            }
        }
    }
    for (Fuzz& row : cases)
        if (row.texts.empty()) {
            row.texts = {acrossPieceEnds()};
            row.starts = {{0}};
        }
    return cases;
}

TEST(JitAndInterpreter, EveryShortcutFindsWhatTheInterpreterFinds) {
    for (const Fuzz& row : fuzzCases()) {
        SCOPED_TRACE(row.what);
        for (const uint32_t window : row.windows) {
            pcre_api::setThreadSearchWindow(window);
            for (const auto& [pattern, rowOptions] : row.patterns)
                for (const bool caseless : {false, true}) {
                    PatternOptions options = rowOptions;
                    if (caseless)
                        options.include(IgnoreCase);
                    PatternSet studied;
                    PatternSet interpreted; // takes no shortcut
                    studied.setDefaultPatternOptions(options);
                    options.include(NoStudy);
                    interpreted.setDefaultPatternOptions(options);
                    const int32_t ids[] = {test::compile(studied, pattern),
                                           test::compile(interpreted, pattern)};
                    for (size_t i = 0; i < row.texts.size(); ++i) {
                        useAvx2Steps(i % 2 == 0);
                        for (const uint32_t from : row.starts[i])
                            ASSERT_EQ(outcome(studied, ids[0], row.texts[i], from),
                                      outcome(interpreted, ids[1], row.texts[i], from))
                                << pattern << " from " << from << ", window " << window
                                << (caseless ? ", caseless" : "") << " on "
                                << row.texts[i].substr(0, 300);
                    }
                }
        }
    }
    pcre_api::setThreadSearchWindow(0);
    useAvx2Steps(true);
}

// The texts a byte search looks for, a text each match holds, whether matches stay in a line
// and the shortest word-start run are read only from patterns the layer fully understands.
TEST(RequiredText, IsReadOnlyFromPatternsItFullyUnderstands) {
    const auto compiled = [](const std::string& pattern, const std::string& options = "") {
        PatternSet regex;
        if (!options.empty())
            regex.setDefaultPatternOptions(test::optionsOf(options));
        return regex.patternEntry(test::compile(regex, pattern))->compiled;
    };
    for (const golden::Row& c : test::cases("literals"))
        EXPECT_EQ(compiled(c[0], c[1])->literals(),
                  std::vector<std::string>(c.begin() + 2, c.end()))
            << c[0];
    for (const golden::Row& c : test::cases("required")) {
        const auto pattern = compiled(c[0]);
        EXPECT_EQ(pattern->required().text, c[1]) << c[0];
        EXPECT_EQ(pattern->required().stops['\n'], c[2] == "1") << c[0];
    }
    for (const golden::Row& c : test::cases("word starts")) {
        const auto pattern = compiled(c[0]);
        EXPECT_EQ(pattern->required().wordStartLength, std::stoul(c[1])) << c[0];
        EXPECT_EQ(pattern->required().wholeRuns, c[2] == "1") << c[0];
    }
}

TEST(JitAndInterpreter, JitStackOverflowFallsBackToTheInterpreter) {
    pcre_api::setThreadJitStackLimit(pcre_api::kJitStackStart); // as small as it gets
    PatternSet regex;
    const int32_t id = test::compile(regex, "(?:(a)|b)*c");
    const std::string text = std::string(1000, 'a') + "c";
    EXPECT_EQ(everyGroup(regex, id, text), (Groups{{0, 1001, 999, 1000}}));

    pcre_api::setThreadJitStackLimit(pcre_api::kJitStackMax);
}

// Never "no match", studied or not; also a recursion deep enough to break the interpreter's stack.
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
            if (!study)
                regex.setDefaultPatternOptions({IgnoreCase, DotMatchesAll, NoStudy});
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
