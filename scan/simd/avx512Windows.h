// The windows of plain numbers written for AVX-512 alone, one that counts
// and one that converts (included by scan/kernel_avx512.cc after the generic
// kernel, whose count window and per-token conversion they replace there).
//
// The generic window classifies a block into eleven masks and looks ahead
// into the next block's, which on AVX-512 spends more time moving masks
// between registers than classifying. Here the tests that need a byte and
// the bytes a few places before it are made by comparing loads at those
// offsets, in vector registers; only the masks that runs of digits and token
// boundaries need reach the general registers, and every test looks back,
// so a block needs nothing of the next one.
//
// The value window checks a window as the count does, but leaves leading
// zeros and ranges to the conversion. It notes where each token's digits
// start and where it ends, in one index of 16-bit offsets, then converts
// eight tokens at a time, in two vectors of four: each one's 16 bytes from
// its sign in a 128-bit lane, the digits shuffled to the lane's end,
// combined by multiply-adds, and the two vectors packed into one for the
// last steps and the sign.
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
// into the previous block. One double-width shift: written in C++ on a
// 128-bit pair, GCC 12 spilled the pair to the stack around it, and the
// count ran 15% slower.
template <unsigned k>
inline uint64_t behind(uint64_t x, uint64_t previous) {
    __asm__("shldq %2, %1, %0" : "+r"(x) : "r"(previous), "i"(k));
    return x;
}

// Whether the ten digits ending at `last`, which start with "21", are
// 2147483648 or more: their last eight, as a number whose order is their
// text's, against "47483648". Only 2147483648 itself is a number, after a
// minus; the exact path takes that one.
inline uint64_t pastTheLimit(const char* last) {
    uint64_t lastEight;
    memcpy(&lastEight, last - 7, 8);
    return __builtin_bswap64(lastEight) >= 0x3437343833363438;  // "47483648"
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
    uint64_t space = ~uint64_t{0}, digit = 0, run2 = 0, run4 = 0, minus = 0;
};

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
    uint64_t digitStarts;  // the first digit of each token
};

