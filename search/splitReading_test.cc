// The split reading against the reading through the stream alone, for both
// of its works, the count and the load: every kernel, several thread counts
// and pieces as small as a byte or a few numbers, so that short texts are
// cut at every place a seam can fall; and its recovery paths, each forced.
#include "scan/splitReading.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "countingWork.h"
#include "everyKernel.h"
#include "scan/readSizes.h"
#include "search/sortedList.h"
#include "textFile.h"

namespace scan {
namespace {

// How a reading is split; threads 0 reads through the stream alone.
struct Way {
    unsigned threads = 0;
    std::uint64_t pieceSize = 1;
    std::size_t mostNumbers = SIZE_MAX;
    std::uint64_t size = UINT64_MAX;  // the size the reading is told; the file's own by default
    unsigned refusedThreads = 0;
    bool changed = false;  // the file is said to have changed once the pieces are read
};

// Thread counts with piece sizes: a byte, so that every place is a seam, and
// a few numbers, so that a seam is judged against a piece's last number.
const std::pair<unsigned, std::uint64_t> kSplits[] = {{2, 1}, {3, 2}, {4, 3}, {7, 1},
                                                      {5, 2}, {2, 5}, {3, 7}};

class SplitReading : public EveryKernel {
  protected:
    static SplitFile splitOf(const TextFile& file, const Way& setup) {
        SplitFile split;
        split.fd = setup.threads == 0 ? -1 : file.fd();
        split.size = std::min<std::uint64_t>(setup.size, std::filesystem::file_size(file.path()));
        split.threads = setup.threads;
        split.pieceSize = setup.pieceSize;
        split.refusedThreads = setup.refusedThreads;
        if (setup.changed) {
            split.unchanged = [] { return false; };
        }
        return split;
    }

    // Everything a count of 7 (by `work`, where given, which sees what the
    // engine did) and a load of `file` show, as text.
    std::string read(const TextFile& file, const Way& setup, CountingWork* work = nullptr) const {
        const SplitFile split = splitOf(file, setup);
        std::filebuf in;
        in.open(file.path(), std::ios::in | std::ios::binary);
        std::string shown = describe(work != nullptr ? work->countAll(in, split)
                                                     : CountWork(7, *kernel_).countAll(in, split));

        std::filebuf sorted;
        sorted.open(file.path(), std::ios::in | std::ios::binary);
        NumberList list;
        reserveForNumbers(sorted, list);
        const ScanEnd end = loadNumbers(
            list, sorted, setup.mostNumbers, setup.threads == 0 ? nullptr : &split, *kernel_,
            [&](std::uint64_t line) { shown += "descent at " + std::to_string(line) + "; "; });
        shown += describe(end) + "list";
        for (const std::int32_t n : list) {
            shown += ' ' + std::to_string(n);
        }
        return shown;
    }

    static std::string describe(const ScanEnd& end) {
        return "stop " + std::to_string(static_cast<int>(end.stop)) + " at " +
               std::to_string(end.line) + " \"" + end.token + (end.tokenCut ? "...\"; " : "\"; ");
    }
    static std::string describe(const NumberCount& c) {
        return "count " + std::to_string(c.numbers) + ", " + std::to_string(c.matches) + "; " +
               describe(c.end);
    }

