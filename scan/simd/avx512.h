// Vector primitives for AVX-512 (F, BW and VBMI2): 64 bytes, a whole block,
// at a time, each compare giving its 64-bit mask directly, and bit positions
// compressed into offsets (vpcompressb).
#pragma once

#include <immintrin.h>
#include <stdint.h>

#include "scan/simd/surface.h"
#include "scan/simd/x86.h"

namespace scan {
namespace {

// Bytes 0 to 63.
alignas(64) constexpr char kPositions[64] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
    22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
    44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};

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

// The flags of a plain block's bytes (see PlainFlag), looked up by the low
// six bits of a byte: of the byte itself, of the byte before, and of the byte
// two before.
struct PlainFlagTables {
    alignas(64) char self[64];
    alignas(64) char before[64];
    alignas(64) char twoBefore[64];
};
constexpr PlainFlagTables makePlainFlagTables() {
    PlainFlagTables tables{};
    for (unsigned char byte = 0; byte < 64; ++byte) {
        // Byte 0x3F stands for every byte from 0x3F up (see plainMasks).
        tables.self[byte] = plainFlagsOf(byte, 0);
        tables.before[byte] = plainFlagsOf(byte, 1);
        tables.twoBefore[byte] = plainFlagsOf(byte, 2);
    }
    return tables;
}
constexpr PlainFlagTables kPlainFlagTables = makePlainFlagTables();

struct Avx512 : Surface<Avx512> {
    using Vec = __m512i;
    static constexpr unsigned kVecBytes = 64;
    // A compare gives a mask, which can also narrow a compare: a test of the
    // bytes a place back takes one instruction.
    static constexpr bool kMaskedCompares = true;

    static Vec load(const char* p) { return _mm512_loadu_si512(p); }
    static Vec splat(char c) { return _mm512_set1_epi8(c); }
    static __mmask64 equal(Vec a, Vec b) { return _mm512_cmpeq_epi8_mask(a, b); }
    static __mmask64 less(Vec a, Vec b) { return _mm512_cmplt_epi8_mask(a, b); }
    static Vec plus(Vec a, Vec b) { return _mm512_add_epi8(a, b); }
    static __mmask64 either(__mmask64 a, __mmask64 b) { return a | b; }
    static __mmask64 both(__mmask64 a, __mmask64 b) { return a & b; }
    static uint64_t bitsOf(__mmask64 m) { return m; }

    // White space by a lookup of each byte's low four bits: only a
    // white-space byte finds itself, and a byte of 0x80 or more finds a zero.
    static __mmask64 whiteSpace(Vec bytes) {
        return _mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(load(kSpaceLookup.lanes), bytes), bytes);
    }
    static constexpr bool kCostlyWhiteSpace = false;

    // A plain block's masks from its flags (see PlainFlag), with no mask
    // carried from the block before: each byte's flags are the lookups of the
    // block's bytes, of the bytes a place back and of those two back, each
    // loaded from where it lies, joined in one instruction. A lookup reads an
    // index's low six bits only, so a byte's own is by the byte or 0x3F,
    // whichever is less: "J" (0x4A) would pass for a newline. The bytes
    // before and two before need no such care: a byte other than a digit, a
    // newline or a minus is flagged at its own place.
    static PlainMasks plainMasks(const char* q) {
        const Vec self = load(q);
        const Vec flags = _mm512_ternarylogic_epi32(
            _mm512_permutexvar_epi8(_mm512_min_epu8(self, splat(0x3F)),
                                    load(kPlainFlagTables.self)),
            _mm512_permutexvar_epi8(load(q - 1), load(kPlainFlagTables.before)),
            _mm512_permutexvar_epi8(load(q - 2), load(kPlainFlagTables.twoBefore)),
            0x80);  // a & b & c
        PlainMasks m{};
        m.odd =
            _mm512_test_epi8_mask(flags, splat(kOther | kMinusInside | kAfterMinus | kLeadingZero));
        m.newline = _mm512_cmpeq_epi8_mask(self, opaque(splat('\n')));
        m.run3 = _mm512_test_epi8_mask(flags, splat(kRun3));
        m.longStarts = _mm512_test_epi8_mask(flags, splat(kRun3 | kHigh | kHigh2));
        m.high21 = _mm512_movepi8_mask(flags);
        return m;
    }
    static constexpr bool kPlainMasks = true;

