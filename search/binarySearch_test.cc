// The run of equal neighbours that a binary search counts around a hit.
#include "search/binarySearch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct RunCase {
    NumberList list;
    std::int64_t at, low, top;
    std::int64_t expected;
};

TEST(CountRunAround, ReachesBothEndsOfTheList) {
    const RunCase cases[] = {
        {{3, 3, 3, 3}, 1, 0, 3, 4},  // the whole list
        {{3, 3, 5}, 0, 0, 2, 2},     // from the first element
        {{1, 5, 5}, 2, 0, 2, 2},     // from the last element
        {{7}, 0, 0, 0, 1},           // a list of one
        {{1, 2, 3}, 1, 0, 2, 1},     // no neighbour equal
    };
    for (const RunCase& c : cases) {
        EXPECT_EQ(countRunAround(c.list, c.at, c.low, c.top), c.expected)
            << "at " << c.at << " of " << c.list.size();
    }
}

TEST(CountRunAround, StaysWithinTheCurrentBounds) {
    const NumberList fives = {5, 5, 5, 5, 5, 5};
    EXPECT_EQ(countRunAround(fives, 2, 1, 3), 3);
    EXPECT_EQ(countRunAround(fives, 2, 2, 2), 1);
    EXPECT_EQ(countRunAround(fives, 0, 0, 4), 5);  // the top bound, not the list's end
    EXPECT_EQ(countRunAround(fives, 5, 1, 5), 5);  // the low bound, not the list's start
}

TEST(CountRunAround, StopsAtTheFirstElementThatDiffers) {
    // An unsorted list: the equal numbers beyond the gap are not counted.
    const NumberList list = {5, 5, 4, 5, 5, 6, 5};
    EXPECT_EQ(countRunAround(list, 3, 0, 6), 2);
    EXPECT_EQ(countRunAround(list, 1, 0, 6), 2);
}

}  // namespace
