// The count's window: canonical numbers counted, and compared with the
// target as text, converting nothing: two canonical numbers are equal exactly
// when their texts are.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "scan/generic/blocks.h"
#include "scan/kernel.h"

namespace scan {
namespace {

// The target's text as two eight-byte words that overlap, its first and its
// last bytes (up to eight each), so that a token is compared with it in two
// loads. memcmp, a call, made the compiler keep the block loop's constants
// and counters in memory around it, in every block.
struct TargetWords {
    uint64_t head, tail, headBytes, tailBytes;
    unsigned length;
    char first, second, last;  // its first, second (or only) and last bytes
};
inline TargetWords targetWords(const CountTarget& target) {
    const unsigned length = target.length;  // 1 to 11
    const unsigned kept = length < 8 ? length : 8;
    char padded[24] = {};
    memcpy(padded + 8, target.text, sizeof target.text);
    TargetWords words;
    words.headBytes = kept == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * kept)) - 1;
    words.tailBytes = ~uint64_t{0} << (8 * (8 - kept));
    words.head = loadLittle(padded + 8) & words.headBytes;
    words.tail = loadLittle(padded + length) & words.tailBytes;
    words.length = length;
    words.first = target.text[0];
    words.second = target.text[length >= 2 ? 1 : 0];
    words.last = target.text[length - 1];
    return words;
}
// Whether the token that ends at `end` is the target's text, given that it
// is as long. Reads the 8 bytes before `end` and 8 from the token's start.
inline bool isTarget(const char* end, const TargetWords& words) {
    const uint64_t head = loadLittle(end - words.length) ^ words.head;
    const uint64_t tail = loadLittle(end - 8) ^ words.tail;
    return ((head & words.headBytes) | (tail & words.tailBytes)) == 0;
}

// Whether ten digits lie beyond 2147483647, or 2147483648 after a minus:
// the first eight as one number whose order is their text's, the last two
// as another, without a branch.
inline uint64_t beyondLimit(const char* digits, bool negative) {
    constexpr uint64_t head = 0x3231343734383336;  // "21474836"
    const uint64_t first = __builtin_bswap64(loadLittle(digits));
    const auto last = static_cast<unsigned>(static_cast<unsigned char>(digits[8]) << 8 |
                                            static_cast<unsigned char>(digits[9]));
    const unsigned limit = ('4' << 8 | '7') + negative;
    return static_cast<uint64_t>(first > head) |
           static_cast<uint64_t>((first == head) & (last > limit));
}

// Counts a window's tokens block by block (see readBlocks). It cannot take a
// token that is not canonical: an unusual byte, a lone sign, a "+", a leading
// zero, "-0", more than 10 digits, or 10 digits beyond the 32-bit range.
// A target of up to three bytes (kShort) is counted from masks alone.
template <typename Set, bool kShort>
struct CountReader {
    TargetWords words;
    uint64_t numbers = 0, matches = 0;
    // Runs of 2 and 4 digits, and zeros that start a token, in the block before.
    uint64_t wasRun2 = 0, wasRun4 = 0, wasZeroStarts = 0;

    __attribute__((always_inline)) uint64_t unusual(const char* q, const BlockTokens& t,
                                                    const Carry& was) {
        const uint64_t digit = t.digit;
        const uint64_t run2 = digit & behind<1>(digit, was.digit);
        const uint64_t run4 = run2 & behind<2>(run2, wasRun2);
        const uint64_t run10 = run4 & behind<4>(run4, wasRun4) & behind<8>(run2, wasRun2);
        // What follows a "0" that starts a token (a leading zero, if a digit)
        // and what follows a minus (anything but 1 to 9 there is "-0", "--"
        // or a lone sign).
        const uint64_t zeroStarts = t.zero & t.starts;
        uint64_t afterZeroStart, afterMinus, oneToNine;
        if constexpr (Set::kMaskedCompares) {
            // Compares of the bytes a place back, each masked by what it
            // narrows, and one more for 1 to 9, cost less than masks carried
            // from the block before. The byte before a window's first is not
            // the window's: afterSpace, which reads white space there, leaves
            // it out.
            afterZeroStart =
                ~t.afterSpace & ~behind<2>(digit, was.digit) &
                blockMask<Set>(q, [](const char* at) { return Set::is(Set::load(at - 1), '0'); });
            afterMinus = ~t.afterSpace & blockMask<Set>(q, [](const char* at) {
                return Set::is(Set::load(at - 1), '-');
            });
            oneToNine = blockMask<Set>(
                q, [](const char* at) { return Set::inRange(Set::load(at), '1', '9'); });
        } else {
            afterZeroStart = behind<1>(zeroStarts, wasZeroStarts);
            afterMinus = behind<1>(t.minus, was.minus);
            oneToNine = digit & ~t.zero;
        }
        wasRun2 = run2;
        wasRun4 = run4;
        wasZeroStarts = zeroStarts;
        return t.notPlain | (digit & afterZeroStart) | (afterMinus & ~oneToNine) |
               beyondTenDigits(q, run10);
    }