// Checks that every token ending in the block of `bytes` at `q` is a plain
// 32-bit number, setting bits of `unplain` where one is not, and counts its
// newlines into `lines`. `asText`: as the count needs them, which compares
// tokens with the target as text: in the range, and canonical (no leading
// zeros, no "-0"). Otherwise as the load needs them, which converts them: a
// sign and digits, whose value the caller checks (a leading zero or "-0"
// converts as `>>` reads it). `judged` marks the bytes that the tests
// comparing a byte with the one before it (as text) may look at: not bit 0 in a
// window's first block, whose byte before lies outside the window, where only
// white space counts; not those past the end in its last, where `bytes` is
// white space but the memory before may not be.
template <bool asText>
__attribute__((always_inline)) inline BlockMasks checkBlock(const char* q, __m512i bytes,
                                                            uint64_t judged, Carry& was,
                                                            uint64_t& unplain, __m512i& lines) {
    const __m512i fromZero = _mm512_sub_epi8(bytes, _mm512_set1_epi8('0'));
    const __mmask64 digitMask = _mm512_cmplt_epu8_mask(fromZero, _mm512_set1_epi8(10));
    const uint64_t digit = digitMask;
    const uint64_t space =
        _mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(loadAt(kSpaceTable), bytes), bytes);
    const uint64_t minusSign = _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('-'));
    // As text: a leading zero (a digit after a "0" that starts a token), and
    // anything but 1 to 9 after a "-". To convert: anything but a digit
    // after a "-", from the masks (a compare fewer on the vector side).
    uint64_t leadingZero = 0, afterMinus = 0;
    if constexpr (asText) {
        const __m512i before = loadAt(q - 1);
        const uint64_t afterZero =
            _mm512_mask_cmpeq_epi8_mask(digitMask & judged, before, _mm512_set1_epi8('0'));
        leadingZero = afterZero & ~behind<2>(digit, was.digit);
        const __mmask64 notOneToNine = _mm512_cmpge_epu8_mask(
            _mm512_sub_epi8(fromZero, _mm512_set1_epi8(1)), _mm512_set1_epi8(9));
        afterMinus =
            _mm512_mask_cmpeq_epi8_mask(notOneToNine & judged, before, _mm512_set1_epi8('-'));
    } else {
        afterMinus = behind<1>(minusSign, was.minus) & ~digit;
        was.minus = minusSign;
    }
    lines = _mm512_mask_sub_epi8(lines, _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8('\n')),
                                 lines, _mm512_set1_epi8(-1));

    const uint64_t afterSpace = behind<1>(space, was.space);
    const uint64_t starts = ~space & afterSpace;
    // Runs of digits: bit i is set when the n bytes up to byte i are digits.
    const uint64_t run2 = digit & behind<1>(digit, was.digit);
    uint64_t run4 = 0, run10 = 0;
    if constexpr (asText) {
        run4 = run2 & behind<2>(run2, was.run2);
        const uint64_t run8 = run4 & behind<4>(run4, was.run4);
        run10 = run8 & behind<8>(run2, was.run2);
    }
    unplain |= ~(space | digit | minusSign) |  // unusual byte or "+"
               (minusSign & ~starts) |         // sign inside a token
               afterMinus |                    // a lone sign (as text, "-0" too)
               leadingZero;
    const BlockMasks masks{space, was.space, starts, space & ~afterSpace, digit & ~run2};
    was.space = space;
    was.digit = digit;
    was.run2 = run2;
    was.run4 = run4;
    if constexpr (!asText) {
        return masks;
    }

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
        uint64_t beyond = 0;
        for (uint64_t t = _mm512_mask_cmpeq_epi8_mask(twentyOne, thirds, four); t != 0;
             t &= t - 1) {
            beyond |= pastTheLimit(q + firstOne(t));
        }
        unplain |= beyond;
    }
    return masks;
}

