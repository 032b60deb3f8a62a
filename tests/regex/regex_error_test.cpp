// Message composition; the forms the layer raises are proven where it raises them.
#include "regex/regex_error.h"
#include "regex_test_util.h"

#include <gtest/gtest.h>

namespace kestrava::regex {
namespace {

// The raised errors prove the forms with a class; here the calling form without one, its
// placeholders filled.
TEST(RegExMessages, CallingFormsUnknownCodesAndPlaceholders) {
    EXPECT_EQ(
        composeRegExMessage(RegexErrorCode::CustomTokenIndex, RegexOperation::Match,
                            RegexOperation::GetMatchStatic, "", {int64_t{9}}),
        R"m("CustomToken index invalid (9)" reported by Method "Match" when calling "GetMatchStatic".)m");
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
