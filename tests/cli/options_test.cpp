// Parsing the command line of kestrava-cli. What each mistake says is in the golden usage-*
// cases, as the user sees it; the values that combine are in option_cases.txt.
#include "cli/options.h"

#include "../case_table.h"

#include <gtest/gtest.h>

#include <functional>

namespace kestrava::cli {
namespace {

using Fields = std::vector<std::string>;

// Each row of the table: the fields `parsed` gives, then the words of the command line.
void expectEachRow(const char* table, size_t given,
                   const std::function<Fields(const CliOptions&)>& parsed) {
    for (const golden::Row& row :
         golden::caseTable(KES_SOURCE_DIR "/tests/cli/option_cases.txt", table)) {
        const auto words = row.begin() + static_cast<ptrdiff_t>(given);
        const Fields args(words, row.end());
        EXPECT_EQ(parsed(parseCommandLine(args)), Fields(row.begin(), words))
            << ::testing::PrintToString(args);
    }
}

TEST(Options, CriteriaAndContextAsGiven) {
    expectEachRow("criteria", 5, [](const CliOptions& p) {
        return Fields{p.criteria.folders, p.criteria.files, p.criteria.find, p.criteria.replace,
                      p.caseSensitive ? "sensitive" : "any"};
    });
    expectEachRow("context", 2, [](const CliOptions& p) {
        return Fields{std::to_string(p.scan.contextBefore), std::to_string(p.scan.contextAfter)};
    });
    EXPECT_EQ(parseCommandLine({"find", "-h"}).command, Command::Help);
}

} // namespace
} // namespace kestrava::cli
