// The scanner against its plain twin, the `stream >> int32_t` loop.
#include "search/numberScanner.h"

#include "plainLoop.h"
#include "search/scanKernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

Reading scan(const std::string& text);

// What countNumbers must give: the plain loop's numbers, counted.
Reading plainCount(Reading r, std::int32_t target) {
    const auto matches = std::count(r.values.begin(), r.values.end(), target);
    r.values = {static_cast<std::int32_t>(r.values.size()), static_cast<std::int32_t>(matches)};
    return r;
}

Reading count(const std::string& text, std::int32_t target) {
    std::stringbuf in(text);
    std::int64_t numbers = 0;
    std::int64_t matches = 0;
    const ScanEnd end = countNumbers(in, target, numbers, matches);
    return {{static_cast<std::int32_t>(numbers), static_cast<std::int32_t>(matches)},
            end.stop,
            end.line};
}

// Targets worth counting in `text`: some of its numbers, and some that are not in it.
std::vector<std::int32_t> targetsFor(const std::vector<std::int32_t>& values) {
    std::vector<std::int32_t> targets = {0, 1, -1, 5, 7, 2147483647, -2147483647 - 1};
    for (std::size_t i = 0; i < values.size() && i < 64; i += 1 + i / 4) {
        targets.push_back(values[i]);
    }
    if (!values.empty()) {
        targets.push_back(values.back());
    }
    return targets;
}

// Every check runs against both kernels: the AVX2 one, where the processor
// has it, and the baseline one.
class NumberScanner : public testing::TestWithParam<bool> {
  protected:
    void SetUp() override { scan_detail::forceBaselineKernels = GetParam(); }
    void TearDown() override { scan_detail::forceBaselineKernels = false; }

