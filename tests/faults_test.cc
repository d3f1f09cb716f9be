// End-to-end runs of needle under faults that a session file cannot set up.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "needleRun.h"

namespace fs = std::filesystem;

namespace {

const char* const kGreeting =
    "Hello user! Welcome to the program.  This program will search for a needle in the haystack "
    "for you!\nLoading up the unsorted file and sorted file\n";
const char* const kMenu =
    "\n    Main Menu\n(1) Linear Search\n(2) Binary Search\n(3) Hash Search\n(0) exit\n"
    "Please give me a number 1 - 3: ";

std::string report(long long instances, long long target, long long comparisons) {
    return "There were " + std::to_string(instances) + " instances of " + std::to_string(target) +
           " in the file with " + std::to_string(comparisons) + " comparisons made\n";
}

// Does a file whose reads fail end the reading with a read error, after
// which the program goes on?
TEST(Faults, ReadErrorEndsTheReadingAndTheProgramGoesOn) {
    ScratchDir dir("read-error");
    // Reading a process's own memory from address 0 fails with EIO.
    fs::create_symlink("/proc/self/mem", dir.path / "numbers.txt");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    const NeedleOutcome outcome = runNeedle(dir.path, "1\n5\n2\n5\n0\n");
    EXPECT_EQ(outcome.out, std::string(kGreeting) + "Files opened successfully!\n" + kMenu +
                               "\nWhat int do you want me to look for?\nPlease give me a number: " +
                               report(0, 5, 0) + kMenu +
                               "What int do you want me to look for?\nPlease give me a number: " +
                               report(1, 5, 1) + kMenu);
    EXPECT_EQ(outcome.err, "Stopped reading the unsorted file at line 1: read error!\n");
    EXPECT_EQ(outcome.status, 0);
}

// Does a sorted file too big for the memory left keep what fit, say where it
// stopped, and still answer later searches?
TEST(Faults, OutOfMemoryKeepsWhatWasLoaded) {
#if defined(NEEDLE_SANITIZED)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
    ScratchDir dir("out-of-memory");
    writeWholeFile(dir.path / "numbers.txt", "7\n");
    std::string sorted;
    for (int i = 0; i < 60'000'000; ++i) {
        sorted += "7\n";
    }
    writeWholeFile(dir.path / "sortedNumbers.txt", sorted);
    RunOptions limited;
    limited.memoryLimit = 200ull << 20;
    const NeedleOutcome outcome = runNeedle(dir.path, "2\n7\n2\n7\n0\n", limited);

    std::smatch stop;
    ASSERT_TRUE(std::regex_match(
        outcome.err, stop,
        std::regex("Stopped reading the sorted file at line ([0-9]+): out of memory!\n")))
        << outcome.err;
    // One number per line: everything before the line of the stop was kept.
    const long long kept = std::stoll(stop[1]) - 1;
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, 60'000'000);
    const std::string search =
        kMenu + std::string("What int do you want me to look for?\nPlease give me a number: ") +
        report(kept, 7, 1);
    EXPECT_EQ(outcome.out,
              std::string(kGreeting) + "Files opened successfully!\n" + search + search + kMenu);
    EXPECT_EQ(outcome.status, 0);
}

}  // namespace
