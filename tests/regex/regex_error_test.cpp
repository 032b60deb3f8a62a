// Message composition of the regular-expression layer's errors.
#include "regex/regex_error.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

namespace kestrava::regex {
namespace {

TEST(RegExMessages, ComposesEveryForm) {
    struct Case {
        const char* form;
        std::string message;
        std::string expected;
    };
    const Case cases[] = {
        {"plain",
         composeRegExMessage(RegexErrorCode::InvalidPatternID, RegexOperation::RemovePattern,
                             RegexOperation::RemovePattern, "", {int64_t{7}}),
         R"m("Invalid PatternID (7)" reported by Method "RemovePattern".)m"},
        {"class",
         composeRegExMessage(RegexErrorCode::InvalidPatternID, RegexOperation::Matches,
                             RegexOperation::Matches, "TldiRegExMulti", {int64_t{7}}),
         R"m("Invalid PatternID (7)" reported by Method "Matches" on Class "TldiRegExMulti".)m"},
        {"calling",
         composeRegExMessage(RegexErrorCode::StartAtTooLarge, RegexOperation::Match,
                             RegexOperation::GetMatchStatic, "", {int64_t{3}, int64_t{4}}),
         R"m("StartAt is greater than length of target. TargetLength = 3 but StartAt = 4." reported by Method "Match" when calling "GetMatchStatic".)m"},
        {"class calling",
         composeRegExMessage(RegexErrorCode::NoActivePattern, RegexOperation::Matches,
                             RegexOperation::GetMatch, "TldiRegExStatic", {}),
         R"m("No Active Pattern found" reported by Method "Matches" on Class "TldiRegExStatic" when calling "GetMatch".)m"},
        {"status args",
         composeRegExMessage(RegexErrorCode::PatternError, RegexOperation::Match,
                             RegexOperation::Match, "", {std::string("missing )"), int64_t{2}}),
         R"m("Error in Pattern: "missing )" at offset (2)" reported by Method "Match".)m"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.message, c.expected) << c.form;
}

TEST(RegExMessages, RaisingFormsFillTheFields) {
    try {
        raiseClassErrorCalling(RegexErrorCode::CustomTokenIndex, RegexOperation::Match,
                               RegexOperation::MatchAndReplace, "TldiRegExMulti", 5, {int64_t{9}});
        FAIL() << "expected an exception";
    } catch (const RegexError& e) {
        EXPECT_STREQ(
            e.what(),
            R"m("CustomToken index invalid (9)" reported by Method "Match" on Class "TldiRegExMulti" when calling "MatchAndReplace".)m");
        EXPECT_EQ(e.errorCode, RegexErrorCode::CustomTokenIndex);
        EXPECT_EQ(e.errorValue, 5);
        EXPECT_EQ(e.reportingMethod, RegexOperation::Match);
        EXPECT_EQ(e.calledMethod, RegexOperation::MatchAndReplace);
    }
    // Equal methods collapse to the plain form.
    EXPECT_EQ(test::raised([] {
                  raiseErrorCalling(RegexErrorCode::MatchNotFound, RegexOperation::Split,
                                    RegexOperation::Split, 0, {});
              }).message,
              R"m("Match not found" reported by Method "Split".)m");
    EXPECT_EQ(test::raised([] {
                  raiseClassError(RegexErrorCode::NoActivePattern, RegexOperation::Matches,
                                  "TldiRegEx", 0, {});
              }).message,
              R"m("No Active Pattern found" reported by Method "Matches" on Class "TldiRegEx".)m");
}

TEST(RegExMessages, CodesWithoutTextAreUnknown) {
    // 23 and 26 are retired numbers: no code holds them any more.
    for (RegexErrorCode code : {RegexErrorCode::CacheFull, RegexErrorCode(23), RegexErrorCode(26),
                                RegexErrorCode::UnknownExecResult, RegexErrorCode(200)})
        EXPECT_EQ(regExErrorText(code), "Unknown Error Code (%d)") << int(code);
    EXPECT_EQ(regExErrorText(RegexErrorCode::CustomTokenUnassigned),
              "The OnReplaceCustomToken event must  be assigned to evaluate the token ${%s}");
}

TEST(RegExMessages, FormatFillsLeftToRight) {
    EXPECT_EQ(formatRegExText("a %s b %d c", {std::string("x"), int64_t{-3}, int64_t{9}}),
              "a x b -3 c");
    EXPECT_EQ(formatRegExText("100%% %d", {int64_t{1}}), "100% 1");
    // An argument's own percent signs are not placeholders.
    EXPECT_EQ(formatRegExText("<%s>", {std::string("%d%s")}), "<%d%s>");
    EXPECT_EQ(formatRegExText("missing %d", {}), "missing %d");
    EXPECT_EQ(regExMethodName(RegexOperation::SplitToArray), "SplitToArray");
    EXPECT_EQ(regExMethodName(RegexOperation(0)), "") << "a retired number has no name";
}

} // namespace
} // namespace kestrava::regex
