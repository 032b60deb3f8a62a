// Fuzzes replacement templates: the input is pattern NUL template NUL text. A pattern that
// compiles is used to rewrite the text; a bad template or a matcher error must come back as the
// regular-expression layer's exception, never as a crash.
#include "fuzz_input.h"
#include "regex/pattern_table.h"

namespace {

using kestrava::fuzz::require;

// Small enough that a catastrophic pattern ends quickly instead of timing out the run.
constexpr uint32_t kFuzzMatchLimit = 100000;

void rewrite(kestrava::regex::PatternSet& regex, int32_t patternID, const std::string& text,
             const std::string& replaceTemplate, int32_t maxReplacements) {
    std::string output;
    try {
        regex.replace(patternID, text, replaceTemplate, maxReplacements, 1, output);
    } catch (const kestrava::regex::RegexError& error) {
        require(error.errorCode != kestrava::regex::RegexErrorCode::None,
                "a raised replace error has a code");
        return;
    }
    if (maxReplacements == 0)
        require(output == text, "no replacement leaves the text as it was");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parts = kestrava::fuzz::splitInput(data, size, 3);
    kestrava::regex::PatternSet regex;
    regex.defaultMatchLimit = kFuzzMatchLimit;
    regex.setCustomTokens("x, Name ,y");
    regex.setOnReplaceCustomToken(
        [](kestrava::regex::PatternTable&, int32_t tokenIndex, std::string& replacement) {
            replacement += "<token" + std::to_string(tokenIndex) + ">";
        });
    int32_t patternID = -1;
    kestrava::regex::PatternStatus status;
    if (!regex.addPattern(parts[0], patternID, status))
        return 0;
    rewrite(regex, patternID, parts[2], parts[1], -1);
    rewrite(regex, patternID, parts[2], parts[1], 1);
    rewrite(regex, patternID, parts[2], parts[1], 0);
    return 0;
}
