// Fuzzes pattern compile and match: the input is pattern NUL options NUL text. The
// pattern is run over the text once studied (JIT, or the literal search for plain text) and
// once through the interpreter; the two must report the same matches. Hitting the match limit
// is an expected outcome, and the two engines count it differently, so it ends the comparison.
#include "fuzz_input.h"
#include "regex/pattern_table.h"

#include <optional>

namespace {

using kes::fuzz::require;

constexpr uint32_t kFuzzMatchLimit = 20000;

// The options part's first byte (if any) adds compile options, so the fuzzer reaches multi-line,
// ungreedy, UTF-8 and extended patterns without having to spell them inline.
kes::PatternOptions optionsFor(const std::string& selector, bool study) {
    kes::PatternOptions options{kes::PatternOption::IgnoreCase, kes::PatternOption::DotMatchesAll};
    const unsigned bits = selector.empty() ? 0 : static_cast<unsigned char>(selector[0]);
    const kes::PatternOption extra[] = {
        kes::PatternOption::Multiline,     kes::PatternOption::UnGreedy,
        kes::PatternOption::Utf8,          kes::PatternOption::IgnorePatternWhiteSpace,
        kes::PatternOption::DollarEndOnly, kes::PatternOption::Extra,
        kes::PatternOption::Anchored,      kes::PatternOption::ExplicitCapture};
    for (unsigned i = 0; i < 8; ++i)
        if ((bits & (1u << i)) != 0)
            options.include(extra[i]);
    if (bits & 0x80u)
        options.exclude(
            kes::PatternOption::IgnoreCase); // the last bit flips case sensitivity instead
    if (!study)
        options.include(kes::PatternOption::NoStudy);
    return options;
}

struct Outcome {
    bool limit = false; // the match limit was reached: no comparison possible
    kes::RegexErrorCode error = kes::RegexErrorCode::None;
    kes::MatchCollection results;
};

// Compiles and runs one engine; nullopt when the pattern does not compile.
std::optional<Outcome> run(const std::string& pattern, const std::string& text,
                           kes::PatternOptions options) {
    kes::PatternSet regex;
    regex.defaultMatchLimit = kFuzzMatchLimit;
    regex.setDefaultPatternOptions(options);
    int32_t patternID = -1;
    kes::PatternStatus status;
    if (!regex.addPattern(pattern, patternID, status))
        return std::nullopt;
    Outcome outcome;
    try {
        regex.matches(patternID, text.data(), static_cast<uint32_t>(text.size()), 0, {},
                      outcome.results);
    } catch (const kes::RegexError& error) {
        outcome.limit = error.errorCode == kes::RegexErrorCode::MatchLimit;
        outcome.error = error.errorCode;
        outcome.results.clear();
    }
    return outcome;
}

bool sameMatch(const kes::MatchResult& a, const kes::MatchResult& b) {
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
    const auto parts = kes::fuzz::splitInput(data, size, 3);
    const auto studied = run(parts[0], parts[2], optionsFor(parts[1], true));
    const auto interpreted = run(parts[0], parts[2], optionsFor(parts[1], false));
    require(studied.has_value() == interpreted.has_value(),
            "a pattern compiles the same with and without study");
    if (studied)
        compare(*studied, *interpreted);
    return 0;
}
