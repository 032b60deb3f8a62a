#include "regex/regex_error.h"

#include <array>

namespace kestrava::regex {

namespace {

// Index = error code; empty for codes that have no message of their own.
constexpr std::array<const char*, 36> kErrorTexts = {
    "",
    "Error in Pattern: \"%s\" at offset (%d)",
    "Study of compiled pattern failed: (%s)",
    "Locale for selected language (%s) is unavailable on this machine",
    "Invalid Compiled Pattern (nil)",
    "Invalid Compiled Pattern (bad magic number)",
    "Compiled Pattern has changed since last Match",
    "No Active Pattern found",
    "Invalid PatternID (%d)",
    "Compiled Pattern is not available fordetermining Group Number from Name (%s)",
    "",
    "GroupNum out of bounds (%d)",
    "Unknown GroupName: (%s)",
    "StartAt is greater than length of target. TargetLength = %d but StartAt = %d.",
    "StartAt must be greater than 0 -(%d) is invalid",
    "Match not found",
    "Compiled pattern code or target is NULL",
    "Unrecognized bit in match options",
    "Unrecognized compiled pattern code",
    "Unknown item in compiled pattern",
    "Out of memory during match",
    "The recursion and backtracking limit (MatchLimit) was reached",
    "Target contains an invalid UTF-8 byte sequence",
    "",
    "Invalid Prior MatchResult-GroupCount = 0",
    "Error in Replacement string \"%s\" at offset (%d): %s",
    "MatchResult's MatchPatternID must be the same as that stored with the BuildPatternID",
    "CustomToken index invalid (%d)",
    "The OnReplaceCustomToken event must  be assigned to evaluate the token ${%s}",
    "Error in BuildPattern \"%s\" at offset (%d): %s",
    "No Active BuildPattern found",
    "Invalid BuildPatternID (%d)",
    "Invalid Tokenized BuildPattern (nil)",
    "Setting CustomTokens can only be done prior to adding any BuildPatterns",
    "BuildPatternID already removed (%d)",
    "",
};

constexpr std::array<const char*, 37> kMethodNames = {
    "GroupEnd",
    "GroupLength",
    "GroupStart",
    "GroupValue",
    "GroupValueByName",
    "IsMatch",
    "Match",
    "MatchedEnd",
    "MatchedLength",
    "MatchedStart",
    "MatchedValue",
    "MatchNext",
    "Matches",
    "PatternGroupNumberFromName",
    "RemovePattern",
    "Replace",
    "Split",
    "BuildString",
    "AddBuildPattern",
    "RemoveBuildPattern",
    "SetCustomtokens",
    "AppendReplacement",
    "GetGroupNumFromName",
    "GetGroupValue",
    "GetMatch",
    "GetMatchStatic",
    "GetPattern",
    "GetPatternInfo",
    "GetPatternLanguage",
    "GetPatternNamedGroupCount",
    "GetPatternNamedGroupNames",
    "GetPatternNamedGroupNumbers",
    "GetPatternMatchLimit",
    "GetPatternOptions",
    "MatchAndReplace",
    "SetDefaultLanguage",
    "SplitToArray",
};

std::string argText(const FormatArg& arg) {
    if (const auto* text = std::get_if<std::string>(&arg))
        return *text;
    return std::to_string(std::get<int64_t>(arg));
}

[[noreturn]] void raise(RegexErrorCode code, RegexOperation method, RegexOperation called,
                        const std::string& className, int32_t value, FormatArgs args) {
    throw RegexError(composeRegExMessage(code, method, called, className, args), code, value,
                     method, called);
}

} // namespace

RegexError::RegexError(const std::string& message, RegexErrorCode code, int32_t value,
                       RegexOperation reporting, RegexOperation called)
    : std::runtime_error(message), errorCode(code), errorValue(value), reportingMethod(reporting),
      calledMethod(called) {}

std::string regExErrorText(RegexErrorCode code) {
    const auto index = static_cast<size_t>(code);
    if (index < kErrorTexts.size() && *kErrorTexts[index] != '\0')
        return kErrorTexts[index];
    return "Unknown Error Code (%d)";
}

std::string regExMethodName(RegexOperation method) {
    const auto index = static_cast<size_t>(method);
    return index < kMethodNames.size() ? kMethodNames[index] : "";
}

std::string formatRegExText(const std::string& text, FormatArgs args) {
    std::string out;
    out.reserve(text.size() + 32);
    auto next = args.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        const bool placeholder =
            text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 's' || text[i + 1] == 'd');
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (placeholder && next != args.end()) {
            out += argText(*next++);
            ++i;
        } else {
            out += text[i]; // a placeholder without an argument stays visible as typed
        }
    }
    return out;
}

std::string regExStatusMessage(RegexErrorCode code, FormatArgs args) {
    return formatRegExText(regExErrorText(code), args);
}

std::string composeRegExMessage(RegexErrorCode code, RegexOperation method, RegexOperation called,
                                const std::string& className, FormatArgs args) {
    // Built by appends: chained literal + string trips a false -Wrestrict in GCC 12 at -O3.
    std::string text = "\"";
    text += regExErrorText(code);
    text += "\" reported by Method \"";
    text += regExMethodName(method);
    text += '"';
    if (!className.empty()) {
        text += " on Class \"";
        text += className;
        text += '"';
    }
    if (called != method) {
        text += " when calling \"";
        text += regExMethodName(called);
        text += '"';
    }
    text += '.';
    return formatRegExText(text, args);
}

void raiseError(RegexErrorCode code, RegexOperation method, int32_t value, FormatArgs args) {
    raise(code, method, method, "", value, args);
}

void raiseErrorCalling(RegexErrorCode code, RegexOperation method, RegexOperation called,
                       int32_t value, FormatArgs args) {
    raise(code, method, called, "", value, args);
}

void raiseClassError(RegexErrorCode code, RegexOperation method, const std::string& className,
                     int32_t value, FormatArgs args) {
    raise(code, method, method, className, value, args);
}

void raiseClassErrorCalling(RegexErrorCode code, RegexOperation method, RegexOperation called,
                            const std::string& className, int32_t value, FormatArgs args) {
    raise(code, method, called, className, value, args);
}

} // namespace kestrava::regex
