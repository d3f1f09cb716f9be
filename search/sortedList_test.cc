// The sorted list: its order check at every step of 256 pairs and at the
// seam between two batches, its room, and what a load keeps.
#include "search/sortedList.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fifoWriter.h"
#include "freshProgram.h"
#include "frontend/programState.h"
#include "madeUpSystem.h"
#include "scan/readSizes.h"
#include "system/largePages.h"
#include "system/memoryLeft.h"

namespace {

NumberList ascending(std::size_t size) {
    NumberList list(size);
    for (std::size_t i = 0; i < size; ++i) {
        list[i] = static_cast<std::int32_t>(i * 2);
    }
    return list;
}

// Where `list` first descends from `batchStart` on, as a load checks a batch
// appended there.
std::size_t firstDescentFrom(const NumberList& list, std::size_t batchStart) {
    return firstDescentIn(list.data() + batchStart, list.data() + list.size(), batchStart != 0);
}

// The check goes 256 pairs at a time from the number before the batch: a
// descent at each place around the ends of the first steps, for batches
// that start at several places, is found exactly where it is.
TEST(FirstDescentFrom, FindsADescentAtEveryPlaceAroundThe256PairSteps) {
    constexpr std::size_t kSize = 1100;
    for (const std::size_t batchStart : {0u, 1u, 2u, 255u, 256u, 257u}) {
        for (std::size_t at = batchStart; at < kSize; ++at) {
            NumberList list = ascending(kSize);
            list[at] = list[at] - 3;  // smaller than the number before it
            if (at == 0) {
                continue;  // the first number has nothing before it
            }
            ASSERT_EQ(firstDescentFrom(list, batchStart), at - batchStart)
                << "descent at " << at << ", batch from " << batchStart;
        }
    }
}

TEST(FirstDescentFrom, FindsNoneInAscendingOrEqualNumbers) {
    const NumberList list = ascending(1000);
    EXPECT_EQ(firstDescentFrom(list, 0), 1000u);
    EXPECT_EQ(firstDescentFrom(list, 600), 400u);
    // Lists of their own, just as long as the numbers they hold, around
    // whole steps of 256 pairs: the sanitizers see any read past the end.
    for (const std::size_t size : {255u, 256u, 257u, 512u, 513u}) {
        const NumberList exact = ascending(size);
        EXPECT_EQ(firstDescentFrom(exact, 0), size) << size;
        EXPECT_EQ(firstDescentFrom(exact, 1), size - 1) << size;
    }
    const NumberList equal(700, -5);
    EXPECT_EQ(firstDescentFrom(equal, 0), 700u);
    EXPECT_EQ(firstDescentFrom(NumberList{}, 0), 0u);
}

TEST(FirstDescentFrom, JudgesABatchsFirstNumberAgainstTheLastOfTheBatchBefore) {
    // The seam: each batch alone ascends.
    EXPECT_EQ(firstDescentFrom({1, 2, 9, 3, 4}, 3), 0u);
    EXPECT_EQ(firstDescentFrom({1, 2, 3, 3, 4}, 3), 2u);
    // A descent before the batch was the batch before's to find.
    EXPECT_EQ(firstDescentFrom({5, 1, 2, 3, 4}, 2), 3u);
}

// Does a list of a few MiB or more start on a large page's boundary, so that
// whole large pages can cover it?
TEST(NumberList, ALargeCapacityStartsOnALargePage) {
    if (NumberList::allocator_type::kAlignedFrom == SIZE_MAX) {
        GTEST_SKIP() << "a 32-bit system aligns no list: it has no address space to spare";
    }
    NumberList list;
    list.reserve(NumberList::allocator_type::kAlignedFrom / sizeof(std::int32_t));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(list.data()) % kLargePage, 0u);
}

TEST(MostNumbersFor, FillsTheReservedRoomFourBytesANumber) {
    NumberList list(10);
    list.reserve(1'000'000);
    EXPECT_EQ(mostNumbersFor(list, 4000), 1010u);
    EXPECT_EQ(mostNumbersFor(list, 4003), 1010u);
    EXPECT_EQ(mostNumbersFor(list, 0), 10u);
    EXPECT_EQ(mostNumbersFor(list, kNoLimit), SIZE_MAX);
}

TEST(MostNumbersFor, MovesOnceIntoAllTheRoomWhereBothCopiesFit) {
    // No room reserved: the list moves once, into room for all the rest,
    // if the old copy and the new one fit together.
    NumberList list(1000);
    list.shrink_to_fit();
    EXPECT_EQ(mostNumbersFor(list, 8000), 3000u);
    EXPECT_EQ(mostNumbersFor(list, 4000), 2000u) << "both copies just fit";
    EXPECT_EQ(mostNumbersFor(list, 3996), 1000u) << "they do not: it stays as it is";
    // Room reserved, less than the memory left, but too much to move.
    list.reserve(2000);
    const std::size_t capacity = list.capacity();
    EXPECT_EQ(mostNumbersFor(list, 4 * (2 * capacity - 1000)), 1000 + 2 * capacity - 1000);
    EXPECT_EQ(mostNumbersFor(list, 4 * (capacity - 1000) + 4), capacity);
    // A list that grows from nothing, as from a pipe, may fill all the room.
    EXPECT_EQ(mostNumbersFor(NumberList(), 4'000'000), 1'000'000u);
}

