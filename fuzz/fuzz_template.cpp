// Fuzzes replacement templates: the input is pattern NUL template NUL text. A pattern that
// compiles is used to rewrite the text; a bad template or a matcher error must come back as the
// regular-expression layer's exception, never as a crash.
#include "fuzz_input.h"
#include "regex/ldiRegEx.h"

namespace {

using kes::fuzz::Require;

// Small enough that a catastrophic pattern ends quickly instead of timing out the run.
constexpr uint32_t kFuzzMatchLimit = 100000;

void Rewrite(kes::TldiRegExMulti& regex, int32_t patternID, const std::string& text,
             const std::string& replaceTemplate, int32_t maxReplacements) {
    std::string output;
    try {
        regex.Replace(patternID, text, replaceTemplate, maxReplacements, 1, output);
    } catch (const kes::EldiRegExError& error) {
        Require(error.ErrorCode != kes::reNone, "a raised replace error has a code");
        return;
    }
    if (maxReplacements == 0)
        Require(output == text, "no replacement leaves the text as it was");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parts = kes::fuzz::SplitInput(data, size, 3);
    kes::TldiRegExMulti regex;
    regex.DefaultMatchLimit = kFuzzMatchLimit;
    regex.SetCustomTokens("x, Name ,y");
    regex.SetOnReplaceCustomToken(
        [](kes::TldiRegExBase&, int32_t tokenIndex, std::string& replacement) {
            replacement += "<token" + std::to_string(tokenIndex) + ">";
        });
    int32_t patternID = -1;
    kes::TPatternStatus status;
    if (!regex.AddPattern(parts[0], patternID, status))
        return 0;
    Rewrite(regex, patternID, parts[2], parts[1], -1);
    Rewrite(regex, patternID, parts[2], parts[1], 1);
    Rewrite(regex, patternID, parts[2], parts[1], 0);
    return 0;
}
