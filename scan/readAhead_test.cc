#include "scan/readAhead.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace scan {
namespace {

// The trial takes turns in pairs of chunks, reading ahead first, then keeps
// the kind whose median turn was the faster, whichever that is: one slow
// turn (a page fault, an interrupt) does not decide it.
TEST(AheadTrial, TakesTurnsThenKeepsTheKindWhoseMedianTurnWasFaster) {
    struct Case {
        std::uint64_t with, without;  // a chunk's time in each kind
        int slowTurnWith;             // a turn with taking 50 times as long, or -1
        bool ahead;                   // what the rest of the reading does
    };
    for (const Case& c : {Case{30'000, 40'000, -1, true}, Case{40'000, 30'000, -1, false},
                          Case{30'000, 31'000, 3, true}, Case{40'000, 40'000, -1, false}}) {
        AheadTrial trial;
        for (std::uint64_t chunk = 0; chunk < AheadTrial::kChunks; ++chunk) {
            const bool ahead = trial.next();
            ASSERT_EQ(ahead, chunk % 4 < 2) << "chunk " << chunk;
            EXPECT_FALSE(trial.settled());
            const bool slow = ahead && static_cast<int>(chunk / 4) == c.slowTurnWith;
            trial.took((ahead ? c.with : c.without) * (slow ? 50 : 1));
        }
        for (int chunk = 0; chunk < 5; ++chunk) {
            EXPECT_EQ(trial.next(), c.ahead) << c.with << " against " << c.without;
            EXPECT_TRUE(trial.settled());
        }
    }
}

}  // namespace
}  // namespace scan
