#include "regex/regex_error.h"

namespace kestrava::regex {

namespace {

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
    switch (code) {
    case RegexErrorCode::PatternError:
        return "Error in Pattern: \"%s\" at offset (%d)";
    case RegexErrorCode::StudyError:
        return "Study of compiled pattern failed: (%s)";
    case RegexErrorCode::LocaleUnavailable:
        return "Locale for selected language (%s) is unavailable on this machine";
    case RegexErrorCode::CompiledPatternNil:
        return "Invalid Compiled Pattern (nil)";
    case RegexErrorCode::NoActivePattern:
        return "No Active Pattern found";
    case RegexErrorCode::InvalidPatternID:
        return "Invalid PatternID (%d)";
    case RegexErrorCode::GroupNumOutOfBounds:
        return "GroupNum out of bounds (%d)";
    case RegexErrorCode::StartAtTooLarge:
        return "StartAt is greater than length of target. TargetLength = %d but StartAt = %d.";
    case RegexErrorCode::StartAtTooSmall:
        return "StartAt must be greater than 0 -(%d) is invalid";
    case RegexErrorCode::MatchNotFound:
        return "Match not found";
    case RegexErrorCode::NullPatternOrTarget:
        return "Compiled pattern code or target is NULL";
    case RegexErrorCode::BadMatchOption:
        return "Unrecognized bit in match options";
    case RegexErrorCode::BadPatternCode:
        return "Unrecognized compiled pattern code";
    case RegexErrorCode::UnknownPatternItem:
        return "Unknown item in compiled pattern";
    case RegexErrorCode::OutOfMemory:
        return "Out of memory during match";
    case RegexErrorCode::MatchLimit:
        return "The recursion and backtracking limit (MatchLimit) was reached";
    case RegexErrorCode::BadUtf8:
        return "Target contains an invalid UTF-8 byte sequence";
    case RegexErrorCode::ReplacementError:
        return "Error in Replacement string \"%s\" at offset (%d): %s";
    case RegexErrorCode::CustomTokenIndex:
        return "CustomToken index invalid (%d)";
    case RegexErrorCode::CustomTokenUnassigned:
        return "The OnReplaceCustomToken event must  be assigned to evaluate the token ${%s}";
    default: // None, CacheFull and UnknownExecResult have no message of their own
        return "Unknown Error Code (%d)";
    }
}

std::string regExMethodName(RegexOperation method) {
    switch (method) {
    case RegexOperation::GroupValue:
        return "GroupValue";
    case RegexOperation::Match:
        return "Match";
    case RegexOperation::Matches:
        return "Matches";
    case RegexOperation::RemovePattern:
        return "RemovePattern";
    case RegexOperation::Replace:
        return "Replace";
    case RegexOperation::Split:
        return "Split";
    case RegexOperation::AppendReplacement:
        return "AppendReplacement";
    case RegexOperation::GetMatch:
        return "GetMatch";
    case RegexOperation::GetMatchStatic:
        return "GetMatchStatic";
    case RegexOperation::MatchAndReplace:
        return "MatchAndReplace";
    case RegexOperation::SplitToArray:
        return "SplitToArray";
    }
    return "";
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
