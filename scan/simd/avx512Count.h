// The counting window written for AVX-512 alone (included by
// scan/kernel_avx512.cc after the generic kernel, whose countWindow it
// replaces there).
//
// The generic window classifies a block into eleven masks and looks ahead
// into the next block's, which on AVX-512 spends more time moving masks
// between registers than classifying. Here the tests that need a byte and
// the bytes a few places before it are made by comparing loads at those
// offsets, in vector registers; only the masks that runs of digits and token
// boundaries need reach the general registers, and every test looks back,
// so a block needs nothing of the next one.
#pragma once

#include <immintrin.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "scan/generic/kernel.h"

namespace scan {
namespace {

// Bit i of the result is bit i - k of the 128-bit pair (x:previous), 0 < k <
// 64: for each byte, the bit of the byte k places before it, reaching back
// into the previous block. Written on a 128-bit pair, it is one double-width
// shift (shld or shrd).
__extension__ typedef unsigned __int128 Pair;
inline uint64_t behind(uint64_t x, uint64_t previous, unsigned k) {
    return static_cast<uint64_t>((static_cast<Pair>(x) << 64 | previous) >> (64 - k));
}

// Whether ten digits that start with "21" lie beyond 2147483647, or
// 2147483648 after a minus: their last eight, as a number whose order is
// their text's, against "47483647" or "47483648".
inline uint64_t beyondTwentyOne(const char* digits) {
    uint64_t lastEight;
    memcpy(&lastEight, digits + 2, 8);
    const uint64_t limit = 0x3437343833363437 + (digits[-1] == '-');
    return __builtin_bswap64(lastEight) > limit;
}

inline __m512i loadAt(const char* p) {
    return _mm512_loadu_si512(p);
}

// White space by its low four bits, in each 16-byte lane.
#define NEEDLE_SPACE_LANE ' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0
alignas(64) constexpr char kSpaceTable[64] = {NEEDLE_SPACE_LANE, NEEDLE_SPACE_LANE,
                                              NEEDLE_SPACE_LANE, NEEDLE_SPACE_LANE};
#undef NEEDLE_SPACE_LANE

// What a block leaves for the next: the masks that tests reaching back into
// it need. Before the window there is only white space.
struct Carry {
    uint64_t space = ~uint64_t{0}, digit = 0, run2 = 0, run4 = 0;
};

// What the blocks of a window add up.
struct Sums {
    uint64_t numbers = 0, matches = 0;
    uint64_t unplain = 0;  // bits of anything the window's fast path does not take
    __m512i lines = _mm512_setzero_si512();  // newlines, per byte position
};

// The target's bytes, as the blocks compare with them.
struct TargetVectors {
    __m512i first, second, last;
    const char* text;
    __m128i whole;
    __mmask16 wholeBits;
    unsigned length, secondAt;
};

// Counts the tokens that end in the block of `bytes` at `q`, into `sums`.
// `judged` marks the bytes that the tests comparing a byte with the one before
// it may look at: not bit 0 in a window's first block, whose byte before lies
// outside the window, where only white space counts; not those past the end
// in its last, where `bytes` is white space but the memory before may not be.
__attribute__((always_inline)) inline void countBlock(const char* q, __m512i bytes, uint64_t judged,
                                                      Carry& was, Sums& sums,
                                                      const TargetVectors& target) {
    const __m512i fromZero = _mm512_sub_epi8(bytes, _mm512_set1_epi8('0'));
    const __m512i before = loadAt(q - 1);
    const __mmask64 digitMask = _mm512_cmplt_epu8_mask(fromZero, _mm512_set1_epi8(10));
    const uint64_t digit = digitMask;
    const uint64_t space =
        _mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(loadAt(kSpaceTable), bytes), bytes);
    const uint64_t minusSign = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('-'));
    // A digit after a "0", and anything but 1 to 9 after a "-".
    const uint64_t afterZero =
        _mm512_mask_cmpeq_epi8_mask(digitMask & judged, before, _mm512_set1_epi8('0'));
    const __mmask64 notOneToNine =
        _mm512_cmpge_epu8_mask(_mm512_sub_epi8(fromZero, _mm512_set1_epi8(1)), _mm512_set1_epi8(9));
    const uint64_t afterMinus =
        _mm512_mask_cmpeq_epi8_mask(notOneToNine & judged, before, _mm512_set1_epi8('-'));
    sums.lines =
        _mm512_mask_sub_epi8(sums.lines, _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\n')),
                             sums.lines, _mm512_set1_epi8(-1));

    const uint64_t afterSpace = behind(space, was.space, 1);
    const uint64_t starts = ~space & afterSpace;
    const uint64_t ends = space & ~afterSpace;  // the white space right after a token
    // Runs of digits: bit i is set when the n bytes up to byte i are digits.
    const uint64_t run2 = digit & behind(digit, was.digit, 1);
    const uint64_t run4 = run2 & behind(run2, was.run2, 2);
    const uint64_t run8 = run4 & behind(run4, was.run4, 4);
    const uint64_t run10 = run8 & behind(run2, was.run2, 8);
    sums.unplain |= ~(space | digit | minusSign) |               // unusual byte or "+"
                    (minusSign & ~starts) |                      // sign inside a token
                    afterMinus |                                 // lone sign, or "-0"
                    (afterZero & ~behind(digit, was.digit, 2));  // leading zero
    sums.numbers += countOnes(starts);
    const uint64_t spaceBefore = was.space;
    was.space = space;
    was.digit = digit;
    was.run2 = run2;
    was.run4 = run4;

