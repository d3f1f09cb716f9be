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
    // Its first and last bytes, and one more that the count compares, which
    // lies `secondBack` bytes before a token's end: for up to three bytes,
    // the second (or only) one; for more, the second digit. (A negative
    // target's second byte is its first digit, among random numbers of ten
    // digits mostly a 1 or a 2: compared instead of the second digit, it left
    // ten times as many tokens to look at one by one, and the AVX-512 and
    // AVX2 counts took 15% longer.)
    char first, second, last;
    unsigned secondBack;
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
    const unsigned secondAt = length <= 3 ? (length >= 2 ? 1 : 0) : target.text[0] == '-' ? 2 : 1;
    words.second = target.text[secondAt];
    words.secondBack = length - secondAt;
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

// Whether a plain block is the window's first, and whether it is taken as
// one that holds no minus sign (see plainMasksOf), as a type.
template <bool kFirst, bool kMinusFree = false>
struct PlainBlockAt {
    static constexpr bool first = kFirst;
    static constexpr bool minusFree = kMinusFree;
};

// What the plain blocks carry from block to block: the block before's
// newlines (every byte before the window counts as one), which the caller
// keeps, and where the set finds the masks from classes (see plainMasksOf),
// its minus signs and its zeros that start a token.
struct PlainCarry {
    uint64_t newline = ~uint64_t{0}, minus = 0, firstZero = 0;
};

// The masks of the plain block at `q` (see PlainMasks), whose bytes in
// `outside` lie before the window, as are those before the block if kFirst.
// By default from the block's classes: there every byte before a digit is a
// digit, a newline or a minus, so none of white space is looked for. With
// kMinusFree, nor are minus signs: a block that holds one is odd, and those
// before it held none.
template <typename Set, bool kFirst, bool kMinusFree>
__attribute__((always_inline)) inline PlainMasks plainMasksOf(const char* q, uint64_t outside,
                                                              PlainCarry& was) {
    if constexpr (Set::kPlainMasks) {
        PlainMasks m;
        if constexpr (kFirst) {
            // The set reads the block and the two bytes before it: from a
            // copy where those before the window are newlines.
            char bytes[2 + 64];
            memcpy(bytes, q - 2, sizeof bytes);
            memset(bytes, '\n', 2 + countOnes(outside));  // `outside` is the block's first bytes
            m = Set::plainMasks(bytes + 2);
        } else {
            m = Set::plainMasks(q);
        }
        m.ends = m.newline & ~behind<1>(m.newline, was.newline);
        return m;
    } else {
        const BlockClasses c = classesOf<Set, !kMinusFree>(q);
        const uint64_t digit = c.digit & ~outside, minus = c.minus & ~outside,
                       zero = c.zero & ~outside, newline = c.newline | outside;
        const uint64_t afterNewline = behind<1>(newline, was.newline);
        const uint64_t afterMinus = kMinusFree ? 0 : behind<1>(minus, was.minus);
        // A zero that starts a number's digits, and a digit after one.
        const uint64_t firstZero = zero & (afterNewline | afterMinus);
        const uint64_t leadingZero = digit & behind<1>(firstZero, was.firstZero);
        PlainMasks m{};
        m.odd = ~(digit | minus | newline) | (minus & ~afterNewline) |
                (afterMinus & (zero | ~digit)) | leadingZero;
        m.newline = newline;
        m.twoToNine = c.twoToNine & ~outside;
        m.ends = newline & ~afterNewline;
        // Before each digit lies a digit, a newline or a minus.
        m.run2 = digit & ~(afterNewline | afterMinus);
        was.minus = minus;
        was.firstZero = firstZero;
        return m;
    }
}

