// Error codes, method names and the one exception class of the regular-expression layer.
// Every failure other than a failed compile (a status) or a missing match (false) is raised as
// RegexError, whose message names the failing operation, the class and the inner call.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <variant>

namespace kestrava::regex {

// Numbering is stored and compared: never renumber; retired numbers stay unused.
enum class RegexErrorCode : uint8_t {
    None = 0,
    PatternError = 1,
    StudyError = 2,
    LocaleUnavailable = 3,
    CompiledPatternNil = 4,
    NoActivePattern = 7,
    InvalidPatternID = 8,
    CacheFull = 10,
    GroupNumOutOfBounds = 11,
    StartAtTooLarge = 13,
    StartAtTooSmall = 14,
    MatchNotFound = 15,
    NullPatternOrTarget = 16,
    BadMatchOption = 17,
    BadPatternCode = 18,
    UnknownPatternItem = 19,
    OutOfMemory = 20,
    MatchLimit = 21,
    BadUtf8 = 22,
    ReplacementError = 25,
    CustomTokenIndex = 27,
    CustomTokenUnassigned = 28,
    UnknownExecResult = 35,
};

// Public operations named in messages; the numbering is that of the stored method identifiers,
// so the gaps stay.
enum class RegexOperation : uint8_t {
    GroupValue = 3,
    Match = 6,
    Matches = 12,
    RemovePattern = 14,
    Replace = 15,
    Split = 16,
    AppendReplacement = 21,
    GetMatch = 24,
    GetMatchStatic = 25,
    MatchAndReplace = 34,
    SplitToArray = 36,
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

} // namespace kestrava::regex
