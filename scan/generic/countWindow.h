// The count's window: plain numbers counted, and compared with the target
// as text, converting nothing (see scan/generic/lookBack.h).
//
// With eight bytes or fewer at a time (the portable kernel) a compare costs
// more than a look at the few tokens a block holds, so ten-digit numbers and
// tokens of the target's length are judged token by token there instead.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "scan/generic/lookBack.h"

namespace scan {
namespace {
namespace lookBack {

// The target's text as two eight-byte words that overlap, its first and its
// last bytes (up to eight each), so that a token is compared with it in two
// loads. memcmp, a call, made the compiler keep the block loop's constants
// and counters in memory around it, in every block.
struct TargetWords {
    uint64_t head, tail, headBytes, tailBytes;
    unsigned length;
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
    return words;
}
// Whether the token that ends at `end` is the target's text, given that it
// is as long. Reads the 8 bytes before `end` and 8 from the token's start.
inline bool isTarget(const char* end, const TargetWords& words) {
    const uint64_t head = loadLittle(end - words.length) ^ words.head;
    const uint64_t tail = loadLittle(end - 8) ^ words.tail;
    return ((head & words.headBytes) | (tail & words.tailBytes)) == 0;
}

// Counts the tokens of the block at `q` into `numbers` and `matches`, and its
// newlines into `lines`, setting bits of `unplain` where a token is not a
// canonical 32-bit number (see countWindowLookBack). `valid` marks the bytes
// of the window.
__attribute__((always_inline)) inline void countBlock(const char* q, uint64_t valid,
                                                      const CountTarget& target,
                                                      const TargetWords& words, LookBackCarry& was,
                                                      uint64_t& unplain, uint64_t& numbers,
                                                      uint64_t& matches, uint64_t& lines) {
    const BlockTokens tokens = tokensOf(q, valid, was, lines);
    const uint64_t space = tokens.space, digit = tokens.digit, minus = tokens.minus;
    const uint64_t starts = tokens.starts, ends = tokens.ends;
    const uint64_t run2 = digit & behind<1>(digit, was.digit);
    const uint64_t run4 = run2 & behind<2>(run2, was.run2);
    const uint64_t run8 = run4 & behind<4>(run4, was.run4);
    const uint64_t run10 = run8 & behind<8>(run2, was.run2);
    // What follows a "0" that starts a token (a leading zero, if a digit)
    // and what follows a minus, which only starts one or the window declines
    // (anything but 1 to 9 there is "-0", "--" or a lone sign).
    const uint64_t zeroStarts = tokens.zero & starts;
    uint64_t afterZeroStart, afterMinus, oneToNine;
    if constexpr (kMaskedCompares) {
        // Compares of the bytes a place back, each masked by what it narrows,
        // and one more for 1 to 9, cost less than masks carried from the
        // block before. The byte before a window's first is not the window's:
        // afterSpace, which reads white space there, leaves it out.
        afterZeroStart = ~tokens.afterSpace & ~behind<2>(digit, was.digit) &
                         blockMask(q, [](const char* at) { return is<'0'>(load(at - 1)); });
        afterMinus =
            ~tokens.afterSpace & blockMask(q, [](const char* at) { return is<'-'>(load(at - 1)); });
        oneToNine = blockMask(q, [](const char* at) { return oneToNineBytes(load(at)); });
    } else {
        afterZeroStart = behind<1>(zeroStarts, was.zeroStarts);
        afterMinus = behind<1>(minus, was.minus);
        oneToNine = digit & ~tokens.zero;
    }
    unplain |= tokens.notPlain |           // an unusual byte, "+", a minus inside a token
               (digit & afterZeroStart) |  // a leading zero
               (afterMinus & ~oneToNine);  // "-0", "--", a lone sign
    numbers += countOnes(starts);
    const unsigned length = target.length;
    // The white space before a token of the target's length: `back` places
    // before its end, reaching back into the previous block.
    const unsigned back = length + 1;
    const auto spaceBack = [&] { return (space << back) | (was.space >> (64 - back)); };
    if constexpr (kVecBytes >= 16) {
        // Vectors: every test at every byte, joined before one movemask each.
        // Ten digits end where run10 is set; their first digit is 9 bytes back.
        if (run10 != 0) {
            // 11 digits or more, 3000000000 and up, 2200000000 and up, or
            // 2140000000 and up (one random number in five hundred): each
            // then compared with the limit as text, as the few found are.
            uint64_t suspect =
                run10 & blockMask(q, [](const char* at) {
                    const Vec first = load(at - 9);
                    const Vec second = load(at - 8);
                    const auto two = is<'2'>(first);
                    return either(
                        either(digitBytes(load(at - 10)), above<'2'>(first)),
                        both(two, either(above<'1'>(second),
                                         both(is<'1'>(second), above<'3'>(load(at - 7))))));
                });
            for (; suspect != 0; suspect &= suspect - 1) {
                const char* digits = q + firstOne(suspect) - 9;
                const auto before = static_cast<unsigned>(static_cast<unsigned char>(digits[-1]));
                unplain |=
                    static_cast<uint64_t>(before - '0' < 10) | beyondLimit(digits, before == '-');
            }
        }
        // Tokens of the target's length that end here, with its first, second
        // and last bytes in place: for a target of up to three bytes, with
        // white space before them, exactly its matches; for a longer one, the
        // rare tokens whose whole text settles it.
        const unsigned secondAt = length >= 2 ? 1 : 0;
        const Vec first = splat(target.text[0]);
        const Vec second = splat(target.text[secondAt]);
        const Vec last = splat(target.text[length - 1]);
        const uint64_t hits =
            ends & blockMask(q, [&](const char* at) {
                return both(both(equal(load(at - 1), last), equal(load(at - length), first)),
                            equal(load(at - length + secondAt), second));
            });
        if (length <= 3) {
            matches += countOnes(hits & spaceBack());
        } else if (hits != 0) {
            // Rare enough that the white space before is looked up only here.
            for (uint64_t h = hits & spaceBack(); h != 0; h &= h - 1) {
                matches += isTarget(q + firstOne(h), words);
            }
        }
    } else {
        // Eight bytes or fewer at a time, a compare costs more than a look at
        // the few ten-digit numbers and tokens of the target's length a block
        // holds: each is judged on its own.
        for (uint64_t t = run10; t != 0; t &= t - 1) {
            const char* digits = q + firstOne(t) - 9;
            const auto before = static_cast<unsigned>(static_cast<unsigned char>(digits[-1]));
            unplain |=
                static_cast<uint64_t>(before - '0' < 10) | beyondLimit(digits, before == '-');
        }
        for (uint64_t h = ends & spaceBack(); h != 0; h &= h - 1) {
            matches += isTarget(q + firstOne(h), words);
        }
    }
    was.space = space;
    was.digit = digit;
    was.run2 = run2;
    was.run4 = run4;
    was.zeroStarts = zeroStarts;
    was.minus = minus;
}

// Counts the tokens of [p, p + size), which ends in white space, into `tally`
// and its newlines into `newlines`, deciding everything from block masks and
// comparing text with the target's canonical text: two canonical numbers are
// equal exactly when their texts are. Returns false, counting nothing, when
// the window holds anything but canonical 32-bit numbers: an unusual byte, a
// lone sign, a "+", a leading zero, "-0", more than 10 digits, or 10 digits
// beyond the 32-bit range.
// Reads up to 64 bytes past the window, and 12 before it.
__attribute__((noinline)) bool countWindowLookBack(const char* p, size_t size,
                                                   const CountTarget& target, Tally& tally,
                                                   uint64_t& newlines) {
    const TargetWords words = targetWords(target);
    LookBackCarry was;
    uint64_t unplain = 0, numbers = 0, matches = 0, lines = 0;
    eachBlock(
        size,
        [&](uint32_t base, uint64_t valid) __attribute__((always_inline)) {
            countBlock(p + base, valid, target, words, was, unplain, numbers, matches, lines);
        },
        [&] { return unplain == 0; });
    if (unplain != 0) {
        return false;
    }
    newlines = lines;
    tally.numbers += static_cast<int64_t>(numbers);
    tally.matches += static_cast<int64_t>(matches);
    return true;
}

}  // namespace lookBack
using lookBack::countWindowLookBack;
}  // namespace
}  // namespace scan