// Counts a window's tokens block by block (see readBlocks). It cannot take a
// token that is not canonical: an unusual byte, a lone sign, a "+", a leading
// zero, "-0", more than 10 digits, or 10 digits beyond the 32-bit range.
// A target of up to three bytes (kShort) is counted from masks alone.
template <typename Set, bool kShort>
struct CountReader {
    TargetWords words;
    ptrdiff_t ahead;  // see askAhead
    uint64_t numbers = 0, matches = 0;
    // Runs of 2 and 4 digits, and zeros that start a token, in the block
    // before, and in the block last asked of, kept once it is taken.
    uint64_t wasRun2 = 0, wasRun4 = 0, wasZeroStarts = 0;
    uint64_t nextRun2 = 0, nextRun4 = 0, nextZeroStarts = 0;

    template <bool kMinusFree>
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
            if constexpr (kMinusFree) {
                afterMinus = 0;  // read so only after a block without minus signs
                oneToNine = 0;
            } else {
                afterMinus = ~t.afterSpace & blockMask<Set>(q, [](const char* at) {
                    return Set::is(Set::load(at - 1), '-');
                });
                oneToNine = blockMask<Set>(
                    q, [](const char* at) { return Set::inRange(Set::load(at), '1', '9'); });
            }
        } else {
            afterZeroStart = behind<1>(zeroStarts, wasZeroStarts);
            afterMinus = kMinusFree ? 0 : behind<1>(t.minus, was.minus);
            oneToNine = digit & ~t.zero;
        }
        nextRun2 = run2;
        nextRun4 = run4;
        nextZeroStarts = zeroStarts;
        return t.notPlain | (digit & afterZeroStart) | (afterMinus & ~oneToNine) |
               beyondTenDigits<false>(q, run10, 0);
    }

    __attribute__((always_inline)) void take(const char* q, uint32_t, const BlockTokens& t,
                                             const Carry& was) {
        wasRun2 = nextRun2;
        wasRun4 = nextRun4;
        wasZeroStarts = nextZeroStarts;
        numbers += countOnes(t.starts);
        matchTargets(q, t.ends, t.space, was.space);
    }

    // Counts the target among the tokens that end at `ends` in the block at
    // `q`, given its white space and the block before's.
    __attribute__((always_inline)) void matchTargets(const char* q, uint64_t ends, uint64_t space,
                                                     uint64_t wasSpace) {
        // The white space before a token of the target's length: `back`
        // places before its end, reaching back into the previous block.
        const unsigned length = words.length;
        const unsigned back = length + 1;
        const auto spaceBack = [&] { return (space << back) | (wasSpace >> (64 - back)); };
        uint64_t candidates = ends;
        if constexpr (Set::kCheapCompares) {
            // Tokens of the target's length that end here, with three of its
            // bytes in place (see TargetWords): for a target of up to three
            // bytes, with white space before them, exactly its matches; for a
            // longer one, the rare tokens whose whole text settles it.
            const auto first = Set::splat(words.first);
            const auto second = Set::splat(words.second);
            const auto last = Set::splat(words.last);
            candidates &= blockMask<Set>(q, [&](const char* at) {
                return Set::both(Set::both(Set::equal(Set::load(at - 1), last),
                                           Set::equal(Set::load(at - length), first)),
                                 Set::equal(Set::load(at - words.secondBack), second));
            });
            if (kShort) {
                // Among numbers from 0 to 99, one block in five holds a
                // match, in no order a branch predictor follows: without
                // POPCNT, SSE2 counted them a tenth faster for counting the
                // first without a branch, and numbers to 999, where one
                // block in sixty holds one, 1-2.5% slower a block.
                matches += countRareOnes(candidates & spaceBack());
                return;
            }
            if (candidates != 0) {
                // Rare enough to be looked at apart, the white space before too.
                matches += matchesApart(q, candidates & spaceBack(), words);
            }
        } else {
            matches += matchesAmong(q, candidates & spaceBack(), words);
        }
    }

    void dropOpenToken() { numbers -= 1; }

    // Counts the whole blocks of [p, p + whole) from the first while each
    // holds only digits, newlines and minus signs, as most files do, and no
    // token that is not canonical; the first block's `front` bytes, before
    // the window, are read as newlines. Such a block is taken as the block
    // loop would take it, but with no white space to look for and fewer masks
    // to carry, its tokens counted at their ends. Returns the offset of the
    // first block it did not take, where the block loop goes on with `was`
    // and the reader's own masks (a token open there has been counted), and
    // adds the newlines before it to `lines`.
    __attribute__((always_inline)) size_t takePlainBlocks(const char* p, size_t whole,
                                                          unsigned front, uint64_t& lines,
                                                          Carry& was) {
        PlainCarry carry;
        uint64_t tokens = 0, newlines = 0;
        uint64_t wasRun3 = 0, wasRun6 = 0, wasLongStarts = 0, wasHigh21 = 0, wasTwoToNine = 0;
        // Takes the block at `q`, whose bytes in `outside` lie before the window.
        const auto takeBlock = [&](const char* q, uint64_t outside, auto at)
            __attribute__((always_inline)) {
            askAhead(q, ahead);
            // The carries change only where the block is taken: one that a
            // block without minus signs could not be is taken again with them.
            PlainCarry next = carry;
            const PlainMasks m =
                plainMasksOf<Set, decltype(at)::first, decltype(at)::minusFree>(q, outside, next);
            uint64_t odd = m.odd;
            if constexpr (Set::kPlainMasks) {
                // Ten digits in a row whose second is one of longStarts, or
                // whose third is one of high21: eleven or more, or ten that
                // start high, each compared with the limit.
                const uint64_t run6 = m.run3 & behind<3>(m.run3, wasRun3);
                const uint64_t run10 = run6 & behind<4>(run6, wasRun6);
                const uint64_t suspects = run10 & (behind<8>(m.longStarts, wasLongStarts) |
                                                   behind<7>(m.high21, wasHigh21));
                odd |= suspects != 0 ? beyondLimitApart(q, suspects) : 0;
                wasRun3 = m.run3;
                wasRun6 = run6;
                wasLongStarts = m.longStarts;
                wasHigh21 = m.high21;
                if (odd != 0) {
                    return false;
                }
            } else {
                const uint64_t run4 = m.run2 & behind<2>(m.run2, wasRun2);
                const uint64_t run10 = run4 & behind<4>(run4, wasRun4) & behind<8>(m.run2, wasRun2);
                // Eleven digits in a row: ten after a run of two.
                odd |= beyondTenDigits<true>(q, run10, behind<9>(m.run2, wasRun2),
                                             behind<9>(m.twoToNine, wasTwoToNine));
                if (odd != 0) {
                    return false;
                }
                wasTwoToNine = m.twoToNine;
                wasRun2 = m.run2;
                wasRun4 = run4;
            }
            const uint64_t blockLines = countOnes(m.newline & ~outside);
            newlines += blockLines;
            if constexpr (kOneInstructionCount) {
                tokens += countOnes(m.ends);
            } else {
                // Every newline ends a token but one right after a newline,
                // which most files never hold. (Counted apart, without POPCNT,
                // SSE2 took 2% longer on random numbers.)
                const uint64_t repeated = m.newline & ~outside & ~m.ends;
                tokens += blockLines - countFewOnes(repeated);
            }
            matchTargets(q, m.ends, m.newline, carry.newline);
            carry = next;
            carry.newline = m.newline;
            return true;
        };
        const char* q = p;
        if constexpr (Set::kPlainMasks) {
            if (whole != 0 && takeBlock(p, bitsBelow(front), PlainBlockAt<true>{})) {
                // The first block on its own, so that the others need no mask.
                for (q = p + 64; q != p + whole && takeBlock(q, 0, PlainBlockAt<false>{});
                     q += 64) {
                }
            }
        } else if (whole != 0 && takeBlock(p, bitsBelow(front), PlainBlockAt<true>{})) {
            const char* const end = p + whole;
            // Most files hold no minus sign: as the block loop does, after a
            // first block without one, blocks are taken without looking for
            // one, up to the first that holds one, taken again with the minus
            // signs' masks, as are the rest. (SSE2 and the portable set
            // counted short lines a fifth and a tenth faster so.)
            const bool minusFree = carry.minus == 0;
            q = p + 64;
            while (minusFree && q != end && takeBlock(q, 0, PlainBlockAt<false, true>{})) {
                q += 64;
            }
            while (q != end && takeBlock(q, 0, PlainBlockAt<false>{})) {
                q += 64;
            }
        }
        const auto base = static_cast<size_t>(q - p);
        numbers += tokens;
        lines += newlines;
        if (base != 0) {
            handOver(p + base, base == 64 ? bitsBelow(front) : 0, carry.newline, was);
        }
        return base;
    }

  private:
    // What the block loop carries from the last plain block taken, which ends
    // before `end` and whose bytes in `outside` lie before the window: its
    // white space (its newlines, `newline`), its digits and minus signs, and
    // its zeros that start a token, which it looks at one or two bytes back
    // only (so the zeros' first bit, which would need the block before, is
    // left out). A token open at its end, which the block loop counts at no
    // start, is counted here.
    void handOver(const char* end, uint64_t outside, uint64_t newline, Carry& was) {
        const BlockClasses last = classesOf<Set>(end - 64);
        was.space = newline;
        was.digit = last.digit & ~outside;
        was.minus = last.minus & ~outside;
        wasZeroStarts = last.zero & ~outside & (newline | last.minus) << 1;
        wasRun2 = was.digit & was.digit << 1;
        wasRun4 = wasRun2 & wasRun2 << 2;
        numbers += ~newline >> 63;
    }

    // Of the ten digits that end at each bit of `run10`, those that are part
    // of a longer run or lie beyond the 32-bit range. With cheap compares,
    // first narrowed to 11 digits or more, 3000000000 and up, 2200000000 and
    // up, or 2140000000 and up (one random number in five hundred), which are
    // then compared with the limit as text. The plain blocks know the runs of
    // 11 digits from their masks (kLongerKnown, `longer`); the block loop
    // compares for them, as taking the compare out of it made GCC allocate
    // AVX-512's plain blocks, in the same function, 2% slower. Without cheap
    // compares, the plain blocks narrow them by their first digit alone, from
    // the set's bit planes (`highFirst`, the ten digits that start with 2 to
    // 9).
    template <bool kLongerKnown>
    __attribute__((always_inline)) static uint64_t beyondTenDigits(const char* q, uint64_t run10,
                                                                   uint64_t longer,
                                                                   uint64_t highFirst = 0) {
        if (run10 == 0) {
            return 0;
        }
        uint64_t suspect = run10;
        if constexpr (!Set::kCheapCompares) {
            if constexpr (kLongerKnown) {
                // Ten digits after no digit that start with 0 or 1 lie
                // within the range (a leading zero is caught apart); of
                // random ten-digit numbers, one in eight starts higher.
                // Looked at one by one, every ten-digit number cost the
                // portable count a quarter of its time, most of it in the
                // loop's mispredicted exits. (From the planes, where a
                // compare of each word took it before, the portable count
                // of random numbers took 8% less time, that of numbers
                // below 1000, which never reach it, 5% more.)
                static_assert(Set::kBitPlanes, "highFirst comes from bit planes");
                return beyondLimitMostlyOne(q, suspect & (longer | highFirst));
            }
            return beyondLimitAmong(q, suspect);
        } else {
            suspect &= longer | blockMask<Set>(q, [](const char* at) {
                           const auto first = Set::load(at - 9);
                           const auto second = Set::load(at - 8);
                           const auto high = Set::either(
                               above(first, '2'),
                               Set::both(Set::is(first, '2'),
                                         Set::either(above(second, '1'),
                                                     Set::both(Set::is(second, '1'),
                                                               above(Set::load(at - 7), '3')))));
                           if constexpr (kLongerKnown) {
                               return high;
                           } else {
                               return Set::either(Set::inRange(Set::load(at - 10), '0', '9'), high);
                           }
                       });
            return suspect != 0 ? beyondLimitApart(q, suspect) : 0;
        }
    }
    // Of the ten digits that end at each bit of `suspect`, those that are
    // part of a longer run or lie beyond the 32-bit range.
    __attribute__((always_inline)) static uint64_t beyondLimitAmong(const char* q,
                                                                    uint64_t suspect) {
        uint64_t bad = 0;
        for (; suspect != 0; suspect &= suspect - 1) {
            const unsigned at = firstOne(suspect);
            bad |= beyondLimitAt(q, at) << at;
        }
        return bad;
    }
    // Whether the ten digits that end at byte `at` of the block at `q` are
    // part of a longer run or lie beyond the 32-bit range, as 1 or 0.
    __attribute__((always_inline)) static uint64_t beyondLimitAt(const char* q, unsigned at) {
        const char* digits = q + at - 9;
        const auto before = static_cast<unsigned>(static_cast<unsigned char>(digits[-1]));
        return static_cast<uint64_t>(before - '0' < 10) | beyondLimit(digits, before == '-');
    }
    // The same where a block mostly holds one suspect or none: the first is
    // looked at without a branch (bit 63 stands in for none), the rest apart.
    __attribute__((always_inline)) static uint64_t beyondLimitMostlyOne(const char* q,
                                                                        uint64_t suspect) {
        const unsigned at = firstOne(suspect | uint64_t{1} << 63);
        const uint64_t first = beyondLimitAt(q, at) << at & suspect;
        suspect &= suspect - 1;
        return first | (suspect != 0 ? beyondLimitApart(q, suspect) : 0);
    }
    // The same for the few suspects that compares leave, out of the block
    // loop, whose registers it would otherwise take.
    __attribute__((noinline)) static uint64_t beyondLimitApart(const char* q, uint64_t suspect) {
        return beyondLimitAmong(q, suspect);
    }
    // How many of the tokens that end at each bit of `ends` are the target.
    __attribute__((always_inline)) static uint64_t matchesAmong(const char* q, uint64_t ends,
                                                                const TargetWords& words) {
        uint64_t found = 0;
        for (; ends != 0; ends &= ends - 1) {
            found += isTarget(q + firstOne(ends), words);
        }
        return found;
    }
    __attribute__((noinline)) static uint64_t matchesApart(const char* q, uint64_t ends,
                                                           const TargetWords& words) {
        return matchesAmong(q, ends, words);
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
                                           ptrdiff_t ahead, Tally& tally, uint64_t& newlines) {
    // One loop for each kind of target, so that no block asks which.
    const auto read = [&](auto reader) __attribute__((always_inline)) {
        uint64_t plainLines = 0;
        Carry was;
        size_t from = 0, front = 0;  // the bytes of the first line before the window
        if constexpr (kPlainFirst) {
            front = reinterpret_cast<uintptr_t>(p) & 63;
            // A plain block's masks may look two bytes back: a window that
            // starts on a line's last byte starts its blocks there, so that
            // no block after the first reaches before the window.
            front = front == 63 ? 0 : front;
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
    if constexpr (kPlainFirst) {
        // Inlined or not as GCC sees fit: forced in, its registers for the
        // plain blocks cost SSE2 2% more instructions a block. After the
        // byte machine's tokens, where windows are a few blocks long, a call
        // for each made the count of signs and zeros up to 13% slower.
        const auto readApart = [&](auto reader) { return read(reader); };
        return words.length <= 3 ? readApart(CountReader<Set, true>{words, ahead})
                                 : readApart(CountReader<Set, false>{words, ahead});
    } else {
        return words.length <= 3 ? read(CountReader<Set, true>{words, ahead})
                                 : read(CountReader<Set, false>{words, ahead});
    }
}

template <typename Set>
size_t countWindow(const char* p, size_t size, const CountTarget& target, ptrdiff_t ahead,
                   Tally& tally, uint64_t& newlines) {
    return isSpace(static_cast<unsigned char>(p[-1]))
               ? countWith<Set, true>(p, size, target, ahead, tally, newlines)
               : countWith<Set, false>(p, size, target, ahead, tally, newlines);
}

}  // namespace
}  // namespace scan
