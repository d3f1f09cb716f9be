// Number files that change while needle runs: replaced under their names,
// overwritten in place, removed, and a FIFO that has no writer yet.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>

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

// A needle in `dir` whose searches are checked one at a time.
class Searches {
  public:
    explicit Searches(const fs::path& dir) : needle_(dir) {}
    // Runs the search chosen by `choice` ('1' or '2') for 5; true when it
    // reports `instances` found with `comparisons` made.
    bool find(char choice, long long instances, long long comparisons) {
        needle_.type(std::string(1, choice) + "\n5\n");
        return needle_.waitFor(report(instances, 5, comparisons) + kMenu, std::chrono::seconds(20));
    }
    LiveNeedle& needle() { return needle_; }

  private:
    LiveNeedle needle_;
};

// Is a replacement that cannot be opened (a folder, a link to nothing, a
// link to a folder) said as at start-up and counted as nothing, is the name
// tried again at every later search, even once it is gone, and is the file
// read once it can be?
TEST(ChangingFiles, AReplacementThatCannotBeOpenedIsSaidAtEverySearchUntilItCan) {
    ScratchDir dir("replaced-by-unreadable");
    const fs::path numbers = dir.path / "numbers.txt";
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    const std::function<void()> unreadable[] = {
        [&] { fs::create_directory(numbers); },
        [&] { fs::create_symlink(dir.path / "gone.txt", numbers); },
        [&] { fs::create_directory_symlink(dir.path, numbers); },
    };
    for (const auto& makeUnreadable : unreadable) {
        writeWholeFile(numbers, "5\n");
        Searches searches(dir.path);
        ASSERT_TRUE(searches.find('1', 1, 1));
        fs::remove(numbers);
        makeUnreadable();
        EXPECT_TRUE(searches.find('1', 0, 0));
        fs::remove(numbers);
        EXPECT_TRUE(searches.find('1', 0, 0)) << "the name gone after a failed reopen";
        writeWholeFile(numbers, "5 5\n");
        EXPECT_TRUE(searches.find('1', 2, 2));
        EXPECT_EQ(searches.needle().finish(), 0);
        EXPECT_EQ(searches.needle().errors(),
                  "Can't open unsorted file!\nCan't open unsorted file!\n");
        fs::remove_all(numbers);
    }
}

// Is a link followed to the file it names at each search: its target
// replaced under its name is read anew?
TEST(ChangingFiles, ALinkIsFollowedToWhatItsTargetNamesNow) {
    ScratchDir dir("replaced-link-target");
    const fs::path data = dir.path / "data.txt";
    writeWholeFile(data, "5\n");
    fs::create_symlink(data, dir.path / "numbers.txt");
    writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
    Searches searches(dir.path);
    ASSERT_TRUE(searches.find('1', 1, 1));
    replaceFile(data, "5 5 7\n");
    EXPECT_TRUE(searches.find('1', 2, 3));
    EXPECT_EQ(searches.needle().finish(), 0);
    EXPECT_EQ(searches.needle().errors(), "");
}

// Is a sorted file replaced before the first binary search by one that
// cannot be opened said, and loaded by the first binary search after it is
// put right, and then kept?
TEST(ChangingFiles, ASortedFileThatCannotBeOpenedIsLoadedOnceItCan) {
    ScratchDir dir("sorted-replaced-by-directory");
    const fs::path sorted = dir.path / "sortedNumbers.txt";
    writeWholeFile(dir.path / "numbers.txt", "5\n");
    writeWholeFile(sorted, "5\n");
    Searches searches(dir.path);
    ASSERT_TRUE(searches.needle().waitFor(kMenu));
    fs::remove(sorted);
    fs::create_directory(sorted);
    EXPECT_TRUE(searches.find('2', 0, 0));
    fs::remove(sorted);
    writeWholeFile(sorted, "5 5\n");
    EXPECT_TRUE(searches.find('2', 2, 1));
    replaceFile(sorted, "1\n");
    EXPECT_TRUE(searches.find('2', 2, 1)) << "loaded once and kept";
    EXPECT_EQ(searches.needle().finish(), 0);
    EXPECT_EQ(searches.needle().errors(), "Can't open sorted file!\n");
}

