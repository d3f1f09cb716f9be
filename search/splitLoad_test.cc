// The load split over threads against the one-thread load: every kernel, one
// to seven threads, with pieces as small as a byte, so that short texts are
// cut at every place a seam can fall. The list, the warning, the stop and
// its line must be those of the reading through the stream alone.
#include "search/splitLoad.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "everyKernel.h"
#include "search/sortedList.h"
#include "textFile.h"

namespace {

class SplitLoad : public EveryKernel {
  protected:
    // Everything a load of `file` shows, as text: on `threads` threads, or
    // through the stream alone for 0.
    std::string load(const TextFile& file, std::size_t size, std::size_t mostNumbers,
                     unsigned threads) const {
        std::filebuf in;
        in.open(file.path(), std::ios::in | std::ios::binary);
        NumberList list;
        reserveForNumbers(in, list);
        scan::SplitFile split;
        split.fd = file.fd();
        split.size = size;
        split.threads = threads;
        split.pieceSize = 1;
        std::ostringstream shown;
        const scan::ScanEnd end =
            loadNumbers(list, in, mostNumbers, threads == 0 ? nullptr : &split, *kernel_,
                        [&shown](std::uint64_t line) { shown << "descent at " << line << "; "; });
        shown << "stop " << static_cast<int>(end.stop) << " at " << end.line << " \"" << end.token
              << (end.tokenCut ? "...\"" : "\"") << "; list";
        for (const std::int32_t n : list) {
            shown << ' ' << n;
        }
        return shown.str();
    }

    // Every thread count from one to seven loads what the stream does.
    void expectSameAsOneThread(const std::string& text, const std::string& what,
                               std::size_t mostNumbers = SIZE_MAX) const {
        const TextFile file(text);
        const std::string one = load(file, text.size(), mostNumbers, 0);
        for (unsigned threads = 1; threads <= 7; ++threads) {
            ASSERT_EQ(load(file, text.size(), mostNumbers, threads), one)
                << what << ", " << threads << " threads, room for " << mostNumbers;
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Kernels, SplitLoad, testing::ValuesIn(scan::builtKernelNames()),
                         EveryKernel::nameOf);

// A bad token, a lone sign, a number out of range, a descent ("3", "+5" and
// "5-3" come after larger numbers), a CRLF line end and the end of the
// file, at every place of a short ascending text, so at and next to the
// seams of every piece: the stop in file order, its line and the first
// descent's line win.
TEST_P(SplitLoad, EveryShapeAtEverySeam) {
    const std::string lines = "1 2\n3 4\r\n5 6\n7\n8 9 10\n11 12\n13\n";
    for (const char* shape : {"abc", "-", "99999999999", "3", "+5", "5-3", "\r\n", "05"}) {
        for (std::size_t at = 0; at <= lines.size(); ++at) {
            const std::string text = lines.substr(0, at) + " " + shape + " " + lines.substr(at);
            expectSameAsOneThread(text, "\"" + std::string(shape) + "\" at " + std::to_string(at));
        }
        expectSameAsOneThread(lines + shape, "\"" + std::string(shape) + "\" at the end");
    }
}

// Under a memory ceiling the load stops at the same number, on the same
// line, wherever the ceiling falls among the pieces.
TEST_P(SplitLoad, StopsForMemoryWhereOneThreadStops) {
    const std::string text = "1 2\n3 4\r\n5 6\n7\n8 9 10\n11 12\n13\n";
    for (std::size_t most = 0; most <= 14; ++most) {
        expectSameAsOneThread(text, "ascending", most);
    }
}

// Random texts with descents, a bad token in half of them, the room cut
// short in a third.
TEST_P(SplitLoad, RandomTexts) {
    std::mt19937_64 rng(31);
    const char* const spaces[] = {" ", "\n", "\r\n", "\t"};
    for (int round = 0; round < 20; ++round) {
        std::string text;
        const std::size_t count = 20 + static_cast<std::size_t>(rng() % 200);
        std::int64_t value = -1000;
        for (std::size_t i = 0; i < count; ++i) {
            value += static_cast<std::int64_t>(rng() % 40) - (rng() % 25 == 0 ? 100 : 0);
            text += round % 2 == 1 && rng() % 150 == 0 ? "x" : std::to_string(value);
            text += spaces[rng() % 4];
        }
        expectSameAsOneThread(text, "round " + std::to_string(round),
                              round % 3 == 0 ? count / 2 : SIZE_MAX);
    }
}

// Every white space but the file's last byte starts a piece of its own when
// pieces may be a byte; the last piece is left to the stream.
TEST_P(SplitLoad, CutsAPieceAfterEveryWhiteSpace) {
    const std::string text = "10 20\n\n30\r\n40 50";
    const TextFile file(text);
    std::int32_t room[16];
    scan::SplitFile split;
    split.fd = file.fd();
    split.size = text.size();
    split.threads = 3;
    split.pieceSize = 1;
    const SplitLoadEnd end = loadPieces(split, room, 16, *kernel_);
    EXPECT_EQ(end.pieces, 6u);  // all but "50"
    EXPECT_EQ(end.stored, 4u);
    EXPECT_EQ(end.resumeAt, text.size() - 2);
    EXPECT_EQ(end.linesBefore, 3u);
    EXPECT_EQ(std::vector<std::int32_t>(room, room + 4),
              (std::vector<std::int32_t>{10, 20, 30, 40}));
}

}  // namespace
