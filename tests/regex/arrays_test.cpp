#include "regex/large_array.h"
#include "regex/small_array.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

namespace kestrava::regex {
namespace {

using Array = SmallArray<int, 3>;

std::vector<int> values(const Array& array) {
    return {array.begin(), array.end()};
}

// Copies and moves from either storage keep every value and leave the source empty but usable.
TEST(SmallArray, KeepsValuesAcrossGrowthCopiesAndMoves) {
    for (const size_t count : {2u, 7u}) {
        Array array;
        std::vector<int> expected;
        for (int i = 0; i < static_cast<int>(count); ++i) {
            array.push_back(i * 10);
            expected.push_back(i * 10);
        }
        EXPECT_EQ(values(array), expected);

        Array copy = array;
        copy[0] = 99;
        EXPECT_EQ(std::as_const(array)[0], 0) << "a copy shares nothing";
        EXPECT_THROW((void)array.at(count), std::out_of_range);
        Array moved = std::move(array);
        EXPECT_EQ(values(moved), expected);
        EXPECT_TRUE(array.empty()); // NOLINT(bugprone-use-after-move): moved-from state is defined
        array.push_back(5);
        EXPECT_EQ(values(array), std::vector<int>{5});

        Array assigned{1};
        assigned = std::move(moved);
        EXPECT_EQ(values(assigned), expected);
        assigned = copy;
        EXPECT_EQ(assigned, copy);
    }
}

// Arrays that grow from the heap into mapped blocks keep every value across each move, and a
// mapped block starts on a huge-page boundary (else the kernel could not use huge pages).
TEST(LargeArray, GrowsFromTheHeapIntoMappedBlocks) {
    std::vector<int64_t, LargeArrayAllocator<int64_t>> values;
    for (int64_t i = 0; i < 3'000'000; ++i)
        values.push_back(i * 7);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(values.data()) % (uintptr_t{2} << 20), 0u);
    for (int64_t i = 0; i < 3'000'000; i += 99'999)
        ASSERT_EQ(values[static_cast<size_t>(i)], i * 7);
    auto copy = values;
    values.clear();
    values.shrink_to_fit();
    EXPECT_EQ(copy.back(), 2'999'999 * 7);
}

} // namespace
} // namespace kestrava::regex
