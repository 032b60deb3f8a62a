// Stopping a match on request, and the stop check that must leave the pattern as written.
#include "regex/pcre_api.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>
#include <type_traits>

namespace kestrava::regex {
namespace {

static_assert(!std::is_base_of_v<std::runtime_error, RegexStoppedError>,
              "a stop must be told apart from a failed match");

// Words without a digit: "\s.*\d" tries every space and runs to the end from each.
std::string wordsWithoutDigits(size_t size) {
    std::string text;
    while (text.size() < size)
        text += "lorem ipsum dolor sit amet\n";
    return text;
}

// A stop requested beforehand ends every entry point; an inner scope rules until it ends.
TEST(StopScope, StopRequestedBeforehandEndsEveryEntryPoint) {
    PatternSet studied;
    PatternSet interpreted;
    interpreted.setDefaultPatternOptions(
        {PatternOption::IgnoreCase, PatternOption::DotMatchesAll, PatternOption::NoStudy});
    const int32_t literal = test::compile(studied, "ipsum");
    const int32_t runs = test::compile(studied, "\\b\\w+um\\b");
    const int32_t wordStarts = test::compile(studied, "\\b(?:[a-z]+){2}\\b");
    const int32_t windows = test::compile(studied, "(\\w+)um");
    const int32_t checked = test::compile(interpreted, "(\\w+)um");
    const std::string text = wordsWithoutDigits(100);
    const auto length = static_cast<uint32_t>(text.size());
    MatchCollection results;
    MatchResult result;
    std::string output;
    std::vector<std::string> pieces;
    const std::pair<const char*, std::function<void()>> entries[] = {
        {"literal", [&] { studied.matches(literal, text.data(), length, 0, {}, results); }},
        {"runs", [&] { studied.matches(runs, text.data(), length, 0, {}, results); }},
        {"word starts", [&] { studied.matches(wordStarts, text.data(), length, 0, {}, results); }},
        {"windows", [&] { studied.matches(windows, text.data(), length, 0, {}, results); }},
        {"interpreter", [&] { interpreted.matches(checked, text.data(), length, 0, {}, results); }},
        {"each",
         [&] { studied.forEachMatch(windows, text.data(), length, 0, {}, [](MatchResult&) {}); }},
        {"unit", [&] { match("(\\w+)um", text, false, result); }},
        {"throw-away", [&] { match("(\\w+)um", text, true, result); }},
        {"replace", [&] { studied.replace(windows, text, "<$1>", -1, 1, output); }},
        {"split", [&] { studied.splitToArray(windows, text.data(), length, 0, -1, pieces); }},
    };
    std::stop_source running;
    std::stop_source stopped;
    stopped.request_stop();
    for (const auto& [name, action] : entries) {
        EXPECT_FALSE(test::raised(action).stopped) << name << ": no scope, no stop";
        const StopScope outer(running.get_token());
        {
            const StopScope inner(stopped.get_token());
            EXPECT_TRUE(test::raised(action).stopped) << name;
        }
        EXPECT_FALSE(test::raised(action).stopped) << name << ": the outer scope rules again";
    }
}

// Stopped after its first match; untimed, else each search would take many seconds.
TEST(StopScope, StopFromAnotherThreadEndsASlowSearch) {
    const std::string text = "x 1 " + wordsWithoutDigits(size_t{300} << 10);
    for (const golden::Row& c : test::cases("slow searches")) {
        PatternSet regex;
        regex.setDefaultPatternOptions(test::optionsOf(c[1]));
        const int32_t id = test::compile(regex, c[0]);
        std::stop_source source;
        std::jthread stopper; // joined before the source goes
        size_t found = 0;
        const auto search = [&] {
            const StopScope scope(source.get_token());
            regex.forEachMatch(
                id, text.data(), static_cast<uint32_t>(text.size()), 0, {}, [&](MatchResult&) {
                    if (found++ == 0)
                        stopper = std::jthread([&] {
                            std::this_thread::sleep_for(std::chrono::milliseconds(20));
                            source.request_stop();
                        });
                });
        };
        EXPECT_TRUE(test::raised(search).stopped) << c[0];
        EXPECT_EQ(found, 1u) << c[0];
    }
}

// What the library works out from a pattern decides its speed, groups, names and error offsets
// (also around leading "(*...)" items): neither the stop check nor the copy without it may change
// it.
TEST(StopCheck, LibraryKnowsThePatternAsWritten) {
    const auto info = [](const pcre2_code* code) {
        std::vector<uint64_t> values(PCRE2_INFO_EXTRAOPTIONS + 1); // wide enough for any answer
        std::vector<std::string> i;
        for (uint32_t what = 0; what < values.size(); ++what)
            i.push_back(std::to_string(pcre2_pattern_info(code, what, &values[what])));
        const auto bytes = [&values](uint32_t what, uint64_t size) {
            const auto* at = reinterpret_cast<const char*>(static_cast<uintptr_t>(values[what]));
            return at != nullptr ? std::string(at, size) : "-";
        };
        // The start bits, when the library keeps them, and the names.
        i.push_back(bytes(PCRE2_INFO_FIRSTBITMAP, 32));
        i.push_back(bytes(PCRE2_INFO_NAMETABLE,
                          values[PCRE2_INFO_NAMECOUNT] * values[PCRE2_INFO_NAMEENTRYSIZE]));
        // The code grows with the stop check; the places of its parts say nothing.
        for (const uint32_t where :
             {PCRE2_INFO_SIZE, PCRE2_INFO_JITSIZE, PCRE2_INFO_FIRSTBITMAP, PCRE2_INFO_NAMETABLE})
            values[where] = 0;
        for (const uint64_t value : values)
            i.push_back(std::to_string(value));
        return i;
    };
    for (const PatternOptions& options :
         {PatternOptions{PatternOption::IgnoreCase, PatternOption::DotMatchesAll},
          PatternOptions{PatternOption::Multiline}}) {
        for (const golden::Row& row : test::cases("stop check")) {
            const std::string& pattern = row[0];
            std::string error;
            size_t offset = 0;
            const CodePtr plain = pcre_api::compile(pattern.c_str(), patternOptionsToFlags(options),
                                                    nullptr, error, offset);
            PatternSet regex;
            regex.setDefaultPatternOptions(options);
            int32_t id = 0;
            PatternStatus status;
            const bool compiled = regex.addPattern(pattern, id, status);
            ASSERT_EQ(compiled, plain != nullptr) << pattern << ": " << status.errorMessage;
            if (!compiled) {
                EXPECT_EQ(status.errorText, error) << pattern;
                EXPECT_EQ(status.errorOffset, static_cast<int32_t>(offset)) << pattern;
                continue;
            }
            const auto expected = info(plain.get());
            const CompiledPattern& entry = *regex.patternEntry(id)->compiled;
            EXPECT_EQ(info(entry.checked()), expected) << pattern;
            if (entry.unchecked() != nullptr) {
                EXPECT_EQ(info(entry.unchecked()), expected) << pattern;
            }
        }
    }
}

// A long search without matches tells how far it has come, so the caller can let go behind it.
thread_local std::vector<const char*> tPassed;
TEST(StopScope, ALongSearchWithoutMatchesTellsHowFarItHasCome) {
    PatternSet studied;
    const std::string text = wordsWithoutDigits(3 * pcre_api::kStopCheckBytes);
    const auto length = static_cast<uint32_t>(text.size());
    MatchCollection results;
    for (const char* pattern : {"never|there", "never", "\\b\\w+_never\\b"}) {
        tPassed.clear();
        const StopScope scope(std::stop_token(), [](const char* at) { tPassed.push_back(at); });
        studied.matches(test::compile(studied, pattern), text.data(), length, 0, {}, results);
        ASSERT_FALSE(tPassed.empty()) << pattern;
        EXPECT_TRUE(std::is_sorted(tPassed.begin(), tPassed.end())) << pattern;
        EXPECT_TRUE(tPassed.front() > text.data() && tPassed.back() < text.data() + text.size())
            << pattern;
    }
}

} // namespace
} // namespace kestrava::regex
