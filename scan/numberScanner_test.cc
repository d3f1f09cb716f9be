// The scanner against its plain twin, the `stream >> int32_t` loop: one table
// per class of input, every table read by every kernel the processor runs.
#include "scan/numberScanner.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "everyKernel.h"
#include "oracle.h"
#include "scan/kernel.h"
#include "scan/readSizes.h"
#include "textFile.h"

namespace scan {
namespace {

// Every kernel of this build; one the processor lacks is skipped.
class NumberScanner : public EveryKernel {
  protected:
    // The scan must read `text` as the plain loop does, and counts of some
    // of its numbers (and of some that are not in it) must match the loop's.
    void expectAgreement(const std::string& text, const std::string& what,
                         std::size_t targetCount = 100) const {
        const Reading expected = plainLoop(text);
        ASSERT_EQ(readWithKernel(text, *kernel_), expected) << what;
        std::vector<std::int32_t> targets = {0, 1, -1, 5, 7, 2147483647, -2147483647 - 1};
        for (std::size_t i = 0; i < expected.values.size() && i < 64; i += 1 + i / 4) {
            targets.push_back(expected.values[i]);
        }
        if (!expected.values.empty()) {
            targets.push_back(expected.values.back());
        }
        if (targets.size() > targetCount) {  // keep the text's own numbers, at the end
            targets.erase(targets.begin(),
                          targets.end() - static_cast<std::ptrdiff_t>(targetCount));
        }
        for (const std::int32_t target : targets) {
            ASSERT_EQ(countWithKernel(text, target, *kernel_), expectedCount(expected, target))
                << what << ", counting " << target;
        }
    }

