// Fuzzes pattern compile and match: the input is pattern NUL options NUL text. The
// pattern is run over the text once studied (JIT, or the literal search for plain text) and
// once through the interpreter; the two must report the same matches. Hitting the match limit
// is an expected outcome, and the two engines count it differently, so it ends the comparison.
#include "fuzz_input.h"
#include "regex/pattern_table.h"

#include <optional>

namespace {

using kestrava::fuzz::require;

constexpr uint32_t kFuzzMatchLimit = 20000;

// The options part's first byte (if any) adds compile options, so the fuzzer reaches multi-line,
// ungreedy, UTF-8 and extended patterns without having to spell them inline.
kestrava::regex::PatternOptions optionsFor(const std::string& selector, bool study) {
    kestrava::regex::PatternOptions options{kestrava::regex::PatternOption::IgnoreCase,
                                            kestrava::regex::PatternOption::DotMatchesAll};
    const unsigned bits = selector.empty() ? 0 : static_cast<unsigned char>(selector[0]);
    const kestrava::regex::PatternOption extra[] = {
        kestrava::regex::PatternOption::Multiline,
        kestrava::regex::PatternOption::UnGreedy,
        kestrava::regex::PatternOption::Utf8,
        kestrava::regex::PatternOption::IgnorePatternWhiteSpace,
        kestrava::regex::PatternOption::DollarEndOnly,
        kestrava::regex::PatternOption::Extra,
        kestrava::regex::PatternOption::Anchored,
        kestrava::regex::PatternOption::ExplicitCapture};
    for (unsigned i = 0; i < 8; ++i)
        if ((bits & (1u << i)) != 0)
            options.include(extra[i]);
    if (bits & 0x80u)
        options.exclude(kestrava::regex::PatternOption::IgnoreCase); // the last bit flips case
                                                                     // sensitivity instead
    if (!study)
        options.include(kestrava::regex::PatternOption::NoStudy);
    return options;
}

struct Outcome {
    bool limit = false; // the match limit was reached: no comparison possible
    kestrava::regex::RegexErrorCode error = kestrava::regex::RegexErrorCode::None;
    kestrava::regex::MatchCollection results;
};

// Compiles and runs one engine; nullopt when the pattern does not compile.
std::optional<Outcome> run(const std::string& pattern, const std::string& text,
                           kestrava::regex::PatternOptions options) {
    kestrava::regex::PatternSet regex;
    regex.defaultMatchLimit = kFuzzMatchLimit;
    regex.setDefaultPatternOptions(options);
    int32_t patternID = -1;
    kestrava::regex::PatternStatus status;
    if (!regex.addPattern(pattern, patternID, status))
        return std::nullopt;
    Outcome outcome;
    try {
        regex.matches(patternID, text.data(), static_cast<uint32_t>(text.size()), 0, {},
                      outcome.results);
    } catch (const kestrava::regex::RegexError& error) {
        outcome.limit = error.errorCode == kestrava::regex::RegexErrorCode::MatchLimit;
        outcome.error = error.errorCode;
        outcome.results.clear();
    }
    return outcome;
}

bool sameMatch(const kestrava::regex::MatchResult& a, const kestrava::regex::MatchResult& b) {
    if (a.matched != b.matched || a.groupCount != b.groupCount)
        return false;
    for (int32_t i = 0; i < 2 * a.groupCount; ++i)
        if (a.groupStartEnd.at(i) != b.groupStartEnd.at(i))
            return false;
    return true;
}

void compare(const Outcome& studied, const Outcome& interpreted) {
    if (studied.limit || interpreted.limit)
        return;
    require(studied.error == interpreted.error, "studied and interpreted raise the same error");
    require(studied.results.size() == interpreted.results.size(),
            "studied and interpreted find the same number of matches");
    for (size_t i = 0; i < studied.results.size(); ++i)
        require(sameMatch(studied.results[i], interpreted.results[i]),
                "studied and interpreted find the same matches");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parts = kestrava::fuzz::splitInput(data, size, 3);
    const auto studied = run(parts[0], parts[2], optionsFor(parts[1], true));
    const auto interpreted = run(parts[0], parts[2], optionsFor(parts[1], false));
    require(studied.has_value() == interpreted.has_value(),
            "a pattern compiles the same with and without study");
    if (studied)
        compare(*studied, *interpreted);
    return 0;
}