// Runs `block` over the blocks of [p, p + size), each with its offset, its
// bytes and the bytes its tests may judge (see checkBlock); the last bytes
// are followed by white space. Stops early once `goOn` says so, which it
// asks every 16 blocks: asked at every block, the branch cost a tenth.
template <typename Block, typename GoOn>
__attribute__((always_inline)) inline void eachBlock(const char* p, size_t size, Block block,
                                                     GoOn goOn) {
    uint64_t fresh = ~uint64_t{1};
    uint32_t base = 0;
    const auto whole = static_cast<uint32_t>(size & ~size_t{63});
    while (base < whole) {
        const uint32_t stop = whole - base > 1024 ? base + 1024 : whole;
        for (; base < stop; base += 64) {
            block(base, loadAt(p + base), fresh);
            fresh = ~uint64_t{0};
        }
        if (!goOn()) {
            return;
        }
    }
    if (base < size) {
        const uint64_t valid = validBits(size, base);
        block(base, _mm512_mask_loadu_epi8(_mm512_set1_epi8(' '), valid, p + base), fresh & valid);
    }
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
    Carry was;
    uint64_t unplain = 0, numbers = 0, matches = 0;
    __m512i lines = _mm512_setzero_si512();
    eachBlock(
        p, size,
        [&](uint32_t base, __m512i bytes, uint64_t judged) {
            const BlockMasks masks = checkBlock<true>(p + base, bytes, judged, was, unplain, lines);
            countBlock(p + base, masks, vectors, numbers, matches);
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

// In each 16-byte lane, its byte's index less 15: added to a token's digit
// count, the byte of its text that each byte of the lane takes.
#define NEEDLE_PICK_LANE -15, -14, -13, -12, -11, -10, -9, -8, -7, -6, -5, -4, -3, -2, -1, 0
alignas(64) constexpr char kPick[64] = {NEEDLE_PICK_LANE, NEEDLE_PICK_LANE, NEEDLE_PICK_LANE,
                                        NEEDLE_PICK_LANE};
#undef NEEDLE_PICK_LANE
// For lane k, 8k in all its bytes: a permutation that spreads the k-th
// even one of eight 32-bit digit counts (its low byte) over lane k.
alignas(64) constexpr char kSpreadEven[64] = {
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  8,  8,  8,  8,  8,  8,
    8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16,
    16, 16, 16, 16, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24, 24};

inline __m128i load16(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Appends the positions of the set bits of `bits`, plus `base`, to `out` as
// 16-bit offsets: compressed into bytes, then widened, 32 at a time (a
// block's tokens rarely start and end more often than that).
inline void appendBounds(uint64_t bits, uint32_t base, uint16_t* out, uint32_t& count) {
    const __m512i positions = _mm512_maskz_compress_epi8(bits, loadAt(kPositions));
    const __m512i offset = _mm512_set1_epi16(static_cast<int16_t>(base));
    const auto total = static_cast<uint32_t>(_mm_popcnt_u64(bits));
    _mm512_storeu_si512(
        out + count,
        _mm512_add_epi16(_mm512_cvtepu8_epi16(_mm512_castsi512_si256(positions)), offset));
    if (total > 32) {
        _mm512_storeu_si512(
            out + count + 32,
            _mm512_add_epi16(_mm512_cvtepu8_epi16(_mm512_extracti64x4_epi64(positions, 1)),
                             offset));
    }
    count += total;
}

// Four tokens of eight, every other one from the first, one per lane: the
// 16 bytes from the byte before each one's digits, its sign or white space.
// `bounds` holds each token's start and end in turn.
inline __m512i everyOtherToken(const char* p, const uint16_t* bounds) {
    __m512i text = _mm512_castsi128_si512(load16(p + bounds[0] - 1));
    text = _mm512_inserti32x4(text, load16(p + bounds[4] - 1), 1);
    text = _mm512_inserti32x4(text, load16(p + bounds[8] - 1), 2);
    return _mm512_inserti32x4(text, load16(p + bounds[12] - 1), 3);
}

// The digits of the token in each lane of `text`, whose counts `spread`
// picks from `counts`, moved to the lane's end with zeros before them (byte
// j takes byte j + count - 15, and none where that is below 0; byte 0, the
// sign or white space, lies below '0' and saturates to zero) and combined
// in pairs, then fours: four 32-bit numbers a lane.
inline __m512i fourDigitGroups(__m512i text, __m512i spread, __m512i counts) {
    const __m512i from = _mm512_add_epi8(loadAt(kPick), _mm512_permutexvar_epi8(spread, counts));
    __m512i v = _mm512_subs_epu8(_mm512_shuffle_epi8(text, from), _mm512_set1_epi8('0'));
    v = _mm512_maddubs_epi16(v, _mm512_set1_epi16(1 << 8 | 10));
    return _mm512_madd_epi16(v, _mm512_set1_epi32(1 << 16 | 100));
}

// Converts the `count` tokens of the window at `p` whose bounds `ix` holds
// (where each one's digits start, and the white space after it) into `out`,
// eight at a time, and writes no further than out[count - 1]. The fourteen
// bounds after the count's must be offsets of 1 or more within the window's
// reach. Every token is digits after an optional minus, as checkBlock<false>
// found; returns false if one has more than ten digits (leading zeros
// included) or lies beyond the 32-bit range.
inline bool convertTokens(const char* p, const TokenIndex& ix, uint32_t count, int32_t* out) {
    const __m512i spreadEven = loadAt(kSpreadEven);
    const __m512i spreadOdd = _mm512_add_epi8(spreadEven, _mm512_set1_epi8(4));
    const __m512i zero = _mm512_setzero_si512();
    __mmask8 beyond = 0;
    for (uint32_t i = 0; i < count; i += 8) {
        const uint32_t here = count - i >= 8 ? 8 : count - i;
        const auto stored = static_cast<__mmask8>((1u << here) - 1);
        // Past the count, up to seven tokens' bounds are offsets the caller
        // set to readable bytes: the lanes they fill are neither judged nor
        // stored. Each digit count is the end less the start, by one
        // multiply-add of the pair.
        const __m256i counts = _mm256_madd_epi16(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ix.bounds + 2 * i)),
            _mm256_set1_epi32(1 << 16 | 0xffff));
        beyond |= _mm256_mask_cmpgt_epu32_mask(stored, counts, _mm256_set1_epi32(10));
        const __m512i even = everyOtherToken(p, ix.bounds + 2 * i);
        const __m512i odd = everyOtherToken(p, ix.bounds + 2 * i + 2);
        // Lane k's 64-bit halves are tokens 2k and 2k + 1, in the order of
        // the text, from here on.
        const __mmask8 negative = _mm512_cmpeq_epi64_mask(
            _mm512_and_si512(_mm512_unpacklo_epi64(even, odd), _mm512_set1_epi64(0xff)),
            _mm512_set1_epi64('-'));
        const __m512i wide = _mm512_castsi256_si512(counts);
        __m512i v = _mm512_packus_epi32(fourDigitGroups(even, spreadEven, wide),
                                        fourDigitGroups(odd, spreadOdd, wide));
        // Each half's two eights of digits: the first times 10^8 plus the second.
        v = _mm512_madd_epi16(v, _mm512_set1_epi32(1 << 16 | 10000));
        v = _mm512_add_epi64(_mm512_mul_epu32(v, _mm512_set1_epi64(100000000)),
                             _mm512_srli_epi64(v, 32));
        // 2147483647 at most, or 2147483648 after a minus.
        beyond |= _mm512_mask_cmpgt_epu64_mask(
            stored, v,
            _mm512_mask_add_epi64(_mm512_set1_epi64(2147483647), negative,
                                  _mm512_set1_epi64(2147483647), _mm512_set1_epi64(1)));
        const __m256i eight = _mm512_cvtepi64_epi32(_mm512_mask_sub_epi64(v, negative, zero, v));
        if (here == 8) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), eight);
        } else {
            _mm256_mask_storeu_epi32(out + i, stored, eight);
        }
    }
    return beyond == 0;
}

