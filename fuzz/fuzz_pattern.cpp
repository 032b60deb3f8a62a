// Fuzzes pattern compile and match: the input is pattern NUL options NUL text. The
// pattern is run over the text once studied (JIT, or the literal search for plain text) and
// once through the interpreter; the two must report the same matches. Hitting the match limit
// is an expected outcome, and the two engines count it differently, so it ends the comparison.
#include "fuzz_input.h"
#include "regex/ldiRegEx.h"

#include <optional>

namespace {

using kes::fuzz::Require;

constexpr uint32_t kFuzzMatchLimit = 20000;

// The options part's first byte (if any) adds compile options, so the fuzzer reaches multi-line,
// ungreedy, UTF-8 and extended patterns without having to spell them inline.
kes::TPatternOptions OptionsFor(const std::string& selector, bool study) {
    kes::TPatternOptions options{kes::coIgnoreCase, kes::coDotMatchesAll};
    const unsigned bits = selector.empty() ? 0 : static_cast<unsigned char>(selector[0]);
    const kes::TPatternOption extra[] = {
        kes::coMultiline,     kes::coUnGreedy, kes::coUtf8,     kes::coIgnorePatternWhiteSpace,
        kes::coDollarEndOnly, kes::coExtra,    kes::coAnchored, kes::coExplicitCapture};
    for (unsigned i = 0; i < 8; ++i)
        if ((bits & (1u << i)) != 0)
            options.Include(extra[i]);
    if (bits & 0x80u)
        options.Exclude(kes::coIgnoreCase); // the last bit flips case sensitivity instead
    if (!study)
        options.Include(kes::coNoStudy);
    return options;
}

struct TOutcome {
    bool Limit = false; // the match limit was reached: no comparison possible
    kes::TRegExError Error = kes::reNone;
    kes::TMatchCollection Results;
};

// Compiles and runs one engine; nullopt when the pattern does not compile.
std::optional<TOutcome> Run(const std::string& pattern, const std::string& text,
                            kes::TPatternOptions options) {
    kes::TldiRegExMulti regex;
    regex.DefaultMatchLimit = kFuzzMatchLimit;
    regex.SetDefaultPatternOptions(options);
    int32_t patternID = -1;
    kes::TPatternStatus status;
    if (!regex.AddPattern(pattern, patternID, status))
        return std::nullopt;
    TOutcome outcome;
    try {
        regex.Matches(patternID, text.data(), static_cast<uint32_t>(text.size()), 0, {},
                      outcome.Results);
    } catch (const kes::EldiRegExError& error) {
        outcome.Limit = error.ErrorCode == kes::reMatchLimit;
        outcome.Error = error.ErrorCode;
        outcome.Results.clear();
    }
    return outcome;
}

bool SameMatch(const kes::TMatchResult& a, const kes::TMatchResult& b) {
    if (a.Matched != b.Matched || a.GroupCount != b.GroupCount)
        return false;
    for (int32_t i = 0; i < 2 * a.GroupCount; ++i)
        if (a.GroupStartEnd.at(i) != b.GroupStartEnd.at(i))
            return false;
    return true;
}

void Compare(const TOutcome& studied, const TOutcome& interpreted) {
    if (studied.Limit || interpreted.Limit)
        return;
    Require(studied.Error == interpreted.Error, "studied and interpreted raise the same error");
    Require(studied.Results.size() == interpreted.Results.size(),
            "studied and interpreted find the same number of matches");
    for (size_t i = 0; i < studied.Results.size(); ++i)
        Require(SameMatch(studied.Results[i], interpreted.Results[i]),
                "studied and interpreted find the same matches");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parts = kes::fuzz::SplitInput(data, size, 3);
    const auto studied = Run(parts[0], parts[2], OptionsFor(parts[1], true));
    const auto interpreted = Run(parts[0], parts[2], OptionsFor(parts[1], false));
    Require(studied.has_value() == interpreted.has_value(),
            "a pattern compiles the same with and without study");
    if (studied)
        Compare(*studied, *interpreted);
    return 0;
}