    static void expectAgreement(const std::string& text, const std::string& what,
                                std::size_t targetCount = 100) {
        const Reading expected = plainLoop(text);
        ASSERT_EQ(scan(text), expected) << what;
        std::vector<std::int32_t> targets = targetsFor(expected.values);
        if (targets.size() > targetCount) {
            // The last ones are the text's own numbers.
            targets.erase(targets.begin(),
                          targets.end() - static_cast<std::ptrdiff_t>(targetCount));
        }
        for (const std::int32_t target : targets) {
            ASSERT_EQ(count(text, target), plainCount(expected, target))
                << what << ", counting " << target;
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Kernels, NumberScanner, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& kernel) {
                             return kernel.param ? "Baseline" : "Best";
                         });

Reading scan(const std::string& text) {
    std::stringbuf in(text);
    Reading r;
    const ScanEnd end = scanNumbers(in, [&r](const NumberBatch& batch) {
        r.values.insert(r.values.end(), batch.values, batch.values + batch.count);
        return batch.count;
    });
    r.stop = end.stop;
    r.line = end.line;
    return r;
}

TEST_P(NumberScanner, AgreesWithPlainLoopOnNastyInputs) {
    const std::vector<std::string> cases = {
        "",
        " \t\n\v\f\r",
        "5 1 5 9",
        "5 1 5 9\n",
        "4 12abc 7",
        "5-3 5+3",
        "+7 -0 +0 -7",
        "2147483647 -2147483648",
        "2147483648",
        "-2147483649",
        "1 2 99999999999999999999999 3",
        "00000000000000000000000042 -000000000002147483648",
        "000000000002147483648",
        "+",
        "1 -",
        "1\n-\n2",
        "+-5",
        "--5",
        "1 2 x",
        "x 1 2",
        "1\r\n2\r\n3\r\n",
        std::string("1 \0 2", 5),
        "1 \xff 2",
        "1.5 2",
        "0x10",
        "12345678 123456789 1234567890 1234567891",
        "\n\n\n  7\n\n  abc",
        "1\n\n\n99999999999\n",
        "2147483647 5 -2147483648 5 1999999999 -2000000000 2147483640",
        "5 2147483648 5",
        "5 -2147483649 5",
        "5 2999999999 5",
        "5 3000000000 5",
        "0 00 -0 +0 5 05 -05 +5 0000000000000000005",
        "7\n-7\n+7\n07\n",
    };
    for (const std::string& text : cases) {
        expectAgreement(text, "input \"" + text + "\"");
    }
}

// Tokens of every shape around every offset where a chunk of the scanner's
// reads ends (the first small one, the next large one), so that the state
// carried between chunks is exercised at each byte.
TEST_P(NumberScanner, AgreesWithPlainLoopAcrossChunkBoundaries) {
    const std::vector<std::string> tails = {
        "-2147483648 5\n",
        "+000000000000123 4",
        "2147483648 1",
        "12abc",
        "- 5",
        "5-3",
        "1234567890\n",
        "77",
    };
    for (const std::size_t boundary :
         {scan_detail::kFirstChunk, scan_detail::kFirstChunk + scan_detail::kChunk}) {
        for (const std::string& tail : tails) {
            for (std::size_t back = 1; back <= tail.size() + 1; ++back) {
                std::string text(boundary - back, '\n');
                for (std::size_t i = 0; i + 8 < text.size(); i += 4096) {
                    text[i] = '9';  // some numbers, some lines
                }
                text += tail;
                expectAgreement(text,
                                "tail \"" + tail + "\" at " + std::to_string(boundary) + " - " +
                                    std::to_string(back),
                                3);
            }
        }
    }
}

std::string randomText(std::mt19937_64& rng, std::size_t tokens, bool withBadToken) {
    static const char* const spaces[] = {" ", "\n", "\t", "  ", "\r\n", "\v", "\f", " \n "};
    std::string text;
    std::uniform_int_distribution<int> shape(0, 9);
    for (std::size_t i = 0; i < tokens; ++i) {
        const int kind = shape(rng);
        if (kind <= 5) {
            text += std::to_string(static_cast<std::int32_t>(rng()));
        } else if (kind == 6) {
            text += std::to_string(rng() % 100);
        } else if (kind == 7) {
            text += (rng() & 1 ? "+" : "-") + std::string(rng() % 12, '0') +
                    std::to_string(rng() % 3000000000u);
        } else if (kind == 8) {
            text += std::to_string(static_cast<std::int32_t>(rng())) + "-" +
                    std::to_string(rng() % 1000);
        } else {
            text += std::to_string(rng() % 10);
        }
        text += spaces[rng() % 8];
    }
    if (withBadToken) {
        static const char* const bad[] = {"abc", "-", "+ ", "99999999999", "1.5", "\x80"};
        std::size_t at = rng() % (text.size() + 1);
        while (at < text.size() && text[at] != ' ' && text[at] != '\n') {
            ++at;
        }
        text.insert(at, std::string(" ") + bad[rng() % 6]);
    }
    return text;
}

TEST_P(NumberScanner, AgreesWithPlainLoopOnAMillionRandomTokens) {
    std::mt19937_64 rng(20261207);
    std::size_t total = 0;
    for (int round = 0; round < 40; ++round) {
        const std::size_t tokens = round % 4 == 0 ? 150000 : 10000;
        const std::string text = randomText(rng, tokens, round % 2 == 1);
        expectAgreement(text, "round " + std::to_string(round));
        total += tokens;
    }
    EXPECT_GE(total, 1000000u);
}

TEST_P(NumberScanner, FindsTheLineOfAnyNumberInABatch) {
    const std::string text = "1 2\n3\n\n 4 5-6\n  7";
    std::stringbuf in(text);
    std::vector<std::uint64_t> lines;
    scanNumbers(in, [&lines](const NumberBatch& batch) {
        for (std::size_t i = 0; i < batch.count; ++i) {
            lines.push_back(lineOfNumber(batch, i));
        }
        return batch.count;
    });
    EXPECT_EQ(lines, (std::vector<std::uint64_t>{1, 1, 2, 4, 4, 4, 5}));
}

TEST_P(NumberScanner, StopsWhereTheReceiverRunsOutOfMemory) {
    const std::string text = "1\n2\n3\n4\n";
    std::stringbuf in(text);
    std::vector<std::int32_t> kept;
    const ScanEnd end = scanNumbers(in, [&kept](const NumberBatch& batch) {
        kept.assign(batch.values, batch.values + 2);
        return std::size_t{2};
    });
    EXPECT_EQ(end.stop, ScanStop::outOfMemory);
    EXPECT_EQ(end.line, 3u);
    EXPECT_EQ(kept, (std::vector<std::int32_t>{1, 2}));
}

// A stream whose reads fail after a few bytes, as a failing disk would.
class FailingBuf : public std::streambuf {
  protected:
    std::streamsize xsgetn(char* s, std::streamsize n) override {
        if (served_) {
            throw std::ios_base::failure("read error");
        }
        served_ = true;
        const std::string text = "1\n2\n3";
        const auto size = std::min(n, static_cast<std::streamsize>(text.size()));
        std::copy(text.begin(), text.begin() + size, s);
        return size;
    }

  private:
    bool served_ = false;
};

TEST_P(NumberScanner, ReportsAReadErrorAfterTheNumbersBeforeIt) {
    FailingBuf in;
    std::vector<std::int32_t> values;
    const ScanEnd end = scanNumbers(in, [&values](const NumberBatch& batch) {
        values.insert(values.end(), batch.values, batch.values + batch.count);
        return batch.count;
    });
    EXPECT_EQ(end.stop, ScanStop::readError);
    EXPECT_EQ(end.line, 3u);
    // The 3 may go on in the next read, so it is not counted.
    EXPECT_EQ(values, (std::vector<std::int32_t>{1, 2}));
}

}  // namespace
