// The count split over threads against the one-thread count: every kernel,
// one to seven threads, with ranges allowed as small as a byte, so that short
// texts are cut at every place a seam can fall.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "everyKernel.h"
#include "oracle.h"
#include "scan/numberScanner.h"
#include "textFile.h"

namespace scan {
namespace {

class SplitCount : public EveryKernel {
  protected:
    // The count of `text` split over `threads`, as countWithKernel reports
    // the one-thread count; `ranges` is set to how many ranges it used.
    Reading splitCount(const TextFile& file, std::size_t size, std::int32_t target,
                       unsigned threads, unsigned& ranges) const {
        SplitFile split;
        split.fd = file.fd();
        split.size = size;
        split.threads = threads;
        split.smallestRange = 1;
        const NumberCount c = countNumbers(split, target, *kernel_, &ranges);
        return {{static_cast<std::int32_t>(c.numbers), static_cast<std::int32_t>(c.matches)},
                c.end.stop,
                c.end.line,
                c.end.token,
                c.end.tokenCut};
    }

    // Every thread count from one to seven finds what one thread finds.
    void expectSameAsOneThread(const std::string& text, const std::string& what) const {
        const TextFile file(text);
        const Reading one = countWithKernel(text, 7, *kernel_);
        for (unsigned threads = 1; threads <= 7; ++threads) {
            unsigned ranges = 0;
            ASSERT_EQ(splitCount(file, text.size(), 7, threads, ranges), one)
                << what << ", " << threads << " threads";
            EXPECT_TRUE(ranges >= 1 && ranges <= threads) << what;
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Kernels, SplitCount, testing::ValuesIn(builtKernelNames()),
                         EveryKernel::nameOf);

// A bad token, a lone sign, a number out of range, the target, a CRLF line
// end, a token that the byte machine reads and the end of the file, at every
// place of a short text of lines, so at and next to the seams of every
// thread count: the first stop in file order, its line and its token win.
TEST_P(SplitCount, EveryShapeAtEverySeam) {
    const std::string lines = "7 12\n-3 7\r\n45 6\n7\n8 9 10\n-11 7\n13\n";
    for (const char* shape : {"abc", "-", "+5", "99999999999", "7", "\r\n", "05", "5-3"}) {
        for (std::size_t at = 0; at <= lines.size(); ++at) {
            const std::string text = lines.substr(0, at) + " " + shape + " " + lines.substr(at);
            expectSameAsOneThread(text, "\"" + std::string(shape) + "\" at " + std::to_string(at));
        }
        expectSameAsOneThread(lines + shape, "\"" + std::string(shape) + "\" at the end");
    }
}

// As many ranges as threads where there is white space to cut at; a text
// without any near where a range would start is one range, so that no token
// is cut and none is read through before the reading starts.
TEST_P(SplitCount, CutsOnlyAtWhiteSpace) {
    std::string numbers;
    for (int i = 0; i < 1000; ++i) {
        numbers += std::to_string(i * 7919 % 20000 - 10000) + (i % 9 == 0 ? " " : "\n");
    }
    const std::string oneToken(200000, '7');
    for (const std::string& text : {numbers, oneToken}) {
        const TextFile file(text);
        for (unsigned threads = 1; threads <= 7; ++threads) {
            unsigned ranges = 0;
            EXPECT_EQ(splitCount(file, text.size(), 7, threads, ranges),
                      countWithKernel(text, 7, *kernel_));
            EXPECT_EQ(ranges, text == oneToken ? 1u : threads);
        }
    }
}

// Random texts of every kind of token, a bad one in half of them.
TEST_P(SplitCount, RandomTexts) {
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
}

}  // namespace
}  // namespace scan
