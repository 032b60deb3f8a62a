// Error codes, method names and the one exception class of the regular-expression layer.
// Every failure other than a failed compile (a status) or a missing match (false) is raised as
// RegexError, whose message names the failing operation, the class and the inner call.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <variant>

namespace kes {

// Numbering is stored and compared: never reorder.
enum RegexErrorCode : uint8_t {
    reNone = 0,
    rePatternError = 1,
    reStudyError = 2,
    reLocaleUnavailable = 3,
    reCompiledPatternNil = 4,
    reBadMagicNumber = 5,
    rePatternChanged = 6,
    reNoActivePattern = 7,
    reInvalidPatternID = 8,
    reNoPatternForGroupName = 9,
    reCacheFull = 10,
    reGroupNumOutOfBounds = 11,
    reUnknownGroupName = 12,
    reStartAtTooLarge = 13,
    reStartAtTooSmall = 14,
    reMatchNotFound = 15,
    reNullPatternOrTarget = 16,
    reBadMatchOption = 17,
    reBadPatternCode = 18,
    reUnknownPatternItem = 19,
    reOutOfMemory = 20,
    reMatchLimit = 21,
    reBadUtf8 = 22,
    reReserved23 = 23,
    reInvalidPriorMatch = 24,
    reReplacementError = 25,
    reBuildPatternMismatch = 26,
    reCustomTokenIndex = 27,
    reCustomTokenUnassigned = 28,
    reBuildPatternError = 29,
    reNoActiveBuildPattern = 30,
    reInvalidBuildPatternID = 31,
    reNilBuildPattern = 32,
    reCustomTokensLocked = 33,
    reBuildPatternRemoved = 34,
    reUnknownExecResult = 35,
};

// Public operations named in messages; the numbering is that of the stored method identifiers.
enum RegexOperation : uint8_t {
    rmGroupEnd,
    rmGroupLength,
    rmGroupStart,
    rmGroupValue,
    rmGroupValueByName,
    rmIsMatch,
    rmMatch,
    rmMatchedEnd,
    rmMatchedLength,
    rmMatchedStart,
    rmMatchedValue,
    rmMatchNext,
    rmMatches,
    rmPatternGroupNumberFromName,
    rmRemovePattern,
    rmReplace,
    rmSplit,
    rmBuildString,
    rmAddBuildPattern,
    rmRemoveBuildPattern,
    rmSetCustomtokens,
    rmAppendReplacement,
    rmGetGroupNumFromName,
    rmGetGroupValue,
    rmGetMatch,
    rmGetMatchStatic,
    rmGetPattern,
    rmGetPatternInfo,
    rmGetPatternLanguage,
    rmGetPatternNamedGroupCount,
    rmGetPatternNamedGroupNames,
    rmGetPatternNamedGroupNumbers,
    rmGetPatternMatchLimit,
    rmGetPatternOptions,
    rmMatchAndReplace,
    rmSetDefaultLanguage,
    rmSplitToArray,
};

// One argument of a message: filled into the next %s or %d of the text.
using FormatArg = std::variant<std::string, int64_t>;
using FormatArgs = std::initializer_list<FormatArg>;

class RegexError : public std::runtime_error {
  public:
    RegexError(const std::string& message, RegexErrorCode code, int32_t value,
               RegexOperation reportingMethod, RegexOperation calledMethod);

    RegexErrorCode errorCode;
    int32_t errorValue;             // the pattern ID for the unit-level functions, else 0
    RegexOperation reportingMethod; // the public operation that reported the failure
    RegexOperation calledMethod;    // the inner operation; equals reportingMethod when none
};

// The message text of a code; codes without one give "Unknown Error Code (%d)".
std::string regExErrorText(RegexErrorCode code);
// The name of a method as it appears in messages ("Matches", "getMatch", ...).
std::string regExMethodName(RegexOperation method);
// Fills %s and %d from left to right; surplus arguments are ignored, "%%" gives "%".
std::string formatRegExText(const std::string& text, FormatArgs args);
// The code's text formatted with the arguments, without any "reported by" suffix.
std::string regExStatusMessage(RegexErrorCode code, FormatArgs args);

// The composed exception message. className empty: no "on Class" piece; called equal to
// method: no "when calling" piece.
std::string composeRegExMessage(RegexErrorCode code, RegexOperation method, RegexOperation called,
                                const std::string& className, FormatArgs args);

[[noreturn]] void raiseError(RegexErrorCode code, RegexOperation method, int32_t value,
                             FormatArgs args);
[[noreturn]] void raiseErrorCalling(RegexErrorCode code, RegexOperation method,
                                    RegexOperation called, int32_t value, FormatArgs args);
[[noreturn]] void raiseClassError(RegexErrorCode code, RegexOperation method,
                                  const std::string& className, int32_t value, FormatArgs args);
[[noreturn]] void raiseClassErrorCalling(RegexErrorCode code, RegexOperation method,
                                         RegexOperation called, const std::string& className,
                                         int32_t value, FormatArgs args);

} // namespace kes