    __attribute__((always_inline)) void take(const char* q, uint32_t, const BlockTokens& t,
                                             const Carry& was) {
        numbers += countOnes(t.starts);
        // The white space before a token of the target's length: `back`
        // places before its end, reaching back into the previous block.
        const unsigned length = words.length;
        const unsigned back = length + 1;
        const auto spaceBack = [&] { return (t.space << back) | (was.space >> (64 - back)); };
        uint64_t candidates = t.ends;
        if constexpr (Set::kCheapCompares) {
            // Tokens of the target's length that end here, with its first,
            // second and last bytes in place: for a target of up to three
            // bytes, with white space before them, exactly its matches; for a
            // longer one, the rare tokens whose whole text settles it.
            const unsigned secondAt = length >= 2 ? 1 : 0;
            const auto first = Set::splat(words.first);
            const auto second = Set::splat(words.second);
            const auto last = Set::splat(words.last);
            candidates &= blockMask<Set>(q, [&](const char* at) {
                return Set::both(Set::both(Set::equal(Set::load(at - 1), last),
                                           Set::equal(Set::load(at - length), first)),
                                 Set::equal(Set::load(at - length + secondAt), second));
            });
            if (kShort) {
                matches += countOnes(candidates & spaceBack());
                return;
            }
            if (candidates == 0) {
                return;  // rare enough that the white space before is looked up only here
            }
        }
        for (uint64_t h = candidates & spaceBack(); h != 0; h &= h - 1) {
            matches += isTarget(q + firstOne(h), words);
        }
    }

    void dropOpenToken() { numbers -= 1; }

    // Counts the whole blocks of [p, p + whole) from the first while each
    // holds only digits, newlines and minus signs, as most files do, and no
    // token that is not canonical; the first block's `front` bytes, before
    // the window, are read as newlines. Such a block is taken as the block
    // loop would take it, but with no white space to look for and fewer masks
    // to carry. Returns the offset of the first block it did not take, where
    // the block loop goes on with `was` and the reader's own masks (a token
    // open there has been counted), and adds the newlines before it to `lines`.
    __attribute__((always_inline)) size_t takePlainBlocks(const char* p, size_t whole,
                                                          unsigned front, uint64_t& lines,
                                                          Carry& was) {
        uint64_t wasNewline = ~uint64_t{0}, wasMinus = 0, wasFirstZero = 0;
        uint64_t newlines = 0;
        // Takes the block at `q`, whose bytes in `outside` lie before the window.
        const auto takeBlock = [&](const char* q, uint64_t outside) __attribute__((always_inline)) {
            auto [digit, minus, newline, zero] = classesOf<Set>(q);
            const uint64_t windowNewlines = newline & ~outside;
            digit &= ~outside;
            minus &= ~outside;
            zero &= ~outside;
            newline |= outside;
            if ((digit | minus | newline) != ~uint64_t{0}) {
                return false;
            }
            const uint64_t afterNewline = behind<1>(newline, wasNewline);
            const uint64_t afterMinus = behind<1>(minus, wasMinus);
            // A zero that starts a number's digits, and a digit after one.
            const uint64_t firstZero = zero & (afterNewline | afterMinus);
            const uint64_t leadingZero = digit & behind<1>(firstZero, wasFirstZero);
            // Before each digit lies a digit, a newline or a minus.
            const uint64_t run2 = digit & ~(afterNewline | afterMinus);
            const uint64_t run4 = run2 & behind<2>(run2, wasRun2);
            const uint64_t run10 = run4 & behind<4>(run4, wasRun4) & behind<8>(run2, wasRun2);
            const uint64_t odd = (minus & ~afterNewline) | (afterMinus & (zero | ~digit)) |
                                 leadingZero | beyondTenDigits(q, run10);
            if (odd != 0) {
                return false;
            }
            newlines += countOnes(windowNewlines);
            BlockTokens t;
            t.starts = ~newline & afterNewline;
            t.space = newline;
            t.ends = newline & ~afterNewline;
            Carry before;
            before.space = wasNewline;
            take(q, 0, t, before);
            wasNewline = newline;
            wasMinus = minus;
            wasFirstZero = firstZero;
            wasRun2 = run2;
            wasRun4 = run4;
            return true;
        };
        size_t base = 0;
        if (whole != 0 && takeBlock(p, bitsBelow(front))) {
            // The first block on its own, so that the others need no mask.
            for (base = 64; base < whole && takeBlock(p + base, 0); base += 64) {
            }
        }
        lines += newlines;
        // What the block loop carries from the last block taken: its classes
        // (each byte a digit, a newline or a minus), and its zeros that start
        // a token (a taken block holds no "-0").
        was.space = wasNewline;
        was.digit = ~(wasNewline | wasMinus);
        was.minus = wasMinus;
        wasZeroStarts = wasFirstZero;
        return base;
    }

