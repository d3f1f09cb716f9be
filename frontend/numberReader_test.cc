// Which typed values the number reader takes as 32-bit whole numbers.
#include "frontend/numberReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(IsWholeInt32, AcceptsWholeNumbersUpToTheLimits) {
    for (const double value : {0.0, -0.0, 3.0, -3.0, 2147483647.0, -2147483648.0}) {
        EXPECT_TRUE(isWholeInt32(value)) << value;
    }
}

TEST(IsWholeInt32, RejectsFractionsAndValuesJustPastTheLimits) {
    for (const double value : {3.5, -0.5, 1e-300, 2147483647.5, 2147483648.0, -2147483648.5,
                               -2147483649.0, 1e10, -1e300}) {
        EXPECT_FALSE(isWholeInt32(value)) << value;
    }
}

TEST(IsWholeInt32, RejectsInfinitiesAndNaN) {
    EXPECT_FALSE(isWholeInt32(std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(isWholeInt32(-std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(isWholeInt32(std::nan("")));
}

}  // namespace
