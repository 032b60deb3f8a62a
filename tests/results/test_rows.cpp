// Row tables of the four views and the unique-match collation.
#include "results/kes_uCollation.h"
#include "results/kes_uResults.h"
#include "results/kes_uTextSet.h"
#include "results_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace kes {
namespace {

std::string Shape(const TkesMatchResults& results, const TResultRows& rows) {
    std::string shape;
    for (const TResultRow& row : rows) {
        switch (row.Kind) {
        case rkFileHeader:
            shape += "H" + std::to_string(row.FileIndex) + " ";
            break;
        case rkLine:
            shape += "L" + std::to_string(row.LineIndex) + " ";
            break;
        case rkBlank:
            shape += "_ ";
            break;
        case rkMatch: {
            const TMatchedLines& line = results.Files[static_cast<size_t>(row.FileIndex)]
                                            .Lines[static_cast<size_t>(row.LineIndex)];
            shape += std::string(MatchText(line, static_cast<size_t>(row.MatchIndex))) + " ";
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
        fOldLcAll = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
        setenv("LC_ALL", "en_US.UTF-8", 1);
    }
    void TearDown() override {
        if (fOldLcAll)
            setenv("LC_ALL", fOldLcAll->c_str(), 1);
        else
            unsetenv("LC_ALL");
    }
    std::string Rows(TResultView view, int32_t expectedUnique = 0) {
        TResultRows rows;
        EXPECT_EQ(BuildResultRows(fResults, view, rows), expectedUnique);
        return Shape(fResults, rows);
    }
    TkesMatchResults fResults = test::MakeResults(
        {{"/src/", "a.txt", {"x [Beta] y [alpha]", "[beta]"}},
         {"/src/sub/", "b.txt", {"[ALPHA][gamma]->", "[\xC3\xA9t\xC3\xA9] [ete]"}}},
        5);
    std::optional<std::string> fOldLcAll;
};

TEST_F(ResultRowsTest, EachViewHasItsShape) {
    EXPECT_EQ(Rows(rvLinesWithMatches), "H0 L0 L1 _ H1 L0 L1 _ ");
    EXPECT_EQ(Rows(rvMatchesOnly), "H0 Beta alpha beta _ H1 ALPHA gamma \xC3\xA9t\xC3\xA9 ete _ ");
    EXPECT_EQ(Rows(rvUniqueMatches, 5), "Beta alpha gamma \xC3\xA9t\xC3\xA9 ete ")
        << "letter case folds, the first occurrence is kept, accents still count";
    EXPECT_EQ(Rows(rvUniqueMatchesSorted, 5), "alpha Beta ete \xC3\xA9t\xC3\xA9 gamma ");
}

TEST_F(ResultRowsTest, NoMatchesGiveNoRows) {
    fResults = test::MakeResults({}, 3);
    for (TResultView view :
         {rvLinesWithMatches, rvMatchesOnly, rvUniqueMatches, rvUniqueMatchesSorted})
        EXPECT_EQ(Rows(view), "");
}

TEST(MatchCollation, CAndPosixUseTheRootCollationThatFoldsCase) {
    EXPECT_EQ(IcuLocaleName("C"), "");
    EXPECT_EQ(IcuLocaleName("POSIX"), "");
    EXPECT_EQ(IcuLocaleName("de_DE.UTF-8@euro"), "de_DE");
    for (const char* locale : {"C", "POSIX", "", "de_DE.UTF-8", "xx_YY"}) {
        TMatchCollator collator(locale);
        EXPECT_EQ(collator.SortKey("Stra\xC3\x9F"
                                   "e"),
                  collator.SortKey("STRA\xC3\x9F"
                                   "E"))
            << locale;
        EXPECT_NE(collator.SortKey("abc"), collator.SortKey("abd")) << locale;
        EXPECT_LT(collator.SortKey("apple"), collator.SortKey("Banana")) << locale;
    }
}

TEST(MatchCollation, BytesThatAreNotUtf8ReadAsLatin1) {
    TMatchCollator collator("en_US");
    EXPECT_EQ(collator.SortKey("caf\xE9"), collator.SortKey("CAF\xC9"));
    EXPECT_EQ(collator.SortKey("caf\xE9"), collator.SortKey("caf\xC3\xA9")) << "same character";
    EXPECT_NE(collator.SortKey("cafe"), collator.SortKey("caf\xE9")) << "accents are not folded";
}

} // namespace
} // namespace kes

namespace kes {
namespace {

TEST(TextSet, KeepsTheFirstOfEqualTextsInOrderThroughGrowth) {
    for (const bool copy : {false, true}) {
        std::vector<std::string> texts;
        for (int i = 0; i < 5000; ++i)
            texts.push_back("t" + std::to_string(i % 2500)); // every text twice
        TTextSet set(4, copy);
        size_t added = 0;
        for (const std::string& text : texts)
            added += set.Insert(text);
        EXPECT_EQ(added, 2500u);
        ASSERT_EQ(set.Size(), 2500u);
        EXPECT_EQ(set.Text(0), "t0");
        EXPECT_EQ(set.Text(2499), "t2499");
        EXPECT_FALSE(set.Insert(std::string("t17")));
        EXPECT_TRUE(set.Insert(std::string_view("t1\0", 3))) << "bytes after a NUL count";
    }
}

} // namespace
} // namespace kes
