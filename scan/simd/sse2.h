// Vector primitives for SSE2, which every x86-64 processor has: 16 bytes at a time.
#pragma once

#include <emmintrin.h>
#include <stdint.h>

#include "scan/machine.h"
#include "scan/simd/scalar.h"
#include "scan/simd/sse2Helpers.h"

namespace scan {
namespace {

using Vec = __m128i;
constexpr unsigned kVecBytes = 16;
// A compare gives a vector, which a movemask reads.
constexpr bool kMaskedCompares = false;

inline Vec load(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const Vec*>(p));
}
inline Vec splat(char c) {
    return _mm_set1_epi8(c);
}
inline Vec equal(Vec a, Vec b) {
    return _mm_cmpeq_epi8(a, b);
}
inline Vec less(Vec a, Vec b) {
    return _mm_cmplt_epi8(a, b);
}
inline Vec plus(Vec a, Vec b) {
    return _mm_add_epi8(a, b);
}
inline Vec either(Vec a, Vec b) {
    return _mm_or_si128(a, b);
}
inline Vec both(Vec a, Vec b) {
    return _mm_and_si128(a, b);
}
inline uint64_t bitsOf(Vec v) {
    return static_cast<uint32_t>(_mm_movemask_epi8(v));
}

inline void appendBounds(uint64_t bits, uint32_t base, uint16_t* out, uint32_t& count) {
    appendBoundsByBytes(bits, base, out, count);
}

// The 16 bytes that end at a token's end as four numbers of four digits
// each: the bytes before its digits zeroed, then digits combined in pairs
// and fours by multiply-adds (SSE2 has no byte multiply-add: each byte is
// widened to 16 bits first).
inline __m128i fourDigitGroups(const char* p, const uint16_t* bound) {
    const unsigned end = bound[1];
    const unsigned digits = (end - bound[0]) & 15;
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + end - 16));
    v = _mm_and_si128(_mm_subs_epu8(v, _mm_set1_epi8('0')),
                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeepLast + digits)));
    const __m128i zero = _mm_setzero_si128();
    const __m128i tens = _mm_set1_epi32(1 << 16 | 10);
    const __m128i first = _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), tens);
    const __m128i last = _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), tens);
    return _mm_madd_epi16(_mm_packs_epi32(first, last), _mm_set1_epi32(1 << 16 | 100));
}

// A token's magnitude, signed by the byte before its digits, into `out`;
// `beyond` notes one past the 32-bit range or of more than ten digits.
inline void finishToken(const char* p, const uint16_t* bound, uint64_t magnitude, int32_t* out,
                        uint64_t& beyond) {
    const unsigned start = bound[0];
    const unsigned negative = (p + start)[-1] == '-';
    beyond |= static_cast<uint64_t>(bound[1] - start > 10u) |
              static_cast<uint64_t>(beyondRange(magnitude, negative));
    *out = signedValue(magnitude, negative);
}

// Converts the `count` tokens of the text at `p` whose digits start and end
// in turn in `bounds` (each a minus or white space before its digits) into
// `out`, two at a time, and writes no further than out[count - 1]. The two
// bounds after the count's must be 1. Returns false if a token has more than
// ten digits (leading zeros included) or lies beyond the 32-bit range.
inline bool convertTokens(const char* p, const uint16_t* bounds, uint32_t count, int32_t* out) {
    uint64_t beyond = 0;
    for (uint32_t i = 0; i < count; i += 2) {
        const uint16_t* two = bounds + 2 * i;
        // Each one's two eights of digits: the first times 10^8 plus the second.
        __m128i v = _mm_packs_epi32(fourDigitGroups(p, two), fourDigitGroups(p, two + 2));
        v = _mm_madd_epi16(v, _mm_set1_epi32(1 << 16 | 10000));
        v = _mm_add_epi64(_mm_mul_epu32(v, _mm_set1_epi64x(100000000)), _mm_srli_epi64(v, 32));
        finishToken(p, two, static_cast<uint64_t>(_mm_cvtsi128_si64(v)), out + i, beyond);
        if (i + 1 < count) {
            finishToken(p, two + 2,
                        static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v))),
                        out + i + 1, beyond);
        }
    }
    return beyond == 0;
}

}  // namespace
}  // namespace scan

#include "scan/simd/bitsByVector.h"
#include "scan/simd/rangeByCompares.h"
#include "scan/simd/spaceByCompares.h"
