// A linear search over more numbers than a 32-bit count can hold, streamed
// through a FIFO so that no disk is needed. Labelled "long": it reads 4.3 GB.
#include <gtest/gtest.h>

#include <string>

#include "fifoWriter.h"
#include "needleRun.h"

namespace {

// Are more than 2^31 numbers counted exactly, matches and comparisons alike?
TEST(Long, CountsMoreThan2To31Numbers) {
    ScratchDir dir("over-2-to-31");
    // 4097 blocks of 2^19 numbers: 2^31 + 2^19 numbers, a quarter of them 7.
    std::string block;
    for (int i = 0; i < (1 << 17); ++i) {
        block += "7\n1\n-3\n0\n";
    }
    int blocksLeft = 4097;
    FifoWriter numbers(dir.path / "numbers.txt", [&block, &blocksLeft](std::string& next) {
        next = block;
        return blocksLeft-- > 0;
    });
    ASSERT_TRUE(numbers.made());
    writeWholeFile(dir.path / "sortedNumbers.txt", "7\n");
    const NeedleOutcome outcome = runNeedle(dir.path, "1\n7\n0\n");
    const long long total = 4097LL << 19;
    const std::string expected = "There were " + std::to_string(total / 4) +
                                 " instances of 7 in the file with " + std::to_string(total) +
                                 " comparisons made\n";
    EXPECT_NE(outcome.out.find(expected), std::string::npos) << outcome.out;
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
}

}  // namespace
