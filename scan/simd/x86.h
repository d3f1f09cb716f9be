// Helpers for the x86-64 kernels whose processors have SSE4.1: digits
// converted by vector multiply-adds.
#pragma once

#include <immintrin.h>
#include <stdint.h>

#include "scan/simd/sse2Helpers.h"

namespace scan {
namespace {

// The value of the n (1 to 16) digits that end just before `end`, without a
// branch on n: the 16 bytes before `end` are loaded, those before the first
// digit are zeroed (they read as leading zeros), and digits are combined in
// pairs, fours and eights by vector multiply-adds. Reads 16 bytes before `end`.
inline uint64_t digitValue(const char* end, unsigned n) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16));
    v = _mm_subs_epu8(v, _mm_set1_epi8('0'));
    v = _mm_and_si128(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeepLast + n)));
    v = _mm_maddubs_epi16(v, _mm_setr_epi8(10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1));
    v = _mm_madd_epi16(v, _mm_setr_epi16(100, 1, 100, 1, 100, 1, 100, 1));
    v = _mm_packus_epi32(v, v);
    v = _mm_madd_epi16(v, _mm_setr_epi16(10000, 1, 10000, 1, 10000, 1, 10000, 1));
    const auto halves = static_cast<uint64_t>(_mm_cvtsi128_si64(v));
    return (halves & 0xFFFFFFFF) * 100000000 + (halves >> 32);
}

}  // namespace
}  // namespace scan
