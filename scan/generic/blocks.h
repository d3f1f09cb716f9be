// The block loop that the count's and the load's windows share, written once
// against the vector surface (scan/simd/surface.h): a window is read 64
// bytes at a time, each block's bytes sorted into masks (bit i for byte i)
// and its tokens found by tests that look back, never ahead, so that a block
// needs a few masks carried from the one before and nothing of the next.
// Each block's tokens go to the window's reader, up to the first token the
// reader cannot take: there the window stops, and the driver hands that token
// to the byte machine.
//
// In outline (readBlocks):
//
//   carry = white space before the window
//   for each block of 64 bytes:
//       t = tokensOf(block, carry)            masks: digits, minus, newline,
//                                             white space, token starts, ends
//       unusual = reader.unusual(block, t)    bytes that show a token the
//       if unusual:                           reader cannot take
//           take the block up to that token's start; stop there
//       reader.take(block, t)                 count, or index and convert
//       lines += newlines of the block
//       carry = this block's masks
//   return where the window stopped
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "scan/machine.h"

namespace scan {
namespace {

inline unsigned firstOne(uint64_t mask) {
    return static_cast<unsigned>(__builtin_ctzll(mask));
}
inline uint64_t countOnes(uint64_t mask) {
#if defined(__x86_64__) && !defined(__POPCNT__)
    // Without POPCNT (the SSE2 and portable kernels), GCC calls a library
    // routine; summed in place, in pairs, fours and eights, the SSE2 count
    // ran 5% faster. (With POPCNT it ran 17% faster, but processors of
    // before 2008 lack it, and SSE2 is the kernel that runs on every one.)
    mask -= (mask >> 1) & 0x5555555555555555;
    mask = (mask & 0x3333333333333333) + ((mask >> 2) & 0x3333333333333333);
    mask = (mask + (mask >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return (mask * 0x0101010101010101) >> 56;
#else
    return static_cast<uint64_t>(__builtin_popcountll(mask));
#endif
}
// Whether countOnes is known to be one instruction (x86-64's POPCNT). Where
// it is not, the count calls it only where a block needs it.
#if defined(__POPCNT__)
constexpr bool kOneInstructionCount = true;
#else
constexpr bool kOneInstructionCount = false;
#endif
// countOnes of a mask that is mostly empty: without POPCNT, an empty one is
// not counted, behind a branch that most blocks predict.
inline uint64_t countFewOnes(uint64_t mask) {
    return kOneInstructionCount || mask != 0 ? countOnes(mask) : 0;
}
// countOnes of a mask that mostly holds one bit or none, the two in no
// order a branch predictor follows: without POPCNT, its first bit is counted
// without a branch, and only the others behind one.
inline uint64_t countRareOnes(uint64_t mask) {
    if (kOneInstructionCount) {
        return countOnes(mask);
    }
    const uint64_t rest = mask & (mask - 1);
    return static_cast<uint64_t>(mask != 0) + (rest != 0 ? countOnes(rest) : 0);
}
// Has the memory bring the line `ahead` bytes past the block at `q` into the
// cache, to be read a chunk later (see scan/kernel.h): with the hint of the
// second-level cache (x86-64's prefetcht1), as the first would only lose it
// to the window's own lines before then. The address is reckoned as a
// number, since it lies outside the window.
inline void askAhead(const char* q, ptrdiff_t ahead) {
    const uintptr_t line = reinterpret_cast<uintptr_t>(q) + static_cast<uintptr_t>(ahead);
    __builtin_prefetch(reinterpret_cast<const void*>(line), 0, 2);
}
// The bits below bit n, 0 <= n < 64.
inline uint64_t bitsBelow(unsigned n) {
    return (uint64_t{1} << n) - 1;
}
// Bit i of the result is bit i - k of the 128-bit pair (x:previous), 0 < k <
// 64: for each byte, the bit of the byte k places before it, reaching back
// into the previous block.
template <unsigned k>
inline uint64_t behind(uint64_t x, uint64_t previous) {
    return (x << k) | (previous >> (64 - k));
}

// The 64-bit mask of a test of the block at `q`: `test(at)` compares the
// bytes of the vector at `at`, and may load those a few places before them,
// so that byte i of each load belongs to the same place. Tests are joined in
// vector registers before their one blockBitsOf: on every instruction set
// but AVX-512 it is gathering the bits that costs.
template <typename Set, typename Test>
__attribute__((always_inline)) inline uint64_t blockMask(const char* q, Test test) {
    decltype(test(q)) compares[64 / Set::kVecBytes];
    for (unsigned k = 0; k < 64 / Set::kVecBytes; ++k) {
        compares[k] = test(q + k * Set::kVecBytes);
    }
    return Set::blockBitsOf(compares);
}

// What a block leaves for the next: the masks that tests reaching back into
// it need (before the window there is only white space), and whether the
// window's white space has been newlines alone so far (see tokensOf).
struct Carry {
    uint64_t space = ~uint64_t{0}, digit = 0, minus = 0;
    bool newlinesOnly = true;
};

// A block as both readers first see it: its masks within the window (past
// the window's end every byte counts as white space), the first byte of each
// token and the white space right after each one, and the bytes that no
// plain token holds (see scan/kernel.h): an unusual byte or "+", and a minus
// inside a token.
struct BlockTokens {
    uint64_t space, digit, minus, zero, newline, afterSpace, starts, ends, notPlain;
};

// A block's digits, minus signs, newlines and zeros, and, from bit planes
// only (where each costs a few operations more), its white space and its
// digits from 2 to 9. Each vector is loaded once and given all its tests
// before the next: mask by mask, with every vector loaded for each, the SSE2
// load ran 4% slower.
struct BlockClasses {
    uint64_t digit, minus, newline, zero, space, twoToNine;
};
// Without kMinus, the minus signs are not looked for: `minus` is 0.
template <typename Set, bool kMinus = true>
__attribute__((always_inline)) inline BlockClasses classesOf(const char* q) {
    if constexpr (Set::kBitPlanes) {
        const auto planes = Set::planesOf(q);
        const uint64_t* bit = planes.bit;
        // Digits are 0011 0xxx and 0011 100x; white space 0010 0000 and, from
        // 9 to 13, 0000 1001 to 0000 1101.
        const uint64_t digitHigh = ~bit[7] & ~bit[6] & bit[5] & bit[4];
        const uint64_t controlHigh = ~(bit[7] | bit[6] | bit[5] | bit[4]);
        const uint64_t nineToThirteen =
            controlHigh & bit[3] & ((bit[2] & ~bit[1]) | (~bit[2] & (bit[1] | bit[0])));
        const uint64_t digit = digitHigh & (~bit[3] | (~bit[2] & ~bit[1]));
        return {Set::inOrder(digit),
                kMinus ? Set::inOrder(planes.is('-')) : 0,
                Set::inOrder(planes.is('\n')),
                Set::inOrder(planes.is('0')),
                Set::inOrder(nineToThirteen | planes.is(' ')),
                Set::inOrder(digit & (bit[3] | bit[2] | bit[1]))};
    } else {
        using Compare = decltype(Set::is(Set::load(q), '0'));
        constexpr unsigned kVectors = 64 / Set::kVecBytes;
        Compare digit[kVectors], minus[kVectors], newline[kVectors], zero[kVectors];
        for (unsigned k = 0; k < kVectors; ++k) {
            const auto bytes = Set::load(q + k * Set::kVecBytes);
            digit[k] = Set::inRange(bytes, '0', '9');
            if constexpr (kMinus) {
                minus[k] = Set::is(bytes, '-');
            }
            newline[k] = Set::is(bytes, '\n');
            zero[k] = Set::is(bytes, '0');
        }
        return BlockClasses{Set::blockBitsOf(digit),
                            kMinus ? Set::blockBitsOf(minus) : 0,
                            Set::blockBitsOf(newline),
                            Set::blockBitsOf(zero),
                            0,
                            0};
    }
}

// Most files separate their numbers by newlines alone, and there a block's
// white space is its newlines, which are counted anyway: where the set's
// whiteSpace() is costly, it is tested only once a block holds a byte that is
// neither a newline, a digit nor a minus, and for the rest of the window
// after it. SSE2 counts and loads a few percent faster for it (the portable
// set, which ran a sixth faster so, now takes white space from its bit
// planes). Whatever the guess misses is no plain token, and stops the
// window, never misreads it. Without kMinus, minus signs are not looked for:
// a minus is then an unusual byte, and the block is read again with them.
template <typename Set, bool kMinus = true>
__attribute__((always_inline)) inline BlockTokens tokensOf(const char* q, uint64_t valid,
                                                           Carry& was) {
    const BlockClasses c = classesOf<Set, kMinus>(q);
    BlockTokens t;
    t.digit = c.digit & valid;
    t.minus = c.minus & valid;
    t.zero = c.zero;
    t.newline = c.newline & valid;
    t.space = t.newline | ~valid;
    if constexpr (Set::kBitPlanes) {
        t.space = c.space | ~valid;
    } else if (!Set::kCostlyWhiteSpace || !was.newlinesOnly ||
               (t.space | t.digit | t.minus) != ~uint64_t{0}) {
        if constexpr (kMinus) {
            // (Without, the byte may be a minus: the block read again says.)
            was.newlinesOnly = false;
        }
        t.space = blockMask<Set>(q, [](const char* at) { return Set::whiteSpace(Set::load(at)); }) |
                  ~valid;
    }
    t.afterSpace = behind<1>(t.space, was.space);
    t.starts = ~t.space & t.afterSpace;
    t.ends = t.space & ~t.afterSpace;
    t.notPlain = ~(t.space | t.digit | t.minus) | (t.minus & ~t.starts);
    return t;
}

// Whether a block is read without minus signs (see readBlocks), as a type.
template <bool kWithout>
struct WithoutMinus {
    static constexpr bool kValue = kWithout;
};

// Where the token that holds byte `at` of the text at `p` starts: after the
// white space before it, or at `p`.
inline size_t startOfTokenAt(const char* p, size_t at) {
    while (at > 0 && !isSpace(static_cast<unsigned char>(p[at - 1]))) {
        --at;
    }
    return at;
}

// Reads the window [p, p + size), which ends in white space, block by block
// with `reader`, up to the first token that the reader cannot take. Returns
// that token's offset, or `size`, and counts the newlines before it into
// `newlines`. Reads up to 64 bytes past the window, and 16 before it.
//
// A reader has `ahead`, the distance to the line the loop asks the memory
// for at each block it takes (see askAhead), and, for each block at `q` (its
// offset `base`), given its tokens `t` and what the block before left in
// `was`:
//   unusual<kMinusFree>(q, t, was)
//                            the bytes that show a token it cannot take, each
//                            no further than one byte past that token's end
//                            (a lone sign shows at the white space after it);
//                            with kMinusFree, `t` was found without minus
//                            signs, which are then unusual bytes. It may note
//                            what its tests need of this block for the next,
//                            to keep once the block is taken: a block may be
//                            asked again, as it is, after kMinusFree
//   take(q, base, t, was)    takes the block's tokens
//   dropOpenToken()          forgets the first bytes of a token that started
//                            in an earlier block, taken before it was known
// The block that holds the first such byte is taken up to the start of its
// token, every byte from there on counting as white space, and the window
// ends there. The blocks are read from offset `base` (a multiple of 64), with
// what the blocks before it left in `was`.
//
// Most files hold no minus sign: where the first block holds none, the whole
// blocks after it are read without looking for one (no mask of minus signs
// made), up to the first that holds one, which is read again as it is, as
// are the rest.
template <typename Set, typename Reader>
__attribute__((always_inline)) inline size_t readBlocks(const char* p, size_t size, Reader& reader,
                                                        uint64_t& newlines, Carry was = {},
                                                        uint32_t base = 0) {
    uint64_t lines = 0, unusual = 0;
    const auto takeTokens = [&](const BlockTokens& t) __attribute__((always_inline)) {
        askAhead(p + base, reader.ahead);
        lines += countOnes(t.newline);
        reader.take(p + base, base, t, was);
        was.space = t.space;
        was.digit = t.digit;
        was.minus = t.minus;
    };
    // Takes the block at `base`, unless it shows a token the reader cannot
    // take. The masks of whole blocks need no bounds: the window's last
    // block, if partial, is read on its own.
    const auto take = [&](uint64_t valid, auto minusFree) __attribute__((always_inline)) {
        constexpr bool kMinusFree = decltype(minusFree)::kValue;
        const BlockTokens t = tokensOf<Set, !kMinusFree>(p + base, valid, was);
        unusual = reader.template unusual<kMinusFree>(p + base, t, was);
        if (__builtin_expect(unusual != 0, 0)) {
            return false;
        }
        takeTokens(t);
        return true;
    };
    const auto whole = static_cast<uint32_t>(size & ~size_t{63});
    bool plain = true;
    if (base < whole && (plain = take(~uint64_t{0}, WithoutMinus<false>{}))) {
        const bool minusFree = was.minus == 0;
        base += 64;
        while (minusFree && base < whole && take(~uint64_t{0}, WithoutMinus<true>{})) {
            base += 64;
        }
        while (base < whole && (plain = take(~uint64_t{0}, WithoutMinus<false>{}))) {
            base += 64;
        }
    }
    if (plain && base < size) {
        plain = take(bitsBelow(static_cast<unsigned>(size - base)), WithoutMinus<false>{});
    }
    size_t stop = size;
    if (!plain) {
        stop = startOfTokenAt(p, base + firstOne(unusual));
        if (stop < base) {
            reader.dropOpenToken();
        } else {
            // stop <= size: within the window.
            takeTokens(tokensOf<Set>(p + base, bitsBelow(static_cast<unsigned>(stop - base)), was));
        }
    }
    newlines = lines;
    return stop;
}

}  // namespace
}  // namespace scan