  private:
    // Of the ten digits that end at each bit of `run10`, those that are part
    // of a longer run or lie beyond the 32-bit range. With cheap compares,
    // first narrowed to 11 digits or more, 3000000000 and up, 2200000000 and
    // up, or 2140000000 and up (one random number in five hundred), which are
    // then compared with the limit as text.
    __attribute__((always_inline)) static uint64_t beyondTenDigits(const char* q, uint64_t run10) {
        uint64_t suspect = run10;
        if constexpr (Set::kCheapCompares) {
            if (run10 == 0) {
                return 0;
            }
            suspect &= blockMask<Set>(q, [](const char* at) {
                const auto first = Set::load(at - 9);
                const auto second = Set::load(at - 8);
                return Set::either(
                    Set::either(Set::inRange(Set::load(at - 10), '0', '9'), above(first, '2')),
                    Set::both(
                        Set::is(first, '2'),
                        Set::either(above(second, '1'), Set::both(Set::is(second, '1'),
                                                                  above(Set::load(at - 7), '3')))));
            });
        }
        uint64_t bad = 0;
        for (; suspect != 0; suspect &= suspect - 1) {
            const unsigned at = firstOne(suspect);
            const char* digits = q + at - 9;
            const auto before = static_cast<unsigned>(static_cast<unsigned char>(digits[-1]));
            bad |= (static_cast<uint64_t>(before - '0' < 10) | beyondLimit(digits, before == '-'))
                   << at;
        }
        return bad;
    }
    template <typename Vec>
    static auto above(Vec bytes, char c) {
        return Set::less(Set::splat(c), bytes);
    }
};

// Counts the canonical numbers of the window [p, p + size), which ends in
// white space, into `tally`, up to the first token that is not one; returns
// its offset, or `size`, with the newlines before it in `newlines`.
//
// With kPlainFirst, the plain blocks it starts with are taken first, from the
// cache line that holds the window's first byte, so that no block's load
// straddles two lines (3-6% less time a block on random numbers). The block
// loop goes on from the first block they did not take; if they took none, as
// in a file of numbers between spaces, from the window's own start, since
// reading the part of the line before it there made SSE2 2-4% slower.
//
// Without, the window starts after the byte machine read a token (the byte
// before it is not white space), and is read block by block from its start:
// where such tokens lie a few blocks apart, as in a file of signs and leading
// zeros, the plain blocks that end at each cost more than they save.
template <typename Set, bool kPlainFirst>
__attribute__((noinline)) size_t countWith(const char* p, size_t size, const CountTarget& target,
                                           Tally& tally, uint64_t& newlines) {
    // One loop for each kind of target, so that no block asks which.
    const auto read = [&](auto reader) {
        uint64_t plainLines = 0;
        Carry was;
        size_t from = 0, front = 0;  // the bytes of the first line before the window
        if constexpr (kPlainFirst) {
            front = reinterpret_cast<uintptr_t>(p) & 63;
            from = reader.takePlainBlocks(p - front, (size + front) & ~size_t{63},
                                          static_cast<unsigned>(front), plainLines, was);
            front = from != 0 ? front : 0;
        }
        const size_t stop = readBlocks<Set>(p - front, size + front, reader, newlines, was,
                                            static_cast<uint32_t>(from));
        newlines += plainLines;
        tally.numbers += static_cast<int64_t>(reader.numbers);
        tally.matches += static_cast<int64_t>(reader.matches);
        return stop - front;
    };
    const TargetWords words = targetWords(target);
    return words.length <= 3 ? read(CountReader<Set, true>{words})
                             : read(CountReader<Set, false>{words});
}

template <typename Set>
size_t countWindow(const char* p, size_t size, const CountTarget& target, Tally& tally,
                   uint64_t& newlines) {
    return isSpace(static_cast<unsigned char>(p[-1]))
               ? countWith<Set, true>(p, size, target, tally, newlines)
               : countWith<Set, false>(p, size, target, tally, newlines);
}

}  // namespace
}  // namespace scan
