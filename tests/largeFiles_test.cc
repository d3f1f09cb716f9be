// Files and counts past what 32 bits hold, for the 32-bit builds above all:
// files over 4 GiB, more numbers than the address space takes, counts past
// 2^32.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "fifoWriter.h"
#include "needleRun.h"

namespace fs = std::filesystem;

namespace {

constexpr bool kThirtyTwoBits = sizeof(void*) == 4;

// A FIFO writer of `lines` lines of "1".
FifoWriter onesThrough(const fs::path& fifo, std::uint64_t lines) {
    return FifoWriter(fifo, [lines, sent = std::uint64_t{0}](std::string& block) mutable {
        const std::uint64_t now = std::min<std::uint64_t>(lines - sent, 1 << 20);
        block.clear();
        for (std::uint64_t i = 0; i < now; ++i) {
            block += "1\n";
        }
        sent += now;
        return now > 0;
    });
}

// Do files large enough to be read by several threads give, to the byte,
// the dialogue of the one-thread reading: the counts of every search, the
// out-of-order warning, and the line and token of a stop near the end or at
// the start?
TEST(LargeFiles, ThreadsSayWhatOneThreadSays) {
    ScratchDir dir("threads");
    std::string lines, ascending;
    for (std::int64_t i = 0; lines.size() < (std::size_t{12} << 20); ++i) {
        const char* space = i % 100 == 0 ? "\r\n" : i % 7 == 0 ? " " : "\n";
        lines += std::to_string(i % 13 == 0 ? 7 : i * 7919 % 100000 - 50000) + space;
        // One descent, halfway through.
        ascending += std::to_string(i / 3 - (i == 1'000'000 ? 9 : 0)) + space;
    }
    for (const char* end : {"", "12 x7 5\n", "start"}) {
        const bool atStart = std::string(end) == "start";
        writeWholeFile(dir.path / "numbers.txt", atStart ? "-x " + lines : lines + end);
        writeWholeFile(dir.path / "sortedNumbers.txt",
                       atStart ? "-x " + ascending : ascending + end);
        const std::string typed = "1\n7\n1\n12\n2\n7\n2\n400000\n0\n";
        RunOptions one, four;
        one.arguments = {"-j", "1"};
        four.arguments = {"-j", "4"};
        const NeedleOutcome byOne = runNeedle(dir.path, typed, one);
        const NeedleOutcome byFour = runNeedle(dir.path, typed, four);
        EXPECT_EQ(byFour.out, byOne.out);
        EXPECT_EQ(byFour.err, byOne.err);
        EXPECT_EQ(byFour.status, byOne.status);
        EXPECT_NE(byOne.out.find("instances of 7"), std::string::npos) << byOne.out;
        EXPECT_EQ(byOne.err.find("not in ascending order") != std::string::npos, !atStart)
            << byOne.err;
    }
}

// Is a numbers.txt of more than 4 GiB (sparse: two numbers, then NUL bytes)
// read, and followed when it is replaced? Where file offsets or stat were
// 32-bit, its identity could not be read, and the new file never would be.
TEST(LargeFiles, AFileOverFourGiBIsReadAndFollowedWhenReplaced) {
    ScratchDir dir("over-4-gib");
    const fs::path numbers = dir.path / "numbers.txt";
    writeWholeFile(numbers, "5 5\n");
    fs::resize_file(numbers, (std::uintmax_t{9} << 29) + 3);  // 4.5 GiB
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    LiveNeedle needle(dir.path);
    needle.type("1\n5\n");
    EXPECT_TRUE(needle.waitFor(report(2, 5, 2) + kMenu));
    const fs::path fresh = dir.path / "fresh.txt";
    writeWholeFile(fresh, "5\n");
    fs::rename(fresh, numbers);
    needle.type("1\n5\n");
    EXPECT_TRUE(needle.waitFor(report(1, 5, 1) + kMenu)) << "the replacement";
    EXPECT_EQ(needle.finish(), 0);
    std::string nuls;
    for (int i = 0; i < 32; ++i) {
        nuls += "\\x00";
    }
    EXPECT_EQ(needle.errors(), "Stopped reading the unsorted file at line 2: \"" + nuls +
                                   "...\" is not a 32-bit whole number!\n");
}

// Does a sorted file with more numbers than a 32-bit vector can hold stop
// with "out of memory!", keep what it loaded and answer both searches from
// it, with nothing wrapped around and nothing thrown past the load?
TEST(LargeFiles, ALoadPastWhatA32BitListHoldsStopsForMemory) {
    if (!kThirtyTwoBits) {
        GTEST_SKIP() << "a 64-bit address space holds this list";
    }
#if defined(NEEDLE_EMULATED) && defined(__arm__)
    GTEST_SKIP() << "a gigabyte through an emulator takes a minute; the emulated i386 build runs "
                    "this, and its list is the same 32-bit vector";
#endif
    ScratchDir dir("past-max-size");
    const std::uint64_t most = std::vector<std::int32_t>().max_size();
    const FifoWriter sorted = onesThrough(dir.path / "sortedNumbers.txt", most + 1000);
    ASSERT_TRUE(sorted.made());
    writeWholeFile(dir.path / "numbers.txt", "1\n");
    RunOptions slow;
    slow.patience = std::chrono::minutes(4);  // a gigabyte through an emulator
    const NeedleOutcome outcome = runNeedle(dir.path, "2\n1\n2\n1\n0\n", slow);
    std::smatch stop;
    ASSERT_TRUE(std::regex_match(
        outcome.err, stop,
        std::regex("Stopped reading the sorted file at line ([0-9]+): out of memory!\n")))
        << "status " << outcome.status << ": " << outcome.err;
    const std::uint64_t kept = std::stoull(stop[1]) - 1;
    EXPECT_GT(kept, 0u);
    EXPECT_LE(kept, most);
    const std::string search = kMenu + kTarget + report(static_cast<long long>(kept), 1, 1);
    EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + search + search + kMenu);
    EXPECT_EQ(outcome.status, 0);
}

// Are more than 2^32 numbers counted exactly by a 32-bit needle? 8.6 GB of
// text, streamed through a FIFO.
TEST(LargeFiles, A32BitBuildCountsPast2To32) {
    if (!kThirtyTwoBits) {
        GTEST_SKIP() << "a 64-bit build counts in 64-bit types; the long tests read past 2^31";
    }
#if defined(NEEDLE_EMULATED)
    GTEST_SKIP() << "8.6 GB through an emulator takes many minutes; the static i386 build runs "
                    "this natively where the kernel runs 32-bit programs";
#endif
    ScratchDir dir("past-2-to-32");
    const std::uint64_t lines = (std::uint64_t{1} << 32) + 5;
    const FifoWriter numbers = onesThrough(dir.path / "numbers.txt", lines);
    ASSERT_TRUE(numbers.made());
    writeWholeFile(dir.path / "sortedNumbers.txt", "1\n");
    RunOptions slow;
    slow.patience = std::chrono::minutes(4);
    const NeedleOutcome outcome = runNeedle(dir.path, "1\n1\n0\n", slow);
    const auto count = static_cast<long long>(lines);
    EXPECT_EQ(outcome.out, kGreeting + "Files opened successfully!\n" + kMenu + "\n" + kTarget +
                               report(count, 1, count) + kMenu);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
}

}  // namespace
