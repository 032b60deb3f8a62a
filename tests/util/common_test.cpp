#include "util/common.h"

#include "../case_table.h"

#include <gtest/gtest.h>

using namespace kestrava::util;

TEST(CheckFindExpression, RefusesAnUnescapedBarAtTheEnd) {
    for (const golden::Row& row :
         golden::caseTable(KES_UTIL_DATA "tables.txt", "check find expression")) {
        std::string message = "stale";
        EXPECT_EQ(checkFindExpression(row[0], message), row[1] == "1") << row[0];
        EXPECT_EQ(message, row[1] == "1" ? "Expression cannot end with '|'" : "") << row[0];
    }
}
