// Error codes, method names and the one exception class of the regular-expression layer.
// Every failure other than a failed compile (a status) or a missing match (false) is raised as
// EldiRegExError, whose message names the failing operation, the class and the inner call.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <variant>

namespace kes {

// Numbering is stored and compared: never reorder.
enum TRegExError : uint8_t {
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
enum TRegExMethod : uint8_t {
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
using TFormatArg = std::variant<std::string, int64_t>;
using TFormatArgs = std::initializer_list<TFormatArg>;

class EldiRegExError : public std::runtime_error {
  public:
    EldiRegExError(const std::string& message, TRegExError code, int32_t value,
                   TRegExMethod reportingMethod, TRegExMethod calledMethod);

    TRegExError ErrorCode;
    int32_t ErrorValue;           // the pattern ID for the unit-level functions, else 0
    TRegExMethod ReportingMethod; // the public operation that reported the failure
    TRegExMethod CalledMethod;    // the inner operation; equals ReportingMethod when none
};

// The message text of a code; codes without one give "Unknown Error Code (%d)".
std::string RegExErrorText(TRegExError code);
// The name of a method as it appears in messages ("Matches", "GetMatch", ...).
std::string RegExMethodName(TRegExMethod method);
// Fills %s and %d from left to right; surplus arguments are ignored, "%%" gives "%".
std::string FormatRegExText(const std::string& text, TFormatArgs args);
// The code's text formatted with the arguments, without any "reported by" suffix.
std::string RegExStatusMessage(TRegExError code, TFormatArgs args);

// The composed exception message. className empty: no "on Class" piece; called equal to
// method: no "when calling" piece.
std::string ComposeRegExMessage(TRegExError code, TRegExMethod method, TRegExMethod called,
                                const std::string& className, TFormatArgs args);

[[noreturn]] void RaiseError(TRegExError code, TRegExMethod method, int32_t value,
                             TFormatArgs args);
[[noreturn]] void RaiseErrorCalling(TRegExError code, TRegExMethod method, TRegExMethod called,
                                    int32_t value, TFormatArgs args);
[[noreturn]] void RaiseClassError(TRegExError code, TRegExMethod method,
                                  const std::string& className, int32_t value, TFormatArgs args);
[[noreturn]] void RaiseClassErrorCalling(TRegExError code, TRegExMethod method, TRegExMethod called,
                                         const std::string& className, int32_t value,
                                         TFormatArgs args);

} // namespace kes