    // Ten digits end where run10 is set; their first digits are 9 bytes back.
    if (run10 != 0) {
        const __m512i firsts = loadAt(q - 9);
        const __m512i seconds = loadAt(q - 8);
        const __m512i two = _mm512_set1_epi8('2');
        const __m512i one = _mm512_set1_epi8('1');
        const __mmask64 twoFirst = _mm512_mask_cmpeq_epi8_mask(run10, firsts, two);
        // 11 digits or more, 3000000000 and up, 2200000000 and up.
        sums.unplain |= _mm512_mask_cmplt_epu8_mask(
                            run10, _mm512_sub_epi8(loadAt(q - 10), _mm512_set1_epi8('0')),
                            _mm512_set1_epi8(10)) |
                        _mm512_mask_cmpgt_epu8_mask(run10, firsts, two) |
                        _mm512_mask_cmpgt_epu8_mask(twoFirst, seconds, one);
        // 2100000000 and up, one random number in fifty: compare with the
        // limit as text.
        uint64_t beyond = 0;
        for (uint64_t t = _mm512_mask_cmpeq_epi8_mask(twoFirst, seconds, one); t != 0; t &= t - 1) {
            beyond |= beyondTwentyOne(q + firstOne(t) - 9);
        }
        sums.unplain |= beyond;
    }

    // Tokens that end here with the target's first, second and last bytes
    // at their places; the whole text and the white space before settle it.
    __mmask64 hits = _mm512_mask_cmpeq_epi8_mask(ends, before, target.last);
    hits = _mm512_mask_cmpeq_epi8_mask(hits, loadAt(q - target.length), target.first);
    hits = _mm512_mask_cmpeq_epi8_mask(hits, loadAt(q - target.length + target.secondAt),
                                       target.second);
    for (uint64_t h = hits; h != 0; h &= h - 1) {
        const unsigned at = firstOne(h);
        const char* token = q + at - target.length;
        const __mmask16 same = _mm_cmpeq_epi8_mask(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(token)), target.whole);
        // The byte before the token, as a bit of the pair (space:spaceBefore).
        const unsigned bit = at + 63 - target.length;
        const uint64_t spaceAhead = bit >= 64 ? space >> (bit - 64) : spaceBefore >> bit;
        sums.matches += (same & target.wholeBits) == target.wholeBits && (spaceAhead & 1) != 0;
    }
}

// The same contract as the generic countWindow, and reads no further. A token
// is judged at its last digit, or at the white space right after it.
__attribute__((noinline)) bool countWindowAvx512(const char* p, size_t size,
                                                 const CountTarget& target, Tally& tally,
                                                 uint64_t& newlines) {
    const unsigned length = target.length;
    // A one-byte target has no second byte: its first is tested twice.
    const unsigned secondAt = length >= 2 ? 1 : 0;
    const TargetVectors vectors{_mm512_set1_epi8(target.text[0]),
                                _mm512_set1_epi8(target.text[secondAt]),
                                _mm512_set1_epi8(target.text[length - 1]),
                                target.text,
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(target.text)),
                                static_cast<__mmask16>((1u << length) - 1),
                                length,
                                secondAt};
    // Newlines are counted per byte position: a window has fewer than 256
    // blocks, so no counter overflows.
    static_assert(kWindow / 64 < 256, "a byte counter per window");
    Carry was;
    Sums sums;
    uint64_t fresh = ~uint64_t{1};
    size_t base = 0;
    for (; base + 64 <= size; base += 64) {
        countBlock(p + base, loadAt(p + base), fresh, was, sums, vectors);
        fresh = ~uint64_t{0};
    }
    if (base < size) {
        // The last bytes, and white space after them.
        const uint64_t valid = validBits(size, static_cast<uint32_t>(base));
        const __m512i tail = _mm512_mask_loadu_epi8(_mm512_set1_epi8(' '), valid, p + base);
        countBlock(p + base, tail, fresh & valid, was, sums, vectors);
    }
    if (sums.unplain != 0) {
        return false;
    }
    // Sum the per-byte counters: sums of eight bytes, then of those.
    alignas(64) uint64_t eights[8];
    _mm512_store_si512(eights, _mm512_sad_epu8(sums.lines, _mm512_setzero_si512()));
    newlines = eights[0] + eights[1] + eights[2] + eights[3] + eights[4] + eights[5] + eights[6] +
               eights[7];
    tally.numbers += static_cast<int64_t>(sums.numbers);
    tally.matches += static_cast<int64_t>(sums.matches);
    return true;
}

}  // namespace
}  // namespace scan