// Is a FIFO put in place of either file said on standard error before its
// open waits for a writer, and read once one comes?
TEST(ChangingFiles, AFifoSwappedInIsSaidBeforeItsOpenWaits) {
    for (const char choice : {'1', '2'}) {
        ScratchDir dir("fifo-swapped-in");
        const fs::path file = dir.path / (choice == '1' ? "numbers.txt" : "sortedNumbers.txt");
        writeWholeFile(dir.path / "numbers.txt", "5\n");
        writeWholeFile(dir.path / "sortedNumbers.txt", "5\n");
        Searches searches(dir.path);
        ASSERT_TRUE(searches.needle().waitFor(kMenu));
        fs::remove(file);
        ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
        searches.needle().type(std::string(1, choice) + "\n5\n");
        const std::string said =
            "Waiting for something to write to " + file.filename().string() + ", a FIFO...\n";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (searches.needle().errors() != said && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_EQ(searches.needle().errors(), said);
        const int writer = open(file.c_str(), O_WRONLY);
        ASSERT_GE(writer, 0);
        EXPECT_EQ(write(writer, "5 5 5\n", 6), 6);
        close(writer);
        EXPECT_TRUE(searches.needle().waitFor(report(3, 5, choice == '1' ? 3 : 1) + kMenu));
        EXPECT_EQ(searches.needle().finish(), 0);
    }
}

// Is a file that replaced numbers.txt, and whose name went while needle
// opened it, read all the same, at that search and the next? The file is a
// FIFO, so that its open waits until the name has gone: a second link to it
// lets the test write to it then.
TEST(ChangingFiles, AFileWhoseNameGoesWhileItOpensIsKept) {
#if defined(NEEDLE_EMULATED)
    GTEST_SKIP() << "under an emulator /proc shows the emulator's system calls";
#endif
    ScratchDir dir("name-gone-in-open");
    const fs::path numbers = dir.path / "numbers.txt";
    const fs::path kept = dir.path / "kept.fifo";
    writeWholeFile(numbers, "7 7 8\n");
    writeWholeFile(dir.path / "sortedNumbers.txt", "1\n");
    LiveNeedle needle(dir.path);
    needle.type("1\n7\n");
    ASSERT_TRUE(needle.waitFor(report(2, 7, 3) + kMenu));
    ASSERT_EQ(mkfifo(kept.c_str(), 0644), 0);
    fs::create_hard_link(kept, dir.path / "fifo.new");
    fs::rename(dir.path / "fifo.new", numbers);
    needle.type("1\n7\n");
    ASSERT_TRUE(needle.waitInSystemCall(SYS_openat));
    fs::remove(numbers);
    const int writer = open(kept.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(write(writer, "7 1 2 3\n", 8), 8);
    close(writer);
    EXPECT_TRUE(needle.waitFor(report(1, 7, 4) + kMenu));
    // Read on from where it stands, as a FIFO is: nothing, and no word.
    needle.type("1\n7\n");
    EXPECT_TRUE(needle.waitFor(report(0, 7, 0) + kMenu));
    EXPECT_EQ(needle.finish(), 0);
    EXPECT_EQ(needle.errors(), "Waiting for something to write to numbers.txt, a FIFO...\n");
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

// Does a file that another process makes longer or shorter while several
// threads read it count (or load) only numbers it held, none twice: at least
// what it held all along, at most what it held at its longest? When the
// change lands is up to the two processes, so each change is made at several
// moments, to the file of each search.
TEST(ChangingFiles, AFileGrownOrShrunkWhileThreadsReadItCountsNothingTwice) {
    ScratchDir dir("changing-under-threads");
    std::string lines;
    lines.reserve(std::size_t{16} << 20);
    while (lines.size() < (std::size_t{16} << 20)) {
        lines += "1\n";
    }
    const std::uint64_t held = lines.size() / 2;
    const std::regex report(
        "There were ([0-9]+) instances of 1 in the file with ([0-9]+) "
        "comparisons made");
    for (const bool sorted : {false, true}) {
        const fs::path file = dir.path / (sorted ? "sortedNumbers.txt" : "numbers.txt");
        writeWholeFile(dir.path / (sorted ? "numbers.txt" : "sortedNumbers.txt"), "1\n");
        for (const bool grow : {true, false}) {
            for (const int delay : {0, 5, 20}) {
                writeWholeFile(file, lines);
                std::thread change([&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
                    if (grow) {
                        std::ofstream(file, std::ios::app) << lines.substr(0, lines.size() / 4);
                    } else {
                        fs::resize_file(file, lines.size() / 2);
                    }
                });
                RunOptions four;
                four.arguments = {"-j", "4"};
                const NeedleOutcome outcome =
                    runNeedle(dir.path, sorted ? "2\n1\n0\n" : "1\n1\n0\n", four);
                change.join();
                const std::string what = file.filename().string() + (grow ? " grown" : " shrunk") +
                                         " after " + std::to_string(delay) + " ms";
                std::smatch found;
                ASSERT_TRUE(std::regex_search(outcome.out, found, report)) << what << outcome.out;
                const std::uint64_t counted = std::stoull(found[1]);
                if (!sorted) {
                    EXPECT_EQ(found[1], found[2]) << what;
                }
                EXPECT_GE(counted, grow ? held : held / 2) << what;
                EXPECT_LE(counted, grow ? held + held / 4 : held) << what;
                EXPECT_EQ(outcome.err, "") << what;
            }
        }
    }
}

}  // namespace
