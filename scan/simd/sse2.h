// Vector primitives for SSE2, which every x86-64 processor has: 16 bytes at a time.
#pragma once

#include <emmintrin.h>
#include <stdint.h>

#include "scan/simd/surface.h"
#include "scan/simd/x86.h"

namespace scan {
namespace {

struct Sse2 : Surface<Sse2> {
    using Vec = __m128i;
    static constexpr unsigned kVecBytes = 16;

    static Vec load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const Vec*>(p)); }
    static Vec splat(char c) { return _mm_set1_epi8(c); }
    static Vec equal(Vec a, Vec b) { return _mm_cmpeq_epi8(a, b); }
    static Vec less(Vec a, Vec b) { return _mm_cmplt_epi8(a, b); }
    static Vec plus(Vec a, Vec b) { return _mm_add_epi8(a, b); }
    static Vec either(Vec a, Vec b) { return _mm_or_si128(a, b); }
    static Vec both(Vec a, Vec b) { return _mm_and_si128(a, b); }
    static uint64_t bitsOf(Vec v) { return static_cast<uint32_t>(_mm_movemask_epi8(v)); }

    static constexpr auto writeEight = writeEightBySse2;

    // Converts two tokens at a time, as the surface's convertTokens promises.
    static uint32_t convertTokens(const char* p, const uint16_t* bounds, uint32_t count,
                                  int32_t* out) {
        for (uint32_t i = 0; i < count; i += 2) {
            const uint16_t* two = bounds + 2 * i;
            // Each one's two eights of digits: the first times 10^8 plus the second.
            __m128i v = _mm_packs_epi32(fourDigitGroups(p, two), fourDigitGroups(p, two + 2));
            v = _mm_madd_epi16(v, _mm_set1_epi32(1 << 16 | 10000));
            v = _mm_add_epi64(_mm_mul_epu32(v, _mm_set1_epi64x(100000000)), _mm_srli_epi64(v, 32));
            unsigned bad = storeToken(p, two, static_cast<uint64_t>(_mm_cvtsi128_si64(v)), out + i);
            if (i + 1 < count) {
                const auto second =
                    static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)));
                bad |= storeToken(p, two + 2, second, out + i + 1) << 1;
            }
            if (bad != 0) {
                return i + (bad & 1 ? 0 : 1);
            }
        }
        return count;
    }

  private:
    // The 16 bytes that end at a token's end as four numbers of four digits
    // each: the bytes before its digits zeroed, then digits combined in pairs
    // and fours by multiply-adds (SSE2 has no byte multiply-add: each byte is
    // widened to 16 bits first).
    static __m128i fourDigitGroups(const char* p, const uint16_t* bound) {
        // 16 zero bytes, then 16 bytes of ones: 16 bytes loaded from offset n
        // keep the last n bytes of a vector.
        alignas(32) static constexpr unsigned char kKeepLast[32] = {
            0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
            0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
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
    // Stores a token's magnitude, signed by the byte before its digits;
    // returns 1 if it has more than ten digits or lies beyond the range.
    static unsigned storeToken(const char* p, const uint16_t* bound, uint64_t magnitude,
                               int32_t* out) {
        const unsigned start = bound[0];
        const unsigned negative = (p + start)[-1] == '-';
        *out = signedValue(magnitude, negative);
        return static_cast<unsigned>(bound[1] - start > 10u) |
               static_cast<unsigned>(beyondRange(magnitude, negative));
    }
};
SURFACE_HOLDS(Sse2);

}  // namespace
}  // namespace scan