    // Every split of `splits` reads what the stream alone reads.
    void expectSameAsOneThread(const std::string& text, const std::string& what,
                               std::size_t mostNumbers = SIZE_MAX,
                               std::vector<std::pair<unsigned, std::uint64_t>> splits = {
                                   std::begin(kSplits), std::end(kSplits)}) const {
        const TextFile file(text);
        Way setup;
        setup.mostNumbers = mostNumbers;
        const std::string one = read(file, setup);
        for (const auto& [threads, pieceSize] : splits) {
            setup.threads = threads;
            setup.pieceSize = pieceSize;
            ASSERT_EQ(read(file, setup), one) << what << ", " << threads << " threads, pieces of "
                                              << pieceSize << ", room for " << mostNumbers;
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Kernels, SplitReading, testing::ValuesIn(builtKernelNames()),
                         EveryKernel::nameOf);

// A bad token, a lone sign, a number out of range, the target, a descent
// ("3", "+5" and "5-3" come after larger numbers), a CRLF line end, a token
// the byte machine reads and the end of the file, at every place of two
// short texts of lines: the first stop in file order, its line and token,
// and the first descent's line win.
TEST_P(SplitReading, EveryShapeAtEverySeam) {
    for (const std::string lines : {"1 2\n3 4\r\n5 6\n7\n8 9 10\n11 12\n13\n",
                                    "7 12\n-3 7\r\n45 6\n7\n8 9 10\n-11 7\n13\n"}) {
        for (const char* shape : {"abc", "-", "+5", "99999999999", "7", "3", "\r\n", "05", "5-3"}) {
            for (std::size_t at = 0; at <= lines.size(); ++at) {
                // Two threads on pieces of a byte put a seam everywhere; the
                // other splits take turns, which keeps the table quick enough
                // to run under an emulator.
                const std::string text = lines.substr(0, at) + " " + shape + " " + lines.substr(at);
                expectSameAsOneThread(
                    text,
                    "\"" + std::string(shape) + "\" at " + std::to_string(at) + " of " + lines,
                    SIZE_MAX, {{2, 1}, kSplits[at % std::size(kSplits)]});
            }
            expectSameAsOneThread(lines + shape, "\"" + std::string(shape) + "\" at the end");
        }
    }
}

// Under a memory ceiling the load stops at the same number, on the same
// line, wherever the ceiling falls among the pieces.
TEST_P(SplitReading, StopsForMemoryWhereOneThreadStops) {
    const std::string text = "1 2\n3 4\r\n5 6\n7\n8 9 10\n11 12\n13\n";
    for (std::size_t most = 0; most <= 14; ++most) {
        expectSameAsOneThread(text, "ascending", most);
    }
}

// Random texts of every kind of token, a bad one in half of them; and random
// texts with descents, a bad token in half of them, the room cut short in a
// third.
TEST_P(SplitReading, RandomTexts) {
    std::mt19937_64 rng(30);
    const char* const tokens[] = {"7", "-7", "123", "+4", "007", "x", "-", "2147483648", "5-3"};
    const char* const spaces[] = {" ", "\n", "\r\n", "\t"};
    for (int round = 0; round < 40; ++round) {
        std::string text;
        const auto count = 20 + rng() % 400;
        for (std::size_t i = 0; i < count; ++i) {
            const auto pick = rng() % 20;
            text += pick < 11                     ? tokens[pick % 3]
                    : pick < 19 || round % 2 == 0 ? "42"
                                                  : tokens[3 + rng() % 6];
            text += spaces[rng() % 4];
        }
        expectSameAsOneThread(text, "round " + std::to_string(round));
    }
    for (int round = 0; round < 20; ++round) {
        std::string text;
        const std::size_t count = 20 + static_cast<std::size_t>(rng() % 200);
        std::int64_t value = -1000;
        for (std::size_t i = 0; i < count; ++i) {
            value += static_cast<std::int64_t>(rng() % 40) - (rng() % 25 == 0 ? 100 : 0);
            text += round % 2 == 1 && rng() % 150 == 0 ? "x" : std::to_string(value);
            text += spaces[rng() % 4];
        }
        expectSameAsOneThread(text, "ascending round " + std::to_string(round),
                              round % 3 == 0 ? count / 2 : SIZE_MAX);
    }
}

// A descent at each place around the second read of the first piece (a
// thread reads its piece a chunk at a time), where the read's first number
// is judged against the last of the read before.
TEST_P(SplitReading, FindsADescentAroundAPiecesSecondRead) {
    const std::uint64_t kPiece = SplitFile{}.pieceSize;
    const std::size_t secondRead = kChunk / 9;  // in lines of 9 bytes
    for (std::size_t at = secondRead - 5; at <= secondRead + 5; ++at) {
        std::string text;
        for (std::size_t line = 0; line < 3 * kPiece / 9; ++line) {
            text += std::to_string(10'000'000 + 2 * line - (line == at ? 3 : 0)) + "\n";
        }
        expectSameAsOneThread(text, "descent on line " + std::to_string(at + 1), SIZE_MAX,
                              {{3, kPiece}});
    }
}

// Where each piece starts and ends: just after the first white space at or
// after its nominal ends, so that pieces of a byte are empty or hold what
// lies between two white spaces; the last piece, and one whose end cannot
// be settled (the file ends in a token), are the stream's. A text without
// white space near a nominal end is not split at all, and is not read
// through before the stream reads it.
TEST_P(SplitReading, SettlesEachPieceAtWhiteSpace) {
    const std::string text = "10 20\n\n30\r\n40 50";
    const TextFile file(text);
    Way setup;
    setup.threads = 3;
    CountingWork work(7, *kernel_);
    EXPECT_EQ(read(file, setup, &work), read(file, Way{}));
    EXPECT_EQ(work.joined, 13u);    // up to the piece that would end in "50"
    EXPECT_EQ(work.resumeAt, 14u);  // just after "40 "

    const TextFile oneToken(std::string(200000, '7'));
    setup.threads = 2;
    CountingWork unsplit(7, *kernel_);
    EXPECT_EQ(read(oneToken, setup, &unsplit), read(oneToken, Way{}));
    EXPECT_EQ(unsplit.joined, 0u);
    EXPECT_EQ(unsplit.resumeAt, 0u);
    EXPECT_LT(unsplit.bytesRead, 200000u);  // each thread looks a chunk past a nominal end
}

// The recovery paths, each forced: threads that cannot be started, whose
// pieces the others or the calling thread read; a piece that runs out of
// memory on its thread, which the stream reads again, alone; and a file
// that changed while the pieces were read, which the stream reads again
// whole, its descent warned once.
TEST_P(SplitReading, RecoversFromRefusedThreadsAndMemory) {
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += std::to_string(i * 7 % 50) + (i % 11 == 0 ? "\n" : " ");
    }
    const TextFile file(text);
    const std::string one = read(file, Way{});
    for (const unsigned refused : {1u, 3u}) {
        Way setup;
        setup.threads = 3;
        setup.pieceSize = 16;
        setup.refusedThreads = refused;
        CountingWork work(7, *kernel_);
        EXPECT_EQ(read(file, setup, &work), one) << refused << " refused";
        EXPECT_EQ(work.joined, work.pieces) << refused << " refused";
        // The threads that start read every piece; the calling thread reads
        // only where none did.
        EXPECT_EQ(work.threads.count(std::this_thread::get_id()) == 0, refused < 3) << refused;
    }
    Way setup;
    setup.threads = 2;
    setup.pieceSize = 16;
    for (const unsigned piece : {0u, 1u, 20u}) {
        CountingWork work(7, *kernel_);
        work.outOfMemoryPiece = piece;
        EXPECT_EQ(read(file, setup, &work), one) << "memory out in piece " << piece;
        EXPECT_EQ(work.joined, piece) << "memory out in piece " << piece;
    }
    setup.changed = true;
    CountingWork work(7, *kernel_);
    EXPECT_EQ(read(file, setup, &work), one);
    EXPECT_TRUE(work.thrownAway);
    EXPECT_EQ(work.resumeAt, 0u);
}

// A file that grew after its size was taken is read to its end as it is,
// and a stop near the start ends the reading of the pieces after it: the
// threads read little more than a piece each past it.
TEST_P(SplitReading, ReadsAGrownFileToItsEndAndLittlePastAStop) {
    std::string text;
    for (int i = 0; text.size() < 300000; ++i) {
        text += std::to_string(i) + "\n";
    }
    const TextFile file(text);
    Way setup;
    setup.threads = 4;
    setup.pieceSize = 1024;
    setup.size = text.size() / 3;
    EXPECT_EQ(read(file, setup), read(file, Way{}));

    const TextFile stopped(text.substr(0, 100) + "x " + text.substr(100));
    setup.size = UINT64_MAX;
    CountingWork work(7, *kernel_);
    EXPECT_EQ(read(stopped, setup, &work), read(stopped, Way{}));
    EXPECT_EQ(work.joined, 0u);
    EXPECT_LT(work.bytesRead, 16 * setup.pieceSize) << work.pieces << " pieces read";
}

// A byte at every seam flipped between " " and "5" while the threads read,
// so that the file always holds "12 34" or "12534" there: each seam reads as
// one of the two, never as "125" or "534", which no state of the file has.
TEST_P(SplitReading, ASeamThatChangesReadsAsOneStateOfTheFile) {
    constexpr std::size_t kPiece = 4096;
    std::string text;
    while (text.size() < 64 * kPiece) {
        text += "1000000\n";
    }
    std::vector<std::uint64_t> seams;
    for (std::size_t at = kPiece; at + 4 < text.size(); at += kPiece) {
        text.replace(at - 3, 7, "\n12 34\n");
        seams.push_back(at);
    }
    std::stringbuf whole(text);
    const std::int64_t numbersWithSpaces = countNumbers(whole, 12534, *kernel_).numbers;
    const auto seamCount = static_cast<std::int64_t>(seams.size());
    const TextFile file(text);
    // Flips the bytes until it goes, whatever the assertions do.
    struct Flipper {
        Flipper(const TextFile& file, const std::vector<std::uint64_t>& seams)
            : fd(::open(file.path().c_str(), O_WRONLY | O_CLOEXEC)), thread([this, &seams] {
                  for (char byte = '5'; !done; byte = byte == '5' ? ' ' : '5') {
                      for (const std::uint64_t at : seams) {
                          flips += ::pwrite(fd, &byte, 1, static_cast<off_t>(at));
                      }
                  }
              }) {}
        ~Flipper() {
            done = true;
            thread.join();
            ::close(fd);
        }
        int fd;
        std::atomic<bool> done{false};
        std::atomic<long> flips{0};
        std::thread thread;
    } flipper(file, seams);
    SplitFile split;
    split.fd = file.fd();
    split.size = text.size();
    split.pieceSize = kPiece;
    for (int round = 0; round < 60; ++round) {
        split.threads = 2 + static_cast<unsigned>(round % 3);
        std::filebuf in;
        in.open(file.path(), std::ios::in | std::ios::binary);
        // Each seam read as "12534" is one number fewer than as "12 34".
        const NumberCount c = CountWork(12534, *kernel_).countAll(in, split);
        ASSERT_EQ(c.numbers + c.matches, numbersWithSpaces) << "round " << round;

        in.pubseekpos(0, std::ios::in);
        NumberList list;
        reserveForNumbers(in, list);
        loadNumbers(list, in, SIZE_MAX, &split, *kernel_, [](std::uint64_t) {});
        const auto count = [&list](std::int32_t n) {
            return std::count(list.begin(), list.end(), n);
        };
        ASSERT_EQ(count(12) + count(12534), seamCount) << "round " << round;
        ASSERT_EQ(count(34) + count(12534), seamCount) << "round " << round;
        ASSERT_EQ(count(125) + count(534), 0) << "round " << round;
    }
    EXPECT_GT(flipper.flips.load(), 0);
}

// Does a count take pieces of up to 2 MiB from a large file, yet leave each
// thread sixteen or more, so that none reads long on its own at the end?
TEST(CountPieces, GrowWithTheFileYetLeaveEachThreadSixteen) {
    const std::uint64_t smallest = SplitFile{}.pieceSize, largest = std::uint64_t{2} << 20;
    for (const unsigned threads : {1u, 2u, 7u, 64u}) {
        for (const std::uint64_t size :
             {std::uint64_t{0}, std::uint64_t{8} << 20, (std::uint64_t{100} << 20) + 1,
              std::uint64_t{219648069}, std::uint64_t{8600000000}}) {
            const std::uint64_t piece = countPieceSize(size, threads);
            EXPECT_EQ(piece % kChunk, 0u) << size << " bytes, " << threads << " threads";
            EXPECT_GE(piece, smallest);
            EXPECT_LE(piece, largest);
            if (piece > smallest) {
                EXPECT_GE(size / piece, 16u * threads) << size << " bytes, " << threads;
            }
        }
    }
    EXPECT_EQ(countPieceSize(219648069, 2), largest);  // the benchmark's random file
    EXPECT_EQ(countPieceSize(std::uint64_t{8} << 20, 2), smallest);
}

}  // namespace
}  // namespace scan
