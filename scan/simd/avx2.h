// Vector primitives for AVX2: 32 bytes at a time.
#pragma once

#include <immintrin.h>
#include <stdint.h>

#include "scan/simd/x86.h"

namespace scan {
namespace {

using Vec = __m256i;
constexpr unsigned kVecBytes = 32;
// A compare gives a vector, which a movemask reads.
constexpr bool kMaskedCompares = false;

inline Vec load(const char* p) {
    return _mm256_loadu_si256(reinterpret_cast<const Vec*>(p));
}
inline Vec splat(char c) {
    return _mm256_set1_epi8(c);
}
inline Vec equal(Vec a, Vec b) {
    return _mm256_cmpeq_epi8(a, b);
}
inline Vec less(Vec a, Vec b) {
    return _mm256_cmpgt_epi8(b, a);
}
inline Vec plus(Vec a, Vec b) {
    return _mm256_add_epi8(a, b);
}
inline Vec either(Vec a, Vec b) {
    return _mm256_or_si256(a, b);
}
inline Vec both(Vec a, Vec b) {
    return _mm256_and_si256(a, b);
}
// White space, by a lookup of each byte's low four bits: only a white-space
// byte finds itself, and a byte of 0x80 or more finds a zero.
#define NEEDLE_SPACE_LANE ' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', '\v', '\f', '\r', 0, 0
alignas(32) constexpr char kSpaceLookup[32] = {NEEDLE_SPACE_LANE, NEEDLE_SPACE_LANE};
#undef NEEDLE_SPACE_LANE
inline Vec whiteSpace(Vec bytes) {
    return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(load(kSpaceLookup), bytes), bytes);
}
inline uint64_t bitsOf(Vec v) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(v));
}

// Appends the positions of the set bits of `bits`, plus `base`, to `out`.
// No loop whose length follows the data, which no branch predictor can follow
// on random files: eight positions are always written (tzcnt of 0 is 64,
// harmless past the count), more only for blocks of short numbers.
inline void appendOffsets(uint64_t bits, uint32_t base, uint32_t* out, uint32_t& count) {
    const auto total = static_cast<uint32_t>(_mm_popcnt_u64(bits));
    uint32_t* to = out + count;
    for (int i = 0; i < 8; ++i) {
        to[i] = base + static_cast<uint32_t>(_tzcnt_u64(bits));
        bits = _blsr_u64(bits);
    }
    for (uint32_t i = 8; i < total; ++i) {
        to[i] = base + static_cast<uint32_t>(_tzcnt_u64(bits));
        bits = _blsr_u64(bits);
    }
    count += total;
}

inline void appendBounds(uint64_t bits, uint32_t base, uint16_t* out, uint32_t& count) {
    appendBoundsByBytes(bits, base, out, count);
}

// For a token of n digits (1 to 15), the shuffle that takes the 16 bytes
// ending at its end to its value's places: the digits stay at the end, the
// byte before them (a minus, or white space) moves to byte 0, and the bytes
// between become zeros. For n = 0, past the tokens, all zeros.
struct DigitPlaces {
    alignas(16) char of[16][16];
};
constexpr DigitPlaces makeDigitPlaces() {
    DigitPlaces places{};
    for (unsigned n = 1; n < 16; ++n) {
        for (unsigned j = 0; j < 16; ++j) {
            const unsigned from = j >= 16 - n ? j : j == 0 ? 15 - n : 0x80;
            places.of[n][j] = static_cast<char>(from);
        }
    }
    for (unsigned j = 0; j < 16; ++j) {
        places.of[0][j] = static_cast<char>(0x80);
    }
    return places;
}
constexpr DigitPlaces kDigitPlaces = makeDigitPlaces();

// The token whose digits start and end at `bound[0]` and `bound[1]`, in its
// places (see DigitPlaces).
inline __m128i placedToken(const char* p, const uint16_t* bound) {
    const unsigned end = bound[1];
    const unsigned digits = (end - bound[0]) & 15;
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + end - 16));
    return _mm_shuffle_epi8(
        text, _mm_load_si128(reinterpret_cast<const __m128i*>(kDigitPlaces.of[digits])));
}

