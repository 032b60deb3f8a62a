// Row tables of the four views and the unique-match collation.
#include "results/collation.h"
#include "results/results.h"
#include "results/text_set.h"
#include "results_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace kestrava::results {
namespace {

std::string shape(const search::SearchResults& results, const Rows& rows) {
    std::string shape;
    for (const Row& row : rows) {
        switch (row.kind) {
        case RowKind::FileHeader:
            shape += "H" + std::to_string(row.fileIndex) + " ";
            break;
        case RowKind::Line:
            shape += "L" + std::to_string(row.lineIndex) + " ";
            break;
        case RowKind::Blank:
            shape += "_ ";
            break;
        case RowKind::Context:
            shape += "C" + std::to_string(row.lineIndex) + " ";
            break;
        case RowKind::Separator:
            shape += "-- ";
            break;
        case RowKind::Match: {
            const search::MatchedLine& line = results.files[static_cast<size_t>(row.fileIndex)]
                                                  .lines[static_cast<size_t>(row.lineIndex)];
            shape += std::string(matchText(line, static_cast<size_t>(row.matchIndex))) + " ";
        }
        }
    }
    return shape;
}

class ResultRowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Collation follows the environment; pin it so the test means the same everywhere.
        const char* old = std::getenv("LC_ALL");
        m_oldLcAll = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        setenv("LC_ALL", "en_US.UTF-8", 1);
    }
    void TearDown() override {
        if (m_oldLcAll)
            setenv("LC_ALL", m_oldLcAll->c_str(), 1);
        else
            unsetenv("LC_ALL");
    }
    std::string rows(View view, int32_t expectedUnique = 0) {
        Rows rows;
        EXPECT_EQ(buildResultRows(m_results, view, rows), expectedUnique);
        return shape(m_results, rows);
    }
    search::SearchResults m_results = test::makeResults(
        {{"/src/", "a.txt", {"x [Beta] y [alpha]", "[beta]"}},
         {"/src/sub/", "b.txt", {"[ALPHA][gamma]->", "[\xC3\xA9t\xC3\xA9] [ete]"}}},
        5);
    std::optional<std::string> m_oldLcAll;
};

TEST_F(ResultRowsTest, EachViewHasItsShape) {
    EXPECT_EQ(rows(View::LinesWithMatches), "H0 L0 L1 _ H1 L0 L1 _ ");
    EXPECT_EQ(rows(View::MatchesOnly),
              "H0 Beta alpha beta _ H1 ALPHA gamma \xC3\xA9t\xC3\xA9 ete _ ");
    EXPECT_EQ(rows(View::UniqueMatches, 5), "Beta alpha gamma \xC3\xA9t\xC3\xA9 ete ")
        << "letter case folds, the first occurrence is kept, accents still count";
    EXPECT_EQ(rows(View::UniqueMatchesSorted, 5), "alpha Beta ete \xC3\xA9t\xC3\xA9 gamma ");
}

TEST_F(ResultRowsTest, NoMatchesGiveNoRows) {
    m_results = test::makeResults({}, 3);
    for (View view : {View::LinesWithMatches, View::MatchesOnly, View::UniqueMatches,
                      View::UniqueMatchesSorted})
        EXPECT_EQ(rows(view), "");
}

TEST(MatchCollation, CAndPosixUseTheRootCollationThatFoldsCase) {
    EXPECT_EQ(icuLocaleName("C"), "");
    EXPECT_EQ(icuLocaleName("POSIX"), "");
    EXPECT_EQ(icuLocaleName("de_DE.UTF-8@euro"), "de_DE");
    for (const char* locale : {"C", "POSIX", "", "de_DE.UTF-8", "xx_YY"}) {
        MatchCollator collator(locale);
        EXPECT_EQ(collator.sortKey("Stra\xC3\x9F"
                                   "e"),
                  collator.sortKey("STRA\xC3\x9F"
                                   "E"))
            << locale;
        EXPECT_NE(collator.sortKey("abc"), collator.sortKey("abd")) << locale;
        EXPECT_LT(collator.sortKey("apple"), collator.sortKey("Banana")) << locale;
    }
}

TEST(MatchCollation, BytesThatAreNotUtf8ReadAsLatin1) {
    MatchCollator collator("en_US");
    EXPECT_EQ(collator.sortKey("caf\xE9"), collator.sortKey("CAF\xC9"));
    EXPECT_EQ(collator.sortKey("caf\xE9"), collator.sortKey("caf\xC3\xA9")) << "same character";
    EXPECT_NE(collator.sortKey("cafe"), collator.sortKey("caf\xE9")) << "accents are not folded";
}

TEST(TextSet, KeepsTheFirstOfEqualTextsInOrderThroughGrowth) {
    for (const bool copy : {false, true}) {
        std::vector<std::string> texts;
        for (int i = 0; i < 5000; ++i)
            texts.push_back("t" + std::to_string(i % 2500)); // every text twice
        TextSet set(4, copy);
        size_t added = 0;
        for (const std::string& text : texts)
            added += set.insert(text);
        EXPECT_EQ(added, 2500u);
        ASSERT_EQ(set.size(), 2500u);
        EXPECT_EQ(set.text(0), "t0");
        EXPECT_EQ(set.text(2499), "t2499");
        EXPECT_FALSE(set.insert(std::string("t17")));
        EXPECT_TRUE(set.insert(std::string_view("t1\0", 3))) << "bytes after a NUL count";
    }
}

} // namespace
} // namespace kestrava::results
