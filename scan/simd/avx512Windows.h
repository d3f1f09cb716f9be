// The count's window written for AVX-512 alone (included by
// scan/kernel_avx512.cc after the generic kernel, whose count window it
// replaces there; the load uses the generic window).
//
// The look-back check of a block that the generic count makes
// (scan/generic/countWindow.h), in AVX-512's own terms: tests of a byte
// against the bytes before it are masked compares, so each narrows the last
// instead of being joined after it, and newlines are tallied per byte in a
// vector. Leading zeros and what follows a minus are found by a load one
// byte back rather than carried masks. The generic window compiled for
// AVX-512 ran at 0.89 of this one's speed on a Zen 4 machine, and taking
// this one's masked compares, newline tally or load one byte back into it
// did not close the gap.
#pragma once

#include <immintrin.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "scan/generic/kernel.h"

namespace scan {
namespace {

inline __m512i loadAt(const char* p) {
    return _mm512_loadu_si512(p);
}

// The target's bytes, as the blocks compare with them.
struct TargetVectors {
    __m512i first, second, last;
    __m128i whole;
    __mmask16 wholeBits;
    unsigned length, secondAt;
};

// What the checks of a block find where tokens are.
struct BlockMasks {
    uint64_t space;        // white space
    uint64_t spaceBefore;  // the previous block's white space
    uint64_t starts;       // the first byte of each token
    uint64_t ends;         // the white space right after each token
};

// Checks that every token ending in the block of `bytes` at `q` is a
// canonical 32-bit number (in the range, no leading zeros, no "-0"), setting
// bits of `unplain` where one is not, and counts its newlines into `lines`.
// `judged` marks the bytes that the tests comparing a byte with the one
// before it may look at: not bit 0 in a window's first block, whose byte
// before lies outside the window, where only white space counts; not those
// past the end in its last, where `bytes` is white space but the memory
// before may not be.
__attribute__((always_inline)) inline BlockMasks checkBlock(const char* q, __m512i bytes,
                                                            uint64_t judged,
                                                            lookBack::LookBackCarry& was,
                                                            uint64_t& unplain, __m512i& lines) {
    const __m512i fromZero = _mm512_sub_epi8(bytes, _mm512_set1_epi8('0'));
    const __mmask64 digitMask = _mm512_cmplt_epu8_mask(fromZero, _mm512_set1_epi8(10));
    const uint64_t digit = digitMask;
    const uint64_t space = whiteSpace(bytes);
    const uint64_t minusSign = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('-'));
    // A leading zero (a digit after a "0" that starts a token), and anything
    // but 1 to 9 after a "-".
    const __m512i before = loadAt(q - 1);
    const uint64_t afterZero =
        _mm512_mask_cmpeq_epi8_mask(digitMask & judged, before, _mm512_set1_epi8('0'));
    const uint64_t leadingZero = afterZero & ~lookBack::behind<2>(digit, was.digit);
    const __mmask64 notOneToNine =
        _mm512_cmpge_epu8_mask(_mm512_sub_epi8(fromZero, _mm512_set1_epi8(1)), _mm512_set1_epi8(9));
    const uint64_t afterMinus =
        _mm512_mask_cmpeq_epi8_mask(notOneToNine & judged, before, _mm512_set1_epi8('-'));
    lines = _mm512_mask_sub_epi8(lines, _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\n')),
                                 lines, _mm512_set1_epi8(-1));

    const uint64_t afterSpace = lookBack::behind<1>(space, was.space);
    const uint64_t starts = ~space & afterSpace;
    // Runs of digits: bit i is set when the n bytes up to byte i are digits.
    const uint64_t run2 = digit & lookBack::behind<1>(digit, was.digit);
    const uint64_t run4 = run2 & lookBack::behind<2>(run2, was.run2);
    const uint64_t run8 = run4 & lookBack::behind<4>(run4, was.run4);
    const uint64_t run10 = run8 & lookBack::behind<8>(run2, was.run2);
    unplain |= ~(space | digit | minusSign) |  // unusual byte or "+"
               (minusSign & ~starts) |         // sign inside a token
               afterMinus |                    // a lone sign, or "-0"
               leadingZero;
    const BlockMasks masks{space, was.space, starts, space & ~afterSpace};
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
        unplain |= _mm512_mask_cmplt_epu8_mask(
                       run10, _mm512_sub_epi8(loadAt(q - 10), _mm512_set1_epi8('0')),
                       _mm512_set1_epi8(10)) |
                   _mm512_mask_cmpgt_epu8_mask(run10, firsts, two) |
                   _mm512_mask_cmpgt_epu8_mask(twoFirst, seconds, one);
        // 2150000000 and up; 2140000000 and up, one random number in five
        // hundred, are compared with the limit as text. (Taking the whole
        // text of 21xxxxxxxx numbers mispredicted in one random block in
        // eight, and cost a fifth of the count's time.)
        const __mmask64 twentyOne = _mm512_mask_cmpeq_epi8_mask(twoFirst, seconds, one);
        const __m512i thirds = loadAt(q - 7);
        const __m512i four = _mm512_set1_epi8('4');
        unplain |= _mm512_mask_cmpgt_epu8_mask(twentyOne, thirds, four);
        for (uint64_t t = _mm512_mask_cmpeq_epi8_mask(twentyOne, thirds, four); t != 0;
             t &= t - 1) {
            const char* digits = q + firstOne(t) - 9;
            unplain |= beyondLimit(digits, digits[-1] == '-');
        }
    }
    return masks;
}

