// Number files that change while needle runs: replaced under their names,
// overwritten in place, removed, and a FIFO that has no writer yet.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "needleRun.h"

namespace fs = std::filesystem;

namespace {

// A function, not a constant: kGreeting belongs to another file, which may
// be initialised after this one.
std::string opened() {
    return kGreeting + "Files opened successfully!\n";
}

// Replaces `file` by a new file holding `text`, as mv, sed -i and most
// editors' saves do: the old file lives on only for whoever has it open.
void replaceFile(const fs::path& file, const std::string& text) {
    const fs::path fresh = file.string() + ".new";
    writeWholeFile(fresh, text);
    fs::rename(fresh, file);
}

// Does every linear search read what numbers.txt names at that moment: the
// file that replaced it, the file overwritten in place, and the old file
// still open once the name has gone?
TEST(ChangingFiles, LinearSearchReadsWhatTheNameNamesNow) {
    ScratchDir dir("replaced-unsorted");
    const fs::path numbers = dir.path / "numbers.txt";
    writeWholeFile(numbers, "5 5 5\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    LiveNeedle needle(dir.path);
    std::string said = opened() + kMenu;
    auto search = [&](long long instances, long long comparisons) {
        needle.type("1\n5\n");
        said += "\n" + kTarget + report(instances, 5, comparisons) + kMenu;
        return needle.waitFor(report(instances, 5, comparisons) + kMenu, std::chrono::seconds(20));
    };
    EXPECT_TRUE(search(3, 3));
    replaceFile(numbers, "5\n");
    EXPECT_TRUE(search(1, 1)) << "the replaced file";
    writeWholeFile(numbers, "5 7 5 5\n");
    EXPECT_TRUE(search(3, 4)) << "overwritten in place";
    fs::remove(numbers);
    EXPECT_TRUE(search(3, 4)) << "the name gone: the open file as it was";
    EXPECT_EQ(needle.finish(), 0);
    EXPECT_EQ(needle.seen(), said + "\n");
    EXPECT_EQ(needle.errors(), "");
}

// Does the binary search load the file that sortedNumbers.txt names at its
// first search, and keep that list when the file is replaced afterwards?
TEST(ChangingFiles, BinarySearchLoadsWhatTheNameNamesAtItsFirstSearch) {
    ScratchDir dir("replaced-sorted");
    const fs::path sorted = dir.path / "sortedNumbers.txt";
    writeWholeFile(dir.path / "numbers.txt", "7\n");
    writeWholeFile(sorted, "1 2 3\n");
    LiveNeedle needle(dir.path);
    ASSERT_TRUE(needle.waitFor(kMenu));
    replaceFile(sorted, "7 7\n");
    needle.type("2\n7\n");
    EXPECT_TRUE(needle.waitFor(report(2, 7, 1) + kMenu));
    replaceFile(sorted, "7\n");
    needle.type("2\n7\n");
    EXPECT_TRUE(needle.waitFor(report(2, 7, 1) + kMenu + kTarget + report(2, 7, 1) + kMenu))
        << "loaded once and kept";
    EXPECT_EQ(needle.finish(), 0);
    EXPECT_EQ(needle.errors(), "");
}

// Is a replacement that cannot be opened said as at start-up, counted as
// nothing, and read once it can be?
TEST(ChangingFiles, AReplacementThatCannotBeOpenedIsSaidAndCountsNothing) {
    ScratchDir dir("replaced-by-directory");
    const fs::path numbers = dir.path / "numbers.txt";
    writeWholeFile(numbers, "5\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    LiveNeedle needle(dir.path);
    needle.type("1\n5\n");
    ASSERT_TRUE(needle.waitFor(report(1, 5, 1) + kMenu));
    fs::remove(numbers);
    fs::create_directory(numbers);
    needle.type("1\n5\n");
    EXPECT_TRUE(needle.waitFor(report(0, 5, 0) + kMenu));
    EXPECT_EQ(needle.errors(), "Can't open unsorted file!\n");
    fs::remove(numbers);
    writeWholeFile(numbers, "5 5\n");
    needle.type("1\n5\n");
    EXPECT_TRUE(needle.waitFor(report(2, 5, 2) + kMenu));
    EXPECT_EQ(needle.finish(), 0);
    EXPECT_EQ(needle.errors(), "Can't open unsorted file!\n");
}

// Is a sorted file replaced by one that cannot be opened before the first
// binary search said once, and are binary searches empty for the rest of
// the run, since only the first one opens it anew?
TEST(ChangingFiles, ASortedReplacementThatCannotBeOpenedLeavesTheListEmpty) {
    ScratchDir dir("sorted-replaced-by-directory");
    const fs::path sorted = dir.path / "sortedNumbers.txt";
    writeWholeFile(dir.path / "numbers.txt", "5\n");
    writeWholeFile(sorted, "5\n");
    LiveNeedle needle(dir.path);
    ASSERT_TRUE(needle.waitFor(kMenu));
    fs::remove(sorted);
    fs::create_directory(sorted);
    needle.type("2\n5\n");
    EXPECT_TRUE(needle.waitFor(report(0, 5, 0) + kMenu));
    fs::remove(sorted);
    writeWholeFile(sorted, "5\n");
    needle.type("2\n5\n");
    EXPECT_TRUE(needle.waitFor(report(0, 5, 0) + kMenu));
    EXPECT_EQ(needle.finish(), 0);
    EXPECT_EQ(needle.errors(), "Can't open sorted file!\n");
}

// With numbers.txt a FIFO that nobody writes yet, is the greeting on screen
// while needle waits for a writer?
TEST(ChangingFiles, TheGreetingShowsWhileAFifoWaitsForItsWriter) {
    ScratchDir dir("fifo-no-writer");
    const fs::path numbers = dir.path / "numbers.txt";
    ASSERT_EQ(mkfifo(numbers.c_str(), 0644), 0);
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    LiveNeedle needle(dir.path);
    const bool greeted = needle.waitFor(kGreeting, std::chrono::seconds(10));
    // A writer comes, whatever was shown, so that needle can go on.
    const int writer = open(numbers.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(write(writer, "5 5\n", 4), 4);
    close(writer);
    EXPECT_TRUE(greeted) << "shown before the FIFO had a writer: \"" << needle.seen() << "\"";
    needle.type("1\n5\n");
    EXPECT_TRUE(needle.waitFor(report(2, 5, 2) + kMenu));
    EXPECT_EQ(needle.finish(), 0);
    EXPECT_EQ(needle.seen(), opened() + kMenu + "\n" + kTarget + report(2, 5, 2) + kMenu + "\n");
}

}  // namespace
