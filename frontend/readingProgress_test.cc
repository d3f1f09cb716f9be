// The text of the progress line: amounts in MB or GB, the share when the size is known.
#include "frontend/readingProgress.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgressText, ShowsTheShareWhenTheSizeIsKnown) {
    EXPECT_EQ(progressText("numbers.txt", 3'100'000'000, 9'800'000'000),
              "Reading numbers.txt: 3.1 of 9.8 GB (31%)");
    EXPECT_EQ(progressText("sortedNumbers.txt", 250'000'000, 980'000'000),
              "Reading sortedNumbers.txt: 250.0 of 980.0 MB (25%)");
    EXPECT_EQ(progressText("numbers.txt", 980'000'000, 1'200'000'000),
              "Reading numbers.txt: 1.0 of 1.2 GB (81%)");
}

TEST(ProgressText, ShowsOnlyTheAmountOfAPipe) {
    EXPECT_EQ(progressText("numbers.txt", 2'100'000, 0), "Reading numbers.txt: 2.1 MB");
    EXPECT_EQ(progressText("numbers.txt", 12'340'000'000, 0), "Reading numbers.txt: 12.3 GB");
}

}  // namespace
