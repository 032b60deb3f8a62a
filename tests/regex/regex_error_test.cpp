// Message composition; the plain and class forms are proven where the layer raises them.
#include "regex/regex_error.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

namespace kestrava::regex {
namespace {

TEST(RegExMessages, CallingFormsNameTheInnerCallAndFillTheFields) {
    EXPECT_EQ(
        composeRegExMessage(RegexErrorCode::StartAtTooLarge, RegexOperation::Match,
                            RegexOperation::GetMatchStatic, "", {int64_t{3}, int64_t{4}}),
        R"m("StartAt is greater than length of target. TargetLength = 3 but StartAt = 4." reported by Method "Match" when calling "GetMatchStatic".)m");
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
}

TEST(RegExMessages, UnknownCodesAndPlaceholders) {
    // 23 and 26 are retired numbers: no code holds them any more.
    for (RegexErrorCode code : {RegexErrorCode::CacheFull, RegexErrorCode(23), RegexErrorCode(26),
                                RegexErrorCode::UnknownExecResult, RegexErrorCode(200)})
        EXPECT_EQ(regExErrorText(code), "Unknown Error Code (%d)") << int(code);
    EXPECT_EQ(regExMethodName(RegexOperation(0)), "") << "a retired number has no name";
    EXPECT_EQ(formatRegExText("a %s b %d c", {std::string("x"), int64_t{-3}, int64_t{9}}),
              "a x b -3 c");
    EXPECT_EQ(formatRegExText("100%% %d", {int64_t{1}}), "100% 1");
    // An argument's own percent signs are not placeholders.
    EXPECT_EQ(formatRegExText("<%s>", {std::string("%d%s")}), "<%d%s>");
    EXPECT_EQ(formatRegExText("missing %d", {}), "missing %d");
}

} // namespace
} // namespace kestrava::regex