// Two tokens, one a lane, as four numbers of four digits each. A minus
// counts as a digit 1 in the first place: a lane's 16 places then read as
// its magnitude plus 10^15 for a minus.
inline __m256i twoTokens(const char* p, const uint16_t* bounds) {
    const __m256i text = _mm256_inserti128_si256(_mm256_castsi128_si256(placedToken(p, bounds)),
                                                 placedToken(p, bounds + 2), 1);
    const __m256i minus =
        _mm256_and_si256(_mm256_cmpeq_epi8(text, _mm256_set1_epi8('-')), _mm256_set1_epi8(1));
    const __m256i digits = _mm256_or_si256(_mm256_subs_epu8(text, _mm256_set1_epi8('0')), minus);
    const __m256i pairs = _mm256_maddubs_epi16(digits, _mm256_set1_epi16(1 << 8 | 10));
    return _mm256_madd_epi16(pairs, _mm256_set1_epi32(1 << 16 | 100));
}

// Converts the `count` tokens of the text at `p` whose digits start and end
// in turn in `bounds` (each a minus or white space before its digits) into
// `out`, four at a time, and writes no further than out[count - 1]. The six
// bounds after the count's must be 1. Returns false if a token has more than
// ten digits (leading zeros included) or lies beyond the 32-bit range.
inline bool convertTokens(const char* p, const uint16_t* bounds, uint32_t count, int32_t* out) {
    constexpr int64_t kMinusPlace = 1000000000000000;  // 10^15
    __m256i beyond = _mm256_setzero_si256();
    __m128i tooLong = _mm_setzero_si128();
    for (uint32_t i = 0; i < count; i += 4) {
        const uint16_t* four = bounds + 2 * i;
        // Each digit count is the end less the start: one multiply-add of the pair.
        const __m128i digits =
            _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(four)),
                           _mm_set1_epi32(1 << 16 | 0xffff));
        tooLong = _mm_or_si128(tooLong, _mm_cmpgt_epi32(digits, _mm_set1_epi32(10)));
        // Lane 0 holds tokens 0 and 2 from here on, lane 1 tokens 1 and 3:
        // eights of digits, then 64-bit values.
        __m256i v = _mm256_packus_epi32(twoTokens(p, four), twoTokens(p, four + 4));
        v = _mm256_madd_epi16(v, _mm256_set1_epi32(1 << 16 | 10000));
        v = _mm256_add_epi64(_mm256_mul_epu32(v, _mm256_set1_epi64x(100000000)),
                             _mm256_srli_epi64(v, 32));
        const __m256i negative = _mm256_cmpgt_epi64(v, _mm256_set1_epi64x(kMinusPlace - 1));
        const __m256i magnitude =
            _mm256_sub_epi64(v, _mm256_and_si256(negative, _mm256_set1_epi64x(kMinusPlace)));
        // 2147483647 at most, or 2147483648 after a minus.
        beyond = _mm256_or_si256(
            beyond, _mm256_cmpgt_epi64(magnitude,
                                       _mm256_sub_epi64(_mm256_set1_epi64x(2147483647), negative)));
        const __m256i value = _mm256_sub_epi64(_mm256_xor_si256(magnitude, negative), negative);
        const __m128i inOrder = _mm256_castsi256_si128(
            _mm256_permutevar8x32_epi32(value, _mm256_setr_epi32(0, 4, 2, 6, 0, 0, 0, 0)));
        if (count - i >= 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), inOrder);
        } else {
            const __m128i lanes = _mm_cmplt_epi32(_mm_setr_epi32(0, 1, 2, 3),
                                                  _mm_set1_epi32(static_cast<int>(count - i)));
            _mm_maskstore_epi32(out + i, lanes, inOrder);
        }
    }
    return _mm256_testz_si256(beyond, beyond) && _mm_testz_si128(tooLong, tooLong);
}

}  // namespace
}  // namespace scan

#include "scan/simd/bitsByVector.h"
#include "scan/simd/rangeByCompares.h"
