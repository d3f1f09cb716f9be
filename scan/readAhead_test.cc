#include "scan/readAhead.h"

#include <gtest/gtest.h>

namespace scan {
namespace {

// Turns of two chunks, reading ahead first; then the kind whose median turn
// was faster, so that one slow turn (an interrupt) does not decide, and on a
// tie the kind that maps nothing.
TEST(AheadTrial, TakesTurnsThenKeepsTheKindWhoseMedianTurnWasFaster) {
    struct Case {
        std::uint64_t with, without, slowTurnWith;  // a chunk's ns; a turn 50 times as long
        bool ahead;
    };
    for (const Case& c : {Case{30, 40, 99, true}, Case{40, 30, 99, false}, Case{30, 31, 3, true},
                          Case{40, 40, 99, false}}) {
        AheadTrial trial;
        trial.took(1'000'000);  // before any chunk: nothing to time
        for (std::uint64_t chunk = 0; chunk < AheadTrial::kChunks; ++chunk) {
            const bool ahead = trial.next();
            ASSERT_EQ(ahead, chunk % 4 < 2) << chunk;
            trial.took(ahead ? c.with * (chunk / 4 == c.slowTurnWith ? 50 : 1) : c.without);
        }
        EXPECT_EQ(trial.next(), c.ahead) << c.with << " against " << c.without;
        EXPECT_TRUE(trial.settled());
    }
}

}  // namespace
}  // namespace scan
