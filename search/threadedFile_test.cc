// Which files are split over threads, and a file changed while they read it.
#include "search/threadedFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "countingWork.h"
#include "freshProgram.h"
#include "frontend/programState.h"
#include "system/memoryLeft.h"
#include "textFile.h"

namespace {

// The file as the searches split it.
scan::SplitFile splitNow(const TextFile& file) {
    FileIdentity identity;
    EXPECT_EQ(lookUpName(file.path().c_str(), identity), NameLookup::file);
    return openThreadedFile(file.path().c_str(), identity, kNoLimit, kCountThreadMemory);
}

// The same, once the system's clock has moved past the file's last change
// (a few milliseconds): before that it is never split.
scan::SplitFile splitOnceStill(const TextFile& file) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    scan::SplitFile split = splitNow(file);
    while (split.threads < 2 && std::chrono::steady_clock::now() < deadline) {
        closeThreadedFile(split);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        split = splitNow(file);
    }
    return split;
}

// How many threads read the file, as the searches split it; whether they do
// or not, it is open, to be read ahead in.
unsigned threadsFor(const TextFile& file) {
    scan::SplitFile split = splitNow(file);
    EXPECT_GE(split.fd, 0);
    closeThreadedFile(split);
    return split.threads;
}

// Is a regular file split from 8 MiB on, when more than one thread may read,
// and never below?
TEST(ThreadedFile, SplitsFromEightMebibytesWithThreadsToSpare) {
    resetProgramState();
    const std::size_t kSmallest = std::size_t{8} << 20;
    const TextFile small(std::string(kSmallest - 1, ' '));
    const TextFile large(std::string(kSmallest, ' '));
    readingThreads = 2;
    scan::SplitFile split = splitOnceStill(large);
    EXPECT_GE(split.fd, 0);
    EXPECT_EQ(split.threads, 2u);
    EXPECT_EQ(split.size, kSmallest);
    closeThreadedFile(split);
    // Written before the large one: still by now too.
    EXPECT_EQ(threadsFor(small), 1u);
    readingThreads = 1;
    EXPECT_EQ(threadsFor(large), 1u);
    resetProgramState();
}

// Where the second piece reads its start before two changes and the first
// piece its end after them, "8 _" -> "8 7" -> "7 7" at the seam, is the
// count one that a reading in file order gives for one of the three states
// the file went through, never the 7 of the last with the numbers of the
// first?
TEST(ThreadedFile, AFileChangedAcrossASeamCountsAsOneReadingInFileOrder) {
    resetProgramState();
    const auto kPiece = static_cast<std::size_t>(scan::SplitFile{}.pieceSize);
    std::string text;
    while (text.size() < (std::uint64_t{9} << 20)) {
        text += "1 ";
    }
    // The first piece ends at the blank after its nominal end, the second
    // starts after it: "8" is the first's last token, `second` the blank
    // where the second's first token goes.
    const std::size_t first = kPiece - 3, second = kPiece + 3;
    text.replace(first - 1, second - first + 3, std::string(second - first + 3, ' '));
    text[first] = '8';
    const std::uint64_t numbers = text.size() / 2 - 4;
    const TextFile file(text);
    readingThreads = 2;
    scan::SplitFile split = splitOnceStill(file);
    ASSERT_EQ(split.threads, 2u);
    // The first piece is held until the second has been read and has
    // changed the file: byte `second` becomes a 7, then byte `first` does.
    CountingWork work(7);
    std::mutex lock;
    std::condition_variable changeMade;
    bool changed = false;
    work.beforeRead = [&](std::uint64_t index) {
        std::unique_lock<std::mutex> hold(lock);
        changeMade.wait_for(hold, std::chrono::seconds(20), [&] { return index != 0 || changed; });
    };
    work.afterRead = [&](std::uint64_t index) {
        if (index == 1) {
            std::fstream change(file.path(), std::ios::in | std::ios::out | std::ios::binary);
            change.seekp(static_cast<std::streamoff>(second)).put('7').flush();
            change.seekp(static_cast<std::streamoff>(first)).put('7').flush();
            const std::lock_guard<std::mutex> hold(lock);
            changed = true;
            changeMade.notify_all();
        }
    };
    std::filebuf in;
    in.open(file.path(), std::ios::in | std::ios::binary);
    const scan::NumberCount count = work.countAll(in, split);
    closeThreadedFile(split);
    EXPECT_EQ(count.end.stop, scan::ScanStop::endOfFile);
    const std::pair<std::uint64_t, std::uint64_t> counted{count.matches, count.numbers};
    const std::vector<std::pair<std::uint64_t, std::uint64_t>> states{
        {0, numbers}, {1, numbers + 1}, {2, numbers + 1}};
    EXPECT_NE(std::find(states.begin(), states.end(), counted), states.end())
        << counted.first << " instances of 7 with " << counted.second << " comparisons";
    EXPECT_TRUE(work.thrownAway);
    resetProgramState();
}

}  // namespace