    void expectTableAgrees(const std::vector<std::string>& table) const {
        for (const std::string& text : table) {
            expectAgreement(text, "input \"" + text + "\"");
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Kernels, NumberScanner, testing::ValuesIn(builtKernelNames()),
                         EveryKernel::nameOf);

TEST_P(NumberScanner, Signs) {
    expectTableAgrees({"+7 -0 +0 -7", "5-3 5+3", "7\n-7\n+7\n", "+", "-", "1 -", "1\n-\n2", "+-5",
                       "--5", "+ 5", "5- 3", "1+", "-x"});
}

TEST_P(NumberScanner, LimitsAndLimitsPlusOne) {
    expectTableAgrees({"2147483647 -2147483648", "2147483648", "-2147483649",
                       "2147483647 5 -2147483648 5 1999999999 -2000000000 2147483640",
                       "5 2147483648 5", "5 -2147483649 5", "5 2999999999 5", "5 3000000000 5",
                       "2147483650 1", "-2147483650", "4294967296", "12345678 123456789 1234567890",
                       "1234567891 21474836470", "9999999999", "1 2 99999999999999999999999 3"});
    // Beyond the range, each among plain numbers, where the count decides
    // from its first digits, or from its last ten.
    expectTableAgrees({"1 2150000000 2", "1 -2199999999 2", "1 2148000000 2", "1 -2147500000 2",
                       "1 2200000000 2", "1 -2299999999 2", "1 10000000000 2", "1 -10000000000 2",
                       "1 4294967297 2", "1 -9999999999 2", "1 91234567890 2", "1 100000000000 2",
                       "1 -2147483649\n2\n", "1 2147483648\n2\n"});
    // Too long, though their last sixteen digits make a small number.
    expectTableAgrees({"1 100000000000000000005 2\n", "1 -1000000000000000000000000000007 2\n",
                       "1 20000000000000000 2147483647\n"});
}

TEST_P(NumberScanner, LeadingZeros) {
    expectTableAgrees({"00000000000000000000000042 -000000000002147483648", "000000000002147483648",
                       "0 00 -0 +0 5 05 -05 +5 0000000000000000005", "07\n0\n-00",
                       "+0000000002147483647 -0000000002147483649"});
    // Among plain numbers, where only the leading zero keeps "05" from
    // counting as the target 5.
    expectTableAgrees({"1 05 5\n", "12 007 7\n", "-1 09 9\n", "123 0 00 0\n"});
    // Among plain numbers, with as many digits as a load converts at once
    // (ten), and more, up to more than a 16-byte lane holds.
    expectTableAgrees({"1 0000000001 -0000000005 2\n", "1 -0 -0000000000 2\n",
                       "1 00000000001 -02147483648 2\n", "1 02147483647 2\n",
                       "1 000000000000005 2\n", "1 0000000000000005 2\n",
                       "1 -00000000000000005 2\n", "1 02147483648 2\n"});
}

// Runs of digits that the byte machine reads (after a "+" or a leading
// zero), of every length up to three of its eight-byte steps and more, each
// ended by another kind of byte or by the end of the text: at the limits,
// just past them and far past, where the magnitude saturates.
TEST_P(NumberScanner, ByteMachineDigitRunsOfEveryLength) {
    std::vector<std::string> table;
    for (std::size_t length = 1; length <= 26; ++length) {
        for (const std::string digits : {"2147483648", "2147483647", "9876543210", "0000000000"}) {
            std::string run;
            for (std::size_t i = 0; i < length; ++i) {
                run += digits[i % digits.size()];
            }
            for (const char* after : {"", " 5", "\n-0", "x", "-3"}) {
                table.push_back("+" + run + after);
                table.push_back("1 -0" + run + after);
            }
        }
    }
    // 2^64 + 5 and 2^65 + 7: read modulo 2^64, without the saturation, they
    // would pass as 5 and 7.
    table.insert(table.end(),
                 {"+18446744073709551621 2 3 4\n", "1 -036893488147419103239 2 3 4\n"});
    expectTableAgrees(table);
}

TEST_P(NumberScanner, TrailingJunkAndBadBytes) {
    expectTableAgrees(
        {"4 12abc 7", "1 2 x", "x 1 2", "1.5 2", "0x10", std::string("1 \0 2", 5), "1 \xff 2",
         "\xef\xbb\xbf"
         "5",
         "7 \"quoted\\\" 8", "1 " + std::string(100, 'z'), "1 2" + std::string(40, 'q') + " 3",
         "3 " + std::string(31, '9') + "x", "3 " + std::string(33, '-')});
}

// The bytes just outside each class a kernel sorts bytes into: digits,
// white space, signs; and the bytes of each class with the high bit set.
TEST_P(NumberScanner, BytesNextToEachClass) {
    expectTableAgrees({"1 2:3 4", "1 2/3 4", "12 : 3",
                       "1\x0e"
                       "2 3",
                       "1\x08 2", "7 \x1f 8", "7 ! 8", "5,6", "5 ,6", "5 *6", "5 .6", "1 ;",
                       "0:", "9/"});
    expectTableAgrees({"1 2\xb5 3", "1 \xb0 2",
                       "1 \xad"
                       "5 2",
                       "1\x8a"
                       "2 3",
                       "1\xa0"
                       "2 3",
                       "1\x89"
                       "2 3"});
}

TEST_P(NumberScanner, WhiteSpaceOfEveryKind) {
    expectTableAgrees({"", " \t\n\v\f\r", "5 1 5 9", "5 1 5 9\n", "1\r\n2\r\n3\r\n",
                       "1\t2\v3\f4\r5\n6 7", "\n\n\n  7\n\n  abc", "1\n\n\n99999999999\n",
                       "\n\n-"});
}

// Plain numbers ("1 1 1 ...") that fill exactly `length` bytes, to put what
// follows at that place of a window.
std::string plainNumbersOfLength(std::size_t length, char separator = ' ') {
    std::string text;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        text += '1';
        text += separator;
    }
    text.resize(length, separator);
    return text;
}

// A text of numbers split by spaces as it would be with newlines alone:
// windows whose white space is all newlines skip the white-space test.
std::string withNewlines(std::string text) {
    std::replace(text.begin(), text.end(), ' ', '\n');
    return text;
}

// White space other than newlines first met at every place of a window's
// first blocks, after lines of plain numbers, between numbers, after a minus
// and at the end: from there on, the window tests for white space.
TEST_P(NumberScanner, OtherWhiteSpaceAfterNewlinesAtEveryPlaceOfABlock) {
    for (std::size_t at = 0; at < 200; ++at) {
        const std::string before = plainNumbersOfLength(at, '\n');
        for (const char* after : {" 12\n", "\t-34\n5\n", "\r\n1\r\n", "\v6 7", "\f", "-\r8\n",
                                  "2147483647 -2147483648\n", "12345678901\t9\n"}) {
            expectAgreement(before + after,
                            "\"" + std::string(after) + "\" at " + std::to_string(at), 3);
        }
    }
}

// A minus or a zero at every place of a window's first blocks, after plain
// numbers: a minus alone, before a digit, before another minus, in "-0"; a
// zero alone, leading, after a minus, after a digit, each the last number and
// so counted. One that ends a block is judged with the byte that starts the
// next. After a lone minus, numbers ending in 1: a load that took its end for
// a number's would read them as plausible numbers, not as something to
// decline.
TEST_P(NumberScanner, SignsAndZerosAtEveryPlaceOfABlock) {
    for (std::size_t at = 0; at < 200; ++at) {
        const std::string before = plainNumbersOfLength(at);
        for (const char* after : {"- 5 6\n", "-\n5 6\n", "- 11 21 31\n", "-5 6\n", "--5 6\n",
                                  "-0 6\n", "0 5\n", "05\n", "-05\n", "00\n", "10\n"}) {
            const std::string where = "\"" + std::string(after) + "\" at " + std::to_string(at);
            expectAgreement(before + after, where, 3);
            expectAgreement(withNewlines(before + after), where + ", newlines alone", 3);
        }
    }
}

// Blocks after a first one without a minus sign are read without looking
// for one: a minus on the first block's last byte must still be judged with
// the next block's first, "-0", "--" and a lone sign there included, with
// plain numbers on for blocks after it, between newlines (the plain blocks)
// and between spaces (the block loop).
TEST_P(NumberScanner, AMinusThatEndsTheFirstBlockBeforeBlocksWithoutOne) {
    const std::string after = plainNumbersOfLength(256);
    for (std::size_t at = 0; at < 140; ++at) {
        const std::string before = plainNumbersOfLength(at);
        for (const char* sign : {"-0 6 ", "- 5 ", "-05 ", "--5 ", "-5 ", "-1 0 "}) {
            const std::string text = before + sign + after;
            const std::string where = "\"" + std::string(sign) + "\" at " + std::to_string(at);
            expectAgreement(text, where, 3);
            expectAgreement(withNewlines(text), where + ", newlines alone", 3);
        }
    }
}

// Ten and eleven digits at every place of a window's first blocks, after
// plain numbers and before more, so that every block but the last is whole:
// at the limits, just past them, and past them in the first digit, the
// second, the third, the last; eleven whose every ten start with 0 or 1;
// several that start with 2 in one block, the last of them too high.
// One that starts in a block and ends in the next is judged by masks carried
// across.
TEST_P(NumberScanner, LongNumbersAtEveryPlaceOfABlock) {
    const std::string after = plainNumbersOfLength(128);
    for (std::size_t at = 0; at < 140; ++at) {
        const std::string before = plainNumbersOfLength(at);
        for (const char* number :
             {"2147483647", "-2147483648", "2147483648", "-2147483649", "3000000000", "-4000000000",
              "2999999999", "2200000000", "2150000000", "1999999999", "12345678901", "10000000000",
              "-11111111111", "-1000000000", "2147483647 2100000000 -2147483649",
              "2000000000 -2147483648 2999999999 1"}) {
            const std::string text = before + number + " 6 " + after;
            const std::string where = "\"" + std::string(number) + "\" at " + std::to_string(at);
            expectAgreement(text, where, 3);
            expectAgreement(withNewlines(text), where + ", newlines alone", 3);
        }
    }
}

// Tokens of every shape around every offset where a chunk of the scanner's
// reads ends (the first small one, the next large one), so that the state
// carried between chunks is exercised at each byte.
TEST_P(NumberScanner, ChunkBoundaries) {
    const std::vector<std::string> tails = {
        "-2147483648 5\n",
        "+000000000000123 4",
        "2147483648 1",
        "12abc",
        "- 5",
        "5-3",
        "1234567890\n",
        "77",
        "x" + std::string(40, 'y'),
    };
    for (const std::size_t boundary : {scan::kChunk, 2 * scan::kChunk}) {
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

// Two tokens cut by two read boundaries in one file, the second bad: what
// was kept of the first must not leak into the second's shown text. The
// first is a number, a run of zeros or a bad token's start that the number
// before it ends; the second a bad token of every kind, cut at every place.
TEST_P(NumberScanner, TwoTokensCutByTwoBoundariesShowTheSecondAsItIs) {
    const std::string firsts[] = {"123456", "-00000000000042", "77"};
    const std::string seconds[] = {"abcdef", "12345678901", "+-7", "1.5x"};
    const std::size_t second = 2 * scan::kChunk;
    for (const std::string& a : firsts) {
        for (const std::string& b : seconds) {
            for (std::size_t cut = 1; cut < b.size(); ++cut) {
                std::string text(scan::kChunk - a.size() / 2, '\n');
                text.replace(0, 2, "1 ");
                text += a;
                text.resize(second - cut, ' ');
                text += b + " 5\n";
                expectAgreement(
                    text, "\"" + a + "\" then \"" + b + "\" cut after " + std::to_string(cut), 2);
            }
        }
    }
}

// A bad token longer than a chunk, which must be neither buffered nor lost.
TEST_P(NumberScanner, TokensLongerThanAChunk) {
    expectAgreement("1 " + std::string(3 * scan::kChunk, '7') + " 2", "a long run of digits", 3);
    expectAgreement("1 -" + std::string(scan::kChunk, '0') + "5 2", "a long run of zeros", 3);
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
            text += (rng() & 1 ? "+" : "-") +
                    std::string(static_cast<std::size_t>(rng() % 12), '0') +
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
        std::size_t at = static_cast<std::size_t>(rng() % (text.size() + 1));
        while (at < text.size() && text[at] != ' ' && text[at] != '\n') {
            ++at;
        }
        text.insert(at, std::string(" ") + bad[rng() % 6]);
    }
    return text;
}

TEST_P(NumberScanner, AMillionRandomTokens) {
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

// Plain numbers of one to three digits, some after a minus, a space or a
// newline apart, or on lines of their own: a 64-byte block holds up to 32 of
// them, so the places where they start and end may fill the whole block, and
// a short target may match several times in one.
TEST_P(NumberScanner, BlocksFullOfShortNumbers) {
    std::mt19937_64 rng(64);
    for (const int digits : {1, 2, 3}) {
        for (const bool signs : {false, true}) {
            for (const bool lines : {false, true}) {
                const unsigned low = digits == 1 ? 0 : digits == 2 ? 10 : 100;
                const unsigned span = digits == 1 ? 10 : 9 * low;
                std::string text;
                for (int i = 0; i < 20000; ++i) {
                    const unsigned value = low + static_cast<unsigned>(rng() % span);
                    text += (signs && value != 0 && rng() % 2 == 0 ? "-" : "") +
                            std::to_string(value) + (lines || rng() % 8 == 0 ? "\n" : " ");
                }
                expectAgreement(text, std::to_string(digits) + "-digit numbers" +
                                          (signs ? ", signed" : "") + (lines ? ", lines" : ""));
            }
        }
    }
}

// Plain windows end at the white space before a window's last token, which
// the next window starts with: ten- and eleven-byte numbers (the longest,
// some at the limits) shifted across every place of the first seams, the
// load's and the count's.
TEST_P(NumberScanner, PlainNumbersAcrossWindowSeams) {
    std::mt19937_64 rng(8192);
    std::vector<std::string> numbers;
    for (int i = 0; i < 3200; ++i) {  // past the count's first seam
        const auto value = static_cast<std::int32_t>(rng());
        numbers.push_back(i % 97 == 0   ? "-2147483648"
                          : i % 89 == 0 ? "2147483647"
                                        : std::to_string(value));
    }
    for (std::size_t shift = 0; shift < 24; ++shift) {
        std::string text(shift, ' ');
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            text += numbers[i] + (i % 5 == 4 ? "\n" : " ");
        }
        expectAgreement(text, "shifted by " + std::to_string(shift), 10);
    }
}

// A window after white space is read in blocks from the cache line its first
// byte is on, the bytes before it read as newlines: a window that starts on a
// line's last byte, after white space of every kind, with a sign or a zero
// whose next byte lies on the next line.
TEST_P(NumberScanner, AWindowThatStartsOnTheLastByteOfACacheLine) {
    static_assert(kWindow % 64 == 0 && kCountWindow % 64 == 0,
                  "the second window starts where the first line ends");
    static_assert(kCountWindow < kChunk, "the count's second window lies in the first chunk");
    for (const std::size_t window : {kWindow, kCountWindow}) {
        std::string plain;
        while (plain.size() < window - 16) {
            plain += "4321\n";
        }
        plain.resize(window - 2, '\n');
        for (const char space : {' ', '\t', '\n', '\v', '\f', '\r'}) {
            for (const char* token : {"05", "00", "0", "-05", "-0", "-5", "5"}) {
                for (const char* after : {"\n7\n", " 8 -9\n"}) {
                    const std::string text = plain + space + token + after + plain;
                    expectAgreement(text, std::string("token ") + token + " after byte " +
                                              std::to_string(space) + ", then \"" + after +
                                              "\", windows of " + std::to_string(window));
                }
            }
        }
    }
}

// Files of plain numbers only, where the count compares text and converts
// nothing, with near misses of the target: the same length and the same
// first, second and last bytes, a middle digit one higher or lower; and
// longer numbers that end in the target's text. Some files are lines alone.
TEST_P(NumberScanner, PlainNumbersAndNearMissesOfTheTarget) {
    std::mt19937_64 rng(7);
    for (const std::int32_t target :
         {123456, -123456, 1234, 2147483647, -2147483647 - 1, 1000000000, -1999999999}) {
        const std::string canonical = std::to_string(target);
        for (const bool lines : {false, true}) {
            std::string text;
            for (int i = 0; i < 60000; ++i) {
                const auto pick = rng() % 10;
                std::string token = std::to_string(static_cast<std::int32_t>(rng()));
                if (pick == 0) {
                    token = canonical;
                } else if (pick <= 2 && canonical.size() >= 4) {
                    token = canonical;
                    // A middle digit: the first, second and last bytes are
                    // compared apart.
                    const auto at = static_cast<std::size_t>(2 + rng() % (canonical.size() - 3));
                    token[at] = static_cast<char>(token[at] == '0' ? '1' : token[at] - 1);
                    if (pick == 2) {
                        token[at] =
                            static_cast<char>(canonical[at] == '9' ? '8' : canonical[at] + 1);
                    }
                } else if (pick == 3 && canonical.size() <= 8) {
                    token = (target > 0 ? "-" : "9") + canonical.substr(target < 0);
                }
                text += token + (lines || rng() % 3 == 0 ? "\n" : " ");
            }
            expectAgreement(text, "near misses of " + canonical + (lines ? ", lines" : ""), 8);
        }
    }
}

TEST_P(NumberScanner, FindsTheLineOfAnyNumberInABatch) {
    std::stringbuf in("1 2\n3\n\n 4 5-6\n  7");
    std::vector<std::uint64_t> lines;
    scanNumbers(
        in,
        [&lines](const NumberBatch& batch) {
            for (std::size_t i = 0; i < batch.count; ++i) {
                lines.push_back(batch.lineOf(i));
            }
            return batch.count;
        },
        *kernel_);
    EXPECT_EQ(lines, (std::vector<std::uint64_t>{1, 1, 2, 4, 4, 4, 5}));
}

// A window of `text` as the driver gives one to a kernel: readable bytes
// before and after it, and scratch for the load's bounds.
struct Window {
    explicit Window(const std::string& text)
        : padded(std::string(64, ' ') + text + std::string(64, ' ')), bounds(text.size() + 80) {}
    const char* begin() const { return padded.data() + 64; }

    std::string padded;
    std::vector<std::uint16_t> bounds;
};

// A kernel reads no further than its contract allows (16 bytes before the
// window, 64 after it), whatever its scratch held before: here the window
// ends 64 bytes before a page that cannot be read, and the scratch holds
// offsets past it. A block of one number, then one of sixteen, leaves the
// last four-number group of a load three entries past what it wrote. Each
// asks the memory for the lines of that page as it reads, which must never
// fault.
TEST_P(NumberScanner, ReadsNoFurtherThanItsWindowWhateverItsScratchHeld) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* const pages =
        mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    char* const guard = static_cast<char*>(pages) + 2 * page;
    ASSERT_EQ(mprotect(guard, page, PROT_NONE), 0);
    const std::string text = "7" + std::string(63, ' ') + "1 2 3 4 5 6 7 8 9 1 2 3 4 5 6 7\n";
    char* const begin = guard - 64 - text.size();
    std::fill(static_cast<char*>(pages), guard, ' ');
    std::copy(text.begin(), text.end(), begin);

    std::vector<std::uint16_t> bounds(text.size() + 80,
                                      static_cast<std::uint16_t>(guard - begin + 1));
    std::vector<std::int32_t> values(text.size());
    std::int32_t* out = values.data();
    std::uint64_t newlines = 0;
    EXPECT_EQ(kernel_->load(begin, text.size(), out, bounds.data(), guard - begin, newlines),
              text.size());
    EXPECT_EQ(std::vector<std::int32_t>(values.data(), out),
              (std::vector<std::int32_t>{7, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 2, 3, 4, 5, 6, 7}));
    const CountTarget seven{{'7'}, 1};
    Tally tally{0, 0};
    EXPECT_EQ(kernel_->count(begin, text.size(), seven, guard - begin, tally, newlines),
              text.size());
    EXPECT_EQ(tally.numbers, 17);
    EXPECT_EQ(tally.matches, 3);
    munmap(pages, 3 * page);
}

// A window takes every token before the first one it cannot take, and stops
// at that token's first byte, with the newlines before it: each shape after
// plain numbers that put it at every place of the first blocks and of the
// load's groups of four and eight conversions, separated by spaces or by
// newlines. The load takes tokens of a minus and up to ten digits in the
// 32-bit range; the count only those in canonical text, so that it can
// compare them with the target as text. What the window declines, the byte
// machine reads: a window that declined more would still read right, only
// slower, so only this test sees it.
TEST_P(NumberScanner, EachWindowStopsAtTheFirstTokenItCannotTake) {
    struct Shape {
        const char* text;
        bool loaded;     // by the load's window
        bool canonical;  // and by the count's
    };
    const Shape shapes[] = {{"105", true, true},           {"1000000000", true, true},
                            {"-2147483648", true, true},   {"2147483647", true, true},
                            {"2139999999", true, true},    {"0", true, true},
                            {"-90", true, true},           {"007", true, false},
                            {"-0", true, false},           {"-05", true, false},
                            {"00", true, false},           {"-0000000012", true, false},
                            {"+5", false, false},          {"+0", false, false},
                            {"00000000012", false, false}, {"2147483648", false, false},
                            {"9999999999", false, false},  {"-2147483649", false, false},
                            {"12345678901", false, false}, {"99999999999999999999", false, false},
                            {"12abc", false, false},       {"-", false, false},
                            {"--5", false, false},         {"5-3", false, false},
                            {"x", false, false},           {"-\xb1", false, false}};
    const CountTarget one{{'1'}, 1};
    // Runs of digits of every length before the shape, so that what a block
    // carries to the next is never blank.
    const char* const plain[] = {"1", "23", "-456", "7890", "12345", "-1", "1000000001", "1"};
    for (const Shape& shape : shapes) {
        for (std::size_t at = 0; at < 140; ++at) {
            for (const bool newlinesAlone : {false, true}) {
                std::string before;
                for (std::size_t i = 0; before.size() < at; ++i) {
                    before += std::string(plain[i % 8]) + (i % 3 == 2 ? "\n" : " ");
                }
                std::string text = before + shape.text + " 1 2\n";
                if (newlinesAlone) {
                    before = withNewlines(before);
                    text = withNewlines(text);
                }
                const std::string what = "\"" + text + "\"";
                Window window(text);
                const auto linesBefore =
                    static_cast<std::uint64_t>(std::count(before.begin(), before.end(), '\n'));
                const auto linesAll =
                    static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
                const std::vector<std::int32_t> numbersBefore = plainLoop(before).values;
                const auto onesBefore = std::count(numbersBefore.begin(), numbersBefore.end(), 1);

                std::vector<std::int32_t> values(text.size() + 8, 0x5eed);
                std::int32_t* out = values.data();
                std::uint64_t newlines = 0;
                const std::size_t loadStop = kernel_->load(window.begin(), text.size(), out,
                                                           window.bounds.data(), 0, newlines);
                const Reading expected = plainLoop(shape.loaded ? text : before);
                EXPECT_EQ(loadStop, shape.loaded ? text.size() : before.size()) << what;
                EXPECT_EQ(newlines, shape.loaded ? linesAll : linesBefore) << what;
                EXPECT_EQ(std::vector<std::int32_t>(values.data(), out), expected.values) << what;
                // Numbers after a bad one may be written, but not past the
                // window's tokens, as in a group of conversions cut short.
                std::istringstream tokens(text);
                const auto written = std::distance(std::istream_iterator<std::string>(tokens),
                                                   std::istream_iterator<std::string>());
                EXPECT_EQ(std::count(values.begin() + written, values.end(), 0x5eed),
                          values.end() - values.begin() - written)
                    << what << ": written past its tokens";

                Tally tally{0, 0};
                const std::size_t countStop =
                    kernel_->count(window.begin(), text.size(), one, 0, tally, newlines);
                EXPECT_EQ(countStop, shape.canonical ? text.size() : before.size()) << what;
                EXPECT_EQ(newlines, shape.canonical ? linesAll : linesBefore) << what;
                EXPECT_EQ(tally.numbers, static_cast<std::int64_t>(numbersBefore.size()) +
                                             (shape.canonical ? 3 : 0))
                    << what;
                EXPECT_EQ(tally.matches, onesBefore + (shape.canonical ? 1 : 0)) << what;
            }
        }
    }
}

TEST_P(NumberScanner, StopsWhereTheReceiverRunsOutOfMemory) {
    std::stringbuf in("1\n2\n3\n4\n");
    std::vector<std::int32_t> kept;
    const ScanEnd end = scanNumbers(
        in,
        [&kept](const NumberBatch& batch) {
            kept.assign(batch.values, batch.values + 2);
            return std::size_t{2};
        },
        *kernel_);
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
    const Reading read = readWithKernel(in, *kernel_);
    EXPECT_EQ(read.stop, ScanStop::readError);
    EXPECT_EQ(read.line, 3u);
    // The 3 may go on in the next read, so it is not counted.
    EXPECT_EQ(read.values, (std::vector<std::int32_t>{1, 2}));
}

// The text from memory, a stream that cuts the file at `path` to nothing
// as it gives its second chunk: by then the pages of the file read ahead of
// the stream are mapped, and lie past the file's new end, where a read
// through the mapping would kill the process.
class CuttingBuf : public std::streambuf {
  public:
    CuttingBuf(std::string text, std::filesystem::path path)
        : text_(std::move(text)), path_(std::move(path)) {}

