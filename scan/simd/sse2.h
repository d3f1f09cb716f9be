// Vector primitives for SSE2, which every x86-64 processor has: 16 bytes at a time.
#pragma once

#include <emmintrin.h>
#include <stdint.h>

#include "scan/simd/scalar.h"

namespace scan {
namespace {

using Vec = __m128i;
constexpr unsigned kVecBytes = 16;

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
// a and not b.
inline Vec butNot(Vec a, Vec b) {
    return _mm_andnot_si128(b, a);
}
inline uint64_t bitsOf(Vec v) {
    return static_cast<uint32_t>(_mm_movemask_epi8(v));
}

}  // namespace
}  // namespace scan

#include "scan/simd/spaceByCompares.h"