// Reads the window [p, p + size), which ends in white space, appending its
// numbers to `out` and counting its newlines into `newlines`, when it holds
// nothing but plain 32-bit numbers (as the count's window declines); otherwise
// returns false, having appended nothing. Reads up to 64 bytes past the
// window, and 16 before it.
__attribute__((noinline)) bool scanWindowAvx512(const char* p, size_t size, int32_t*& out,
                                                TokenIndex& ix, uint64_t& newlines) {
    Carry was;
    uint64_t unplain = 0;
    __m512i lines = _mm512_setzero_si512();
    // One compress a block: a token's digits start before it ends, and the
    // window starts between tokens, so the bounds alternate.
    uint32_t bounds = 0;
    eachBlock(
        p, size,
        [&](uint32_t base, __m512i bytes, uint64_t judged) {
            const BlockMasks masks =
                checkBlock<false>(p + base, bytes, judged, was, unplain, lines);
            appendBounds(masks.digitStarts | masks.ends, base, ix.bounds, bounds);
        },
        [&] { return unplain == 0; });
    if (unplain != 0) {
        return false;
    }
    // The last group of eight may reach seven tokens past the window's,
    // where the index holds whatever an earlier window left: there, a token
    // that reads the window's first bytes (those lanes are not stored).
    for (uint32_t k = bounds; k < bounds + 14; k++) {
        ix.bounds[k] = 1;
    }
    const uint32_t count = bounds / 2;
    if (!convertTokens(p, ix, count, out)) {
        return false;
    }
    out += count;
    newlines = sumLines(lines);
    return true;
}

}  // namespace
}  // namespace scan
