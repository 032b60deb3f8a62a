// Stopping a match on request, and the stop check every compiled pattern carries: the pattern
// must look to the user and to the library exactly as written.
#include "regex/ldiPcreAPI.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <thread>
#include <type_traits>

namespace kes {
namespace {

static_assert(!std::is_base_of_v<std::runtime_error, EldiRegExStopped>,
              "a stop must be told apart from a failed match");

// Words without a digit: "\s.*\d" tries every space and runs to the end from each.
std::string WordsWithoutDigits(size_t size) {
    std::string text;
    while (text.size() < size)
        text += "lorem ipsum dolor sit amet\n";
    return text;
}

bool Throws(const std::function<void()>& action) {
    try {
        action();
    } catch (const EldiRegExStopped&) {
        return true;
    }
    return false;
}

TEST(StopScope, StopRequestedBeforehandEndsEveryEntryPoint) {
    TldiRegExMulti studied;
    TldiRegExMulti interpreted;
    interpreted.SetDefaultPatternOptions({coIgnoreCase, coDotMatchesAll, coNoStudy});
    const int32_t literal = test::Compile(studied, "ipsum");
    const int32_t runs = test::Compile(studied, "\\b\\w+um\\b");
    const int32_t windows = test::Compile(studied, "(\\w+)um");
    const int32_t checked = test::Compile(interpreted, "(\\w+)um");
    const std::string text = WordsWithoutDigits(100);
    const auto length = static_cast<uint32_t>(text.size());
    TMatchCollection results;
    TMatchResult result;
    std::string output;
    std::vector<std::string> pieces;
    const std::pair<const char*, std::function<void()>> entries[] = {
        {"literal", [&] { studied.Matches(literal, text.data(), length, 0, {}, results); }},
        {"runs", [&] { studied.Matches(runs, text.data(), length, 0, {}, results); }},
        {"windows", [&] { studied.Matches(windows, text.data(), length, 0, {}, results); }},
        {"interpreter", [&] { interpreted.Matches(checked, text.data(), length, 0, {}, results); }},
        {"each",
         [&] { studied.ForEachMatch(windows, text.data(), length, 0, {}, [](TMatchResult&) {}); }},
        {"unit", [&] { Match("(\\w+)um", text, false, result); }},
        {"throw-away", [&] { Match("(\\w+)um", text, true, result); }},
        {"replace", [&] { studied.Replace(windows, text, "<$1>", -1, 1, output); }},
        {"split", [&] { studied.SplitToArray(windows, text.data(), length, 0, -1, pieces); }},
    };
    std::stop_source source;
    source.request_stop();
    for (const auto& [name, action] : entries) {
        EXPECT_FALSE(Throws(action)) << name << ": no scope, no stop";
        const TldiRegExStopScope scope(source.get_token());
        EXPECT_TRUE(Throws(action)) << name;
    }
}

// The stop comes from another thread once the search is under way (after its first match);
// without it each search would take many seconds. Nothing here is timed: the search must
// simply end with the exception. Windows, the JIT with the callout, the interpreter.
TEST(StopScope, StopFromAnotherThreadEndsASlowSearch) {
    const std::string text = "x 1 " + WordsWithoutDigits(size_t{300} << 10);
    const std::pair<const char*, TPatternOptions> cases[] = {
        {"\\s.*\\d", {coDotMatchesAll}},
        {"\\s.*\\d|(*F)", {coDotMatchesAll}},
        {"\\s.*\\d", {coDotMatchesAll, coNoStudy}},
    };
    for (const auto& [pattern, options] : cases) {
        TldiRegExMulti regex;
        regex.SetDefaultPatternOptions(options);
        const int32_t id = test::Compile(regex, pattern);
        std::stop_source source;
        std::thread stopper;
        size_t found = 0;
        const auto search = [&] {
            const TldiRegExStopScope scope(source.get_token());
            regex.ForEachMatch(
                id, text.data(), static_cast<uint32_t>(text.size()), 0, {}, [&](TMatchResult&) {
                    if (found++ == 0)
                        stopper = std::thread([&] {
                            std::this_thread::sleep_for(std::chrono::milliseconds(20));
                            source.request_stop();
                        });
                });
        };
        EXPECT_TRUE(Throws(search)) << pattern;
        EXPECT_EQ(found, 1u) << pattern;
        if (stopper.joinable())
            stopper.join();
    }
}

TEST(StopScope, InnerScopeRulesUntilItEnds) {
    TldiRegExMulti regex;
    const int32_t id = test::Compile(regex, "(\\w+)um");
    const std::string text = WordsWithoutDigits(100);
    TMatchCollection results;
    const auto match = [&] {
        regex.Matches(id, text.data(), static_cast<uint32_t>(text.size()), 0, {}, results);
    };
    std::stop_source running;
    std::stop_source stopped;
    stopped.request_stop();
    const TldiRegExStopScope outer(running.get_token());
    {
        const TldiRegExStopScope inner(stopped.get_token());
        EXPECT_TRUE(Throws(match));
    }
    EXPECT_FALSE(Throws(match)) << "the outer scope is back";
}

// What the library works out from the start of a pattern (anchoring, first and required
// characters, start bits, minimum length) decides how fast it searches; groups and names are
// what the user sees. The stop check must change none of them, and neither may the copy made
// without it.
TEST(StopCheck, LibraryKnowsThePatternAsWritten) {
    struct TInfo {
        unsigned long Options = 0;
        int FirstFlags = 0, First = 0, RequiredFlags = 0, Required = 0, MinLength = 0;
        int Captures = 0, BackRefMax = 0, LookBehind = 0, CrOrLf = 0, JChanged = 0, Empty = 0;
        int Names = 0, NameEntry = 0;
        std::string NameTable;
        std::string StartBits; // empty when the library keeps none
        unsigned long MatchLimit = 0, RecursionLimit = 0;
        bool operator==(const TInfo&) const = default;
    };
    const auto info = [](const real_pcre* code, const pcre_extra* extra) {
        TInfo i;
        pcre_fullinfo(code, extra, PCRE_INFO_OPTIONS, &i.Options);
        pcre_fullinfo(code, extra, PCRE_INFO_FIRSTCHARACTERFLAGS, &i.FirstFlags);
        pcre_fullinfo(code, extra, PCRE_INFO_FIRSTCHARACTER, &i.First);
        pcre_fullinfo(code, extra, PCRE_INFO_REQUIREDCHARFLAGS, &i.RequiredFlags);
        pcre_fullinfo(code, extra, PCRE_INFO_REQUIREDCHAR, &i.Required);
        pcre_fullinfo(code, extra, PCRE_INFO_MINLENGTH, &i.MinLength);
        pcre_fullinfo(code, extra, PCRE_INFO_CAPTURECOUNT, &i.Captures);
        pcre_fullinfo(code, extra, PCRE_INFO_BACKREFMAX, &i.BackRefMax);
        pcre_fullinfo(code, extra, PCRE_INFO_MAXLOOKBEHIND, &i.LookBehind);
        pcre_fullinfo(code, extra, PCRE_INFO_HASCRORLF, &i.CrOrLf);
        pcre_fullinfo(code, extra, PCRE_INFO_JCHANGED, &i.JChanged);
        pcre_fullinfo(code, extra, PCRE_INFO_MATCH_EMPTY, &i.Empty);
        pcre_fullinfo(code, extra, PCRE_INFO_NAMECOUNT, &i.Names);
        pcre_fullinfo(code, extra, PCRE_INFO_NAMEENTRYSIZE, &i.NameEntry);
        const unsigned char* table = nullptr;
        pcre_fullinfo(code, extra, PCRE_INFO_NAMETABLE, &table);
        if (table != nullptr)
            i.NameTable.assign(reinterpret_cast<const char*>(table),
                               static_cast<size_t>(i.Names) * static_cast<size_t>(i.NameEntry));
        const unsigned char* bits = nullptr;
        pcre_fullinfo(code, extra, PCRE_INFO_FIRSTTABLE, &bits);
        if (bits != nullptr)
            i.StartBits.assign(reinterpret_cast<const char*>(bits), 32);
        pcre_fullinfo(code, extra, PCRE_INFO_MATCHLIMIT, &i.MatchLimit);
        pcre_fullinfo(code, extra, PCRE_INFO_RECURSIONLIMIT, &i.RecursionLimit);
        return i;
    };
    const char* patterns[] = {"abc",
                              "(?i)abc(?-i)D",
                              ".*x",
                              "^abc",
                              "\\Gx|y",
                              "a|b",
                              "(a)|b",
                              "(?=ab)\\w",
                              "\\bfoo\\b",
                              "(*UTF8)\xC3\xA9+",
                              "(*CRLF)(?m)^x$",
                              "(*NO_START_OPT)abc",
                              "(*LIMIT_MATCH=100)(*LIMIT_RECURSION=50)a+b",
                              "\\s.*\\d",
                              "\\b(\\w+)ing\\b",
                              "(?<y>\\d{4})-(?<m>\\d\\d)",
                              "(?J)(?<n>a)|(?<n>b)",
                              "(?U)a+b",
                              "(?x) a b # c",
                              "(?:abc)+d",
                              "\\Aabc|(?|(x)|(y))",
                              "x*",
                              "",
                              "(?C1)a(?C2)b",
                              "a(?R)?b",
                              "(?<=ab)c\\1?(z)",
                              "[\\d_]{3,}"};
    for (const TPatternOptions& options :
         {TPatternOptions{coIgnoreCase, coDotMatchesAll}, TPatternOptions{coMultiline}}) {
        for (const char* pattern : patterns) {
            TldiRegExMulti regex;
            regex.SetDefaultPatternOptions(options);
            const TRegExPattern& entry = *regex.PatternEntry(test::Compile(regex, pattern));
            const char* error = nullptr;
            int offset = 0;
            const TCompiledPtr plain(
                pcre_compile(pattern, PatternOptionsToFlags(options), &error, &offset, nullptr));
            const TExtraPtr plainExtra(pcre_study(plain.get(), PCRE_STUDY_JIT_COMPILE, &error));
            const TInfo expected = info(plain.get(), plainExtra.get());
            EXPECT_EQ(info(entry.Compiled.get(), entry.Extra.get()), expected) << pattern;
            if (entry.Unchecked) {
                EXPECT_EQ(info(entry.Unchecked.get(), entry.UncheckedExtra.get()), expected)
                    << pattern;
            }
        }
    }
}

// Compile errors, where the library reports them, as if the pattern had been compiled alone;
// the offset included, also when the error lies in or just after the leading "(*...)" items.
TEST(StopCheck, PatternErrorsReadAsWritten) {
    const std::string patterns[] = {"a(",
                                    "*a",
                                    "a)",
                                    "[a",
                                    "\\",
                                    "a{2,1}",
                                    "(?<n>a)(?<n>b)",
                                    "\\k<zz>",
                                    "(?<=a+)b",
                                    "(*UTF8)\xFF",
                                    "(*UTF8)a\xC3",
                                    "(*CRLF)(",
                                    "(*CRLF)*",
                                    "(*UTF8",
                                    "(*LIMIT_MATCH=99999999999)a",
                                    "(*LIMIT_MATCH=12",
                                    "(*FOO)a",
                                    "x(*UTF8)y",
                                    "(*UTF8)(*CR)(*LIMIT_RECURSION=5)(?",
                                    "(?C256)",
                                    "a\\c",
                                    std::string("(\0a", 3),
                                    "(?(1)a|b|c)"};
    const int32_t flags = PatternOptionsToFlags(DefaultStaticPatternOptions);
    for (const std::string& pattern : patterns) {
        const char* error = nullptr;
        int offset = 0;
        const TCompiledPtr plain(pcre_compile(pattern.c_str(), flags, &error, &offset, nullptr));
        ASSERT_EQ(plain, nullptr) << pattern;
        TldiRegExMulti regex;
        int32_t id = 0;
        TPatternStatus status;
        EXPECT_FALSE(regex.AddPattern(pattern, id, status));
        EXPECT_EQ(status.ErrorText, error) << pattern;
        EXPECT_EQ(status.ErrorOffset, offset) << pattern;
    }
}

} // namespace
} // namespace kes