TEST(ReserveForNumbers, MakesRoomForOneNumberPerTwoBytesOfWhatIsLeft) {
    std::stringbuf in(std::string(1000, ' '));
    in.pubseekpos(200, std::ios::in);
    NumberList list = {1, 2};
    reserveForNumbers(in, list);
    EXPECT_GE(list.capacity(), 2u + 401u);
    EXPECT_EQ(list, (NumberList{1, 2}));
    EXPECT_EQ(in.pubseekoff(0, std::ios::cur, std::ios::in), 200);  // left where it was
}

TEST(AppendNumbers, AppendsInOrderAfterWhatIsThere) {
    NumberList list = {9};
    const std::int32_t values[] = {1, 2, 3};
    EXPECT_EQ(appendNumbers(list, values, 3), 3u);
    EXPECT_EQ(list, (NumberList{9, 1, 2, 3}));
}

// Loads sortedNumbers.txt as the first binary search does, from a file of
// the test's own, with standard error captured.
class LoadSortedList : public testing::Test {
  protected:
    void SetUp() override {
        resetProgramState();
        path_ = std::filesystem::temp_directory_path() /
                ("needle-sortedList-" + std::to_string(getpid()) + ".txt");
        saved_ = std::cerr.rdbuf(errors_.rdbuf());
    }
    void TearDown() override {
        std::cerr.rdbuf(saved_);
        resetProgramState();
        std::filesystem::remove(path_);
    }
    void load(const std::string& text) {
        std::ofstream(path_) << text;
        sortedFile.open(path_);
        loadSortedList();
    }

    std::filesystem::path path_;
    std::ostringstream errors_;
    std::streambuf* saved_ = nullptr;
};

TEST_F(LoadSortedList, WarnsAtADescentRightAtTheSeamOfTwoReads) {
    // The first read ends exactly after "6\n"; the second begins with "3".
    std::string text;
    for (std::size_t i = 0; i + 4 < scan::kChunk; i += 2) {
        text += "5\n";
    }
    text += "5\n6\n";
    ASSERT_EQ(text.size(), scan::kChunk);
    text += "3\n7\n";
    load(text);
    const std::size_t lines = scan::kChunk / 2;
    EXPECT_EQ(errors_.str(), "The sorted file is not in ascending order at line " +
                                 std::to_string(lines + 1) +
                                 "; binary search results may be wrong!\n");
    EXPECT_EQ(sortedList.size(), lines + 2);
    EXPECT_FALSE(sortedFile) << "a later load must append nothing";
}

TEST_F(LoadSortedList, WarnsOnceAndKeepsEveryNumber) {
    load("1 2 1 3 0 4 x 5");
    EXPECT_EQ(errors_.str(),
              "The sorted file is not in ascending order at line 1; binary search results may be "
              "wrong!\n"
              "Stopped reading the sorted file at line 1: \"x\" is not a 32-bit whole number!\n");
    EXPECT_EQ(sortedList, (NumberList{1, 2, 1, 3, 0, 4}));
    loadSortedList();
    EXPECT_EQ(sortedList.size(), 6u);
}

TEST_F(LoadSortedList, WarnsOnlyAtTheFirstDescentThoughALaterReadHasOneToo) {
    std::string text = "2\n1\n";
    for (int i = 0; i < 66'000; ++i) {
        text += "5\n";
    }
    load(text + "4\n");  // line 66003, in the second read
    EXPECT_EQ(errors_.str(),
              "The sorted file is not in ascending order at line 2; binary search results may be "
              "wrong!\n");
    EXPECT_EQ(sortedList.size(), 66'003u);
}

// Under a ceiling of 81920 numbers, past the first read's 65536, does the
// load stop at exactly that number, from a file whose room was reserved
// ahead and from a pipe, whose list grows from nothing and must not be held
// to half the room by its growing?
TEST_F(LoadSortedList, StopsAtTheCeilingFromAFileAndFromAPipe) {
    const std::uint64_t roomKib = (kMemoryMargin >> 10) + 81920 * 4 / 1024;
    const MadeUpSystem system(
        {{"proc/meminfo", "MemAvailable: " + std::to_string(roomKib) + " kB\nSwapFree: 0 kB\n"},
         {"proc/self/cgroup", ""}});
    std::string text;
    for (int i = 0; i < 140'000; ++i) {
        text += "1\n";
    }
    for (const bool fromPipe : {false, true}) {
        resetProgramState();
        errors_.str("");
        std::filesystem::remove(path_);
        std::optional<FifoWriter> writer;
        if (fromPipe) {
            writer.emplace(path_, FifoWriter::once(text));
        } else {
            std::ofstream(path_) << text;
        }
        sortedFile.open(path_);
        loadSortedList(scan::bestKernel(), system.root());
        EXPECT_EQ(sortedList.size(), 81920u) << (fromPipe ? "from a pipe" : "from a file");
        EXPECT_EQ(errors_.str(), "Stopped reading the sorted file at line 81921: out of memory!\n")
            << (fromPipe ? "from a pipe" : "from a file");
        if (fromPipe) {
            // Doubling would have held two copies at once, past the room.
            EXPECT_EQ(sortedList.capacity(), 81920u) << "moved once, into all the room";
        }
        sortedFile.close();  // the writer may finish
    }
}

}  // namespace
