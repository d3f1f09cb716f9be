// Vector primitives for AVX-512 (F and BW): 64 bytes, a whole block, at a
// time, each compare giving its 64-bit mask directly.
#pragma once

#include <immintrin.h>
#include <stdint.h>

#include "scan/simd/x86.h"

namespace scan {
namespace {

using Vec = __m512i;
constexpr unsigned kVecBytes = 64;

// A compare's result: one bit a byte, already the mask the algorithm wants.
using Mask = __mmask64;

inline Vec load(const char* p) {
    return _mm512_loadu_si512(p);
}
inline Vec splat(char c) {
    return _mm512_set1_epi8(c);
}
inline Mask equal(Vec a, Vec b) {
    return _mm512_cmpeq_epi8_mask(a, b);
}
inline Mask less(Vec a, Vec b) {
    return _mm512_cmplt_epi8_mask(a, b);
}
inline Vec plus(Vec a, Vec b) {
    return _mm512_add_epi8(a, b);
}
inline Mask either(Mask a, Mask b) {
    return a | b;
}
inline uint64_t bitsOf(Mask m) {
    return m;
}

}  // namespace
}  // namespace scan