// The sum of a window's per-byte newline counters.
inline uint64_t sumLines(__m512i lines) {
    alignas(64) uint64_t eights[8];
    _mm512_store_si512(eights, _mm512_sad_epu8(lines, _mm512_setzero_si512()));
    return eights[0] + eights[1] + eights[2] + eights[3] + eights[4] + eights[5] + eights[6] +
           eights[7];
}

// Newlines are counted per byte position: a window has fewer than 256
// blocks, so no counter overflows.
static_assert(kWindow / 64 < 256, "a byte counter per window");

// Counts, from the masks `m` of the block at `q`, the tokens that start in it
// into `numbers`, and those that end in it equal to the target into
// `matches`.
__attribute__((always_inline)) inline void countBlock(const char* q, const BlockMasks& m,
                                                      const TargetVectors& target,
                                                      uint64_t& numbers, uint64_t& matches) {
    numbers += countOnes(m.starts);
    // Tokens of the target's length that end here, with its first, second
    // and last bytes at their places: for a target of up to three bytes,
    // exactly its matches; for a longer one, the rare tokens whose whole
    // text settles it.
    __mmask64 hits = _mm512_mask_cmpeq_epi8_mask(m.ends, loadAt(q - 1), target.last);
    hits = _mm512_mask_cmpeq_epi8_mask(hits, loadAt(q - target.length), target.first);
    hits = _mm512_mask_cmpeq_epi8_mask(hits, loadAt(q - target.length + target.secondAt),
                                       target.second);
    // The white space before a token: bit `back` places before its end in
    // the pair (space:spaceBefore).
    const unsigned back = target.length + 1;
    if (target.length <= 3) {
        matches += countOnes(hits & ((m.space << back) | (m.spaceBefore >> (64 - back))));
        return;
    }
    for (uint64_t h = hits; h != 0; h &= h - 1) {
        const unsigned end = firstOne(h);
        const char* token = q + end - target.length;
        const __mmask16 same = _mm_cmpeq_epi8_mask(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(token)), target.whole);
        const unsigned bit = end + 64 - back;
        const uint64_t spaceAhead = bit >= 64 ? m.space >> (bit - 64) : m.spaceBefore >> bit;
        matches += (same & target.wholeBits) == target.wholeBits && (spaceAhead & 1) != 0;
    }
}

// The same contract as the generic countWindowLookBack, and reads no further. A token
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
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(target.text)),
                                static_cast<__mmask16>((1u << length) - 1),
                                length,
                                secondAt};
    lookBack::LookBackCarry was;
    uint64_t unplain = 0, numbers = 0, matches = 0;
    __m512i lines = _mm512_setzero_si512();
    // Past the window's end, the block is read as white space.
    uint64_t judged = ~uint64_t{1};
    lookBack::eachBlock(
        size,
        [&](uint32_t base, uint64_t valid) __attribute__((always_inline)) {
            const char* q = p + base;
            const __m512i bytes = valid == ~uint64_t{0}
                                      ? loadAt(q)
                                      : _mm512_mask_loadu_epi8(_mm512_set1_epi8(' '), valid, q);
            const BlockMasks masks = checkBlock(q, bytes, judged & valid, was, unplain, lines);
            countBlock(q, masks, vectors, numbers, matches);
            judged = ~uint64_t{0};
        },
        [&] { return unplain == 0; });
    if (unplain != 0) {
        return false;
    }
    newlines = sumLines(lines);
    tally.numbers += static_cast<int64_t>(numbers);
    tally.matches += static_cast<int64_t>(matches);
    return true;
}

}  // namespace
}  // namespace scan