    // The positions compressed into bytes, then widened, 32 at a time (a
    // block's tokens rarely start and end more often than that).
    static void appendBounds(uint64_t bits, uint32_t base, uint16_t* out, uint32_t& count) {
        const __m512i positions = _mm512_maskz_compress_epi8(bits, load(kPositions));
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

    // Converts eight tokens at a time, as the surface's convertTokens
    // promises: two in each 128-bit lane.
    static uint32_t convertTokens(const char* p, const uint16_t* bounds, uint32_t count,
                                  int32_t* out) {
        const __m512i spreadEven = load(kSpreadEven);
        const __m512i spreadOdd = _mm512_add_epi8(spreadEven, _mm512_set1_epi8(4));
        const __m512i limit = _mm512_set1_epi64(static_cast<int64_t>(kMinMagnitude) - 1);
        for (uint32_t i = 0; i < count; i += 8) {
            const uint32_t here = count - i >= 8 ? 8 : count - i;
            const auto stored = static_cast<__mmask8>((1u << here) - 1);
            // Past the count, up to seven tokens' bounds are offsets the caller
            // set to readable bytes: the lanes they fill are neither judged nor
            // stored. Each digit count is the end less the start, by one
            // multiply-add of the pair.
            const __m256i counts = _mm256_madd_epi16(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bounds + 2 * i)),
                _mm256_set1_epi32(1 << 16 | 0xffff));
            const __mmask8 tooLong =
                _mm256_mask_cmpgt_epu32_mask(stored, counts, _mm256_set1_epi32(10));
            const __m512i even = everyOtherToken(p, bounds + 2 * i);
            const __m512i odd = everyOtherToken(p, bounds + 2 * i + 2);
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
            // Beyond kMinMagnitude - 1, or kMinMagnitude after a minus.
            const __mmask8 beyond = _mm512_mask_cmpgt_epu64_mask(
                stored, v, _mm512_mask_add_epi64(limit, negative, limit, _mm512_set1_epi64(1)));
            const __m256i eight = _mm512_cvtepi64_epi32(
                _mm512_mask_sub_epi64(v, negative, _mm512_setzero_si512(), v));
            if (here == 8) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), eight);
            } else {
                _mm256_mask_storeu_epi32(out + i, stored, eight);
            }
            if ((tooLong | beyond) != 0) {
                return i + static_cast<uint32_t>(
                               __builtin_ctz(static_cast<unsigned>(tooLong | beyond)));
            }
        }
        return count;
    }

  private:
    static __m128i load16(const char* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    // Four tokens of eight, every other one from the first, one per lane: the
    // 16 bytes from the byte before each one's digits, its sign or white space.
    // `bounds` holds each token's start and end in turn.
    static __m512i everyOtherToken(const char* p, const uint16_t* bounds) {
        __m512i text = _mm512_castsi128_si512(load16(p + bounds[0] - 1));
        text = _mm512_inserti32x4(text, load16(p + bounds[4] - 1), 1);
        text = _mm512_inserti32x4(text, load16(p + bounds[8] - 1), 2);
        return _mm512_inserti32x4(text, load16(p + bounds[12] - 1), 3);
    }
    // The digits of the token in each lane of `text`, whose counts `spread`
    // picks from `counts`, moved to the lane's end with zeros before them
    // (byte j takes byte j + count - 15, and none where that is below 0; byte
    // 0, the sign or white space, lies below '0' and saturates to zero) and
    // combined in pairs, then fours: four 32-bit numbers a lane.
    static __m512i fourDigitGroups(__m512i text, __m512i spread, __m512i counts) {
        const __m512i from = _mm512_add_epi8(load(kPick), _mm512_permutexvar_epi8(spread, counts));
        __m512i v = _mm512_subs_epu8(_mm512_shuffle_epi8(text, from), _mm512_set1_epi8('0'));
        v = _mm512_maddubs_epi16(v, _mm512_set1_epi16(1 << 8 | 10));
        return _mm512_madd_epi16(v, _mm512_set1_epi32(1 << 16 | 100));
    }
};
SURFACE_HOLDS(Avx512);

}  // namespace
}  // namespace scan