  protected:
    std::streamsize xsgetn(char* s, std::streamsize n) override {
        if (++reads_ == 2) {
            std::filesystem::resize_file(path_, 0);
        }
        const auto size = std::min(n, static_cast<std::streamsize>(text_.size() - at_));
        std::copy_n(text_.begin() + static_cast<std::ptrdiff_t>(at_), size, s);
        at_ += static_cast<std::size_t>(size);
        return size;
    }

  private:
    std::string text_;
    std::filesystem::path path_;
    std::size_t at_ = 0;
    int reads_ = 0;
};

// A count reads ahead in the file its stream reads, and never through the
// mapping: a file cut short meanwhile, and a descriptor that cannot be
// mapped (a pipe's), count what the stream gave, as with no file at all.
TEST_P(NumberScanner, ReadingAheadNeverChangesWhatACountFinds) {
    std::mt19937_64 rng(20261210);
    std::string text;
    while (text.size() < 8 * kChunk) {
        text += std::to_string(rng() % 3000000) + '\n';
    }
    const std::int32_t target = plainLoop(text.substr(0, 64)).values.front();
    std::stringbuf whole(text);
    const NumberCount expected = countNumbers(whole, target, *kernel_);
    ASSERT_GT(expected.matches, 0);
    const auto sameAsExpected = [&](const NumberCount& c) {
        return c.numbers == expected.numbers && c.matches == expected.matches &&
               c.end.stop == ScanStop::endOfFile && c.end.line == expected.end.line;
    };

    const TextFile file(text);
    CuttingBuf cut(text, file.path());
    EXPECT_TRUE(sameAsExpected(countNumbers(cut, target, *kernel_, 1, {file.fd(), 0})));
    EXPECT_EQ(std::filesystem::file_size(file.path()), 0u);

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    std::stringbuf again(text);
    EXPECT_TRUE(sameAsExpected(countNumbers(again, target, *kernel_, 1, {pipeEnds[0], 0})));
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

TEST(ScanKernels, TheBestIsFirstAndEveryOneIsFoundByName) {
    const auto& kernels = supportedKernels();
    ASSERT_FALSE(kernels.empty());
    EXPECT_EQ(&bestKernel(), kernels.front());
    EXPECT_STREQ(kernelName(*kernels.back()), "portable");  // runs everywhere
    for (const ScanKernel* kernel : kernels) {
        EXPECT_EQ(findKernel(kernelName(*kernel)), kernel);
    }
    EXPECT_EQ(findKernel("no such kernel"), nullptr);
}

}  // namespace
}  // namespace scan
